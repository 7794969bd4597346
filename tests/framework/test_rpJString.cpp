// The double-byte string: lead-byte conversions, editing, searching, comparing, case folding,
// and random edits checked against a plain vector of codes.
#include "rpJString.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {
using Codes = std::vector<unsigned short>;

Codes codesOf(const rpJString& s)
{
    return Codes(s.chars, s.chars + s.count);
}

std::string bytesOf(const rpJString& s)
{
    std::string out(s.byteLength() + 1, '\0');
    int n = s.toByte(reinterpret_cast<unsigned char*>(&out[0]));
    out.resize(n);
    return out;
}

const unsigned char* u(const char* s)
{
    return reinterpret_cast<const unsigned char*>(s);
}

// "表示" (0x95 0x5C, 0x8E 0xA6: a backslash trail byte), "ポ" (0x83 0x7C: a bar trail byte)
// and the half-width katakana "ｱｲ" (0xB1 0xB2).
const char* const MixedText = "A\x95\x5C\x8E\xA6|\x83\x7C\xB1\xB2z";
}  // namespace

TEST(JStringConversion, LeadByteRuleGivesOneCodePerCharacter)
{
    EXPECT_EQ(rpJString::length(u("A\x82\xA0" "B")), 3);
    unsigned short codes[8];
    ASSERT_EQ(rpJString::byte2jchar(u("A\x82\xA0" "B"), codes), 3);
    EXPECT_EQ(codes[0], 0x0041);
    EXPECT_EQ(codes[1], 0x82A0);
    EXPECT_EQ(codes[2], 0x0042);
    unsigned char out[8];
    EXPECT_EQ(rpJString::jchar2byte(codes, 3, out), 4);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "A\x82\xA0" "B");
    EXPECT_EQ(rpJString::byteLength(codes, 3), 4);
}

TEST(JStringConversion, TrailBytesAndKatakanaStayInsideTheirCharacter)
{
    rpJString s;
    s.storeString(MixedText);
    Codes expected = {0x41, 0x955C, 0x8EA6, 0x7C, 0x837C, 0xB1B2, 0x7A};
    EXPECT_EQ(codesOf(s), expected);
    EXPECT_EQ(bytesOf(s), MixedText);
    // The backslash and bar inside characters are not found as characters of their own.
    EXPECT_EQ(s.find(0x5C, 0, -1, false), -1);
    EXPECT_EQ(s.find(0x7C, 0, -1, false), 3);
}

TEST(JStringConversion, LoneHighByteAtTheEndStandsAlone)
{
    rpJString s;
    s.storeString("ab\x82");
    Codes expected = {0x61, 0x62, 0x82};
    EXPECT_EQ(codesOf(s), expected);
    EXPECT_EQ(s.byteLength(), 3);
    EXPECT_EQ(s.toByte(nullptr), 3);
    EXPECT_EQ(bytesOf(s), "ab\x82");
    EXPECT_EQ(rpJString::length(nullptr), 0);
}

TEST(JStringConversion, RandomBytesRoundTripExactly)
{
    std::mt19937 rng(4242);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        int len = static_cast<int>(rng() % 40);
        for (int i = 0; i < len; ++i) {
            // Favour high bytes and the troublesome trail bytes.
            static const unsigned char pool[] = {0x41, 0x5C, 0x7C, 0x81, 0x82, 0xA0,
                                                 0xB1, 0xDF, 0xE0, 0xFF, 0x0D, 0x40};
            unsigned char b = (rng() % 3) ? pool[rng() % sizeof pool]
                                           : static_cast<unsigned char>(1 + rng() % 255);
            bytes.push_back(static_cast<char>(b));
        }
        // Reference decoding.
        Codes model;
        for (size_t i = 0; i < bytes.size(); ++i) {
            unsigned char b = static_cast<unsigned char>(bytes[i]);
            if (b >= 0x80 && i + 1 < bytes.size()) {
                model.push_back(static_cast<unsigned short>(
                    b << 8 | static_cast<unsigned char>(bytes[i + 1])));
                ++i;
            } else {
                model.push_back(b);
            }
        }
        ASSERT_EQ(rpJString::length(u(bytes.c_str())), static_cast<int>(model.size()));
        Codes codes(model.size() + 1);
        ASSERT_EQ(rpJString::byte2jchar(u(bytes.c_str()), codes.data()),
                  static_cast<int>(model.size()));
        codes.pop_back();
        ASSERT_EQ(codes, model);
        std::vector<unsigned char> out(bytes.size() + 1, 0xEE);
        ASSERT_EQ(rpJString::jchar2byte(codes.data(), static_cast<int>(codes.size()), out.data()),
                  static_cast<int>(bytes.size()));
        ASSERT_EQ(std::string(reinterpret_cast<char*>(out.data())), bytes);
    }
}

TEST(JStringStorage, LocalBufferThenLinearGrowth)
{
    rpJString s;
    EXPECT_EQ(s.capacity, 64);
    s.append('x', 64);
    EXPECT_EQ(s.chars, s.localChars);
    EXPECT_EQ(s.heapChars, nullptr);
    s.append('y', 1);
    EXPECT_EQ(s.capacity, 128);
    EXPECT_EQ(s.chars, s.heapChars);
    EXPECT_EQ(s.count, 65);
    EXPECT_EQ(s.chars[63], 'x');
    EXPECT_EQ(s.chars[64], 'y');
    s.checkAlloc(300);
    EXPECT_EQ(s.capacity, 300);
    s.checkAlloc(301);
    EXPECT_EQ(s.capacity, 364);
    EXPECT_EQ(s.count, 65);
    EXPECT_EQ(s.chars[64], 'y');
    s.erase(0, 65);
    EXPECT_EQ(s.capacity, 364);  // shrinking keeps the heap buffer
    s.clearHeap();
    EXPECT_EQ(s.capacity, 64);
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(s.chars, s.localChars);
}

// A string built piece by piece: capacity keeps its linear steps, yet the codes are moved to a
// new buffer only a few times, and edits that take codes from the string itself stay correct.
TEST(JStringStorage, LongStringBuiltPieceByPiece)
{
    rpJString s;
    std::u16string model;
    int expectedCapacity = 64;
    int moves = 0;
    const unsigned short* buffer = s.chars;
    for (int i = 0; i < 20000; ++i) {
        unsigned short ch = static_cast<unsigned short>(i % 3 ? 'a' + i % 26 : 0x82A0 + i % 80);
        s.append(ch, 1);
        model.push_back(static_cast<char16_t>(ch));
        if (s.count > expectedCapacity)
            expectedCapacity = std::max(s.count, expectedCapacity + 64);
        ASSERT_EQ(s.capacity, expectedCapacity) << "at " << i;
        if (s.chars != buffer) {
            ++moves;
            buffer = s.chars;
        }
    }
    EXPECT_LE(moves, 12);
    ASSERT_EQ(s.count, static_cast<int>(model.size()));
    EXPECT_TRUE(std::equal(model.begin(), model.end(), s.chars));

    // The string's own codes inserted into itself, with and without a reallocation.
    s.insert(10, s.chars + 100, 50);
    model.insert(10, model.substr(100, 50));
    s.insert(0, s.chars, s.count);
    model.insert(0, model);
    ASSERT_EQ(s.count, static_cast<int>(model.size()));
    EXPECT_TRUE(std::equal(model.begin(), model.end(), s.chars));
    s.replace(5, s.chars + 1000, 3000);
    model.replace(5, 3000, model.substr(1000, 3000));
    EXPECT_TRUE(std::equal(model.begin(), model.end(), s.chars));

    s.clearHeap();
    s.append('z', 65);
    EXPECT_EQ(s.capacity, 128);  // a fresh heap buffer starts over
}

TEST(JStringEditing, InsertRespectsItsBounds)
{
    rpJString s;
    s.storeString("bd");
    s.insert(0, "a");
    s.insert(2, u("c"));
    s.insert(s.count, 'e', 2);
    EXPECT_EQ(bytesOf(s), "abcdee");
    s.insert(s.count + 1, "X");
    s.insert(-1, 'X', 1);
    s.insert(0, 'X', 0);
    EXPECT_EQ(bytesOf(s), "abcdee");

    rpJString other;
    other.storeString("\x82\xA0\x82\xA2\x82\xA4");
    s.insert(1, &other, 1, -1);
    EXPECT_EQ(bytesOf(s), "a\x82\xA2\x82\xA4" "bcdee");
    s.insert(0, &other, 2, 100);  // cut to what other holds
    EXPECT_EQ(bytesOf(s), "\x82\xA4" "a\x82\xA2\x82\xA4" "bcdee");
    std::string before = bytesOf(s);
    s.insert(0, &other, 4, 1);   // from beyond the end
    s.insert(0, &other, -1, 1);
    s.insert(0, &other, 0, 0);
    EXPECT_EQ(bytesOf(s), before);
}

TEST(JStringEditing, ReplaceOverwritesAndExtends)
{
    rpJString s;
    s.storeString("abcd");
    s.replace(1, "XY");
    EXPECT_EQ(bytesOf(s), "aXYd");
    s.replace(3, "\x82\xA0\x82\xA2");
    EXPECT_EQ(s.count, 5);
    EXPECT_EQ(bytesOf(s), "aXY\x82\xA0\x82\xA2");
    s.replace(5, 'z', 2);
    EXPECT_EQ(bytesOf(s), "aXY\x82\xA0\x82\xA2zz");
    s.replace(8, 'q', 1);   // beyond the end: nothing
    s.replace(0, 'q', 0);
    EXPECT_EQ(s.count, 7);

    rpJString other;
    other.storeString("123");
    s.replace(0, &other, 1, -1);
    EXPECT_EQ(bytesOf(s), "23Y\x82\xA0\x82\xA2zz");
}

TEST(JStringEditing, EditsWhoseLengthWouldOverflowAreRefused)
{
    rpJString s;
    s.storeString("abc");
    s.insert(1, 'x', INT_MAX);
    s.replace(2, 'y', INT_MAX - 1);
    EXPECT_EQ(bytesOf(s), "abc");
}

TEST(JStringEditing, EditsFromTheStringItselfSurviveGrowth)
{
    rpJString s;
    s.append('a', 40);
    s.append('b', 20);
    s.append(&s);  // needs the heap while copying from itself
    EXPECT_EQ(s.count, 120);
    EXPECT_EQ(s.chars[59], 'b');
    EXPECT_EQ(s.chars[60], 'a');
    EXPECT_EQ(s.chars[119], 'b');
    s.insert(1, &s, 100, -1);
    EXPECT_EQ(s.count, 140);
    EXPECT_EQ(s.chars[0], 'a');
    EXPECT_EQ(s.chars[1], 'b');
    EXPECT_EQ(s.chars[21], 'a');
}

TEST(JStringEditing, EraseAndSubString)
{
    rpJString s;
    s.storeString("abc");
    EXPECT_EQ(s.erase(-1, 1), -1);
    EXPECT_EQ(s.erase(1, -1), -1);
    EXPECT_EQ(s.erase(5, 1), 0);
    EXPECT_EQ(bytesOf(s), "abc");
    EXPECT_EQ(s.erase(1, 100), 0);
    EXPECT_EQ(bytesOf(s), "a");

    s.storeString("abc");
    std::unique_ptr<rpJString> sub(s.subString(1, -1));
    ASSERT_TRUE(sub);
    EXPECT_EQ(bytesOf(*sub), "bc");
    sub.reset(s.subString(5, 1));
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->count, 0);
    sub.reset(s.subString(0, 2));
    EXPECT_EQ(bytesOf(*sub), "ab");
    EXPECT_EQ(s.subString(-1, 1), nullptr);
}

TEST(JStringSearch, FindCharacterAndCaseFolding)
{
    rpJString s;
    s.storeString("abd");
    EXPECT_EQ(s.find('d', 0, -1, false), 2);
    EXPECT_EQ(s.find('d', 0, 2, false), -1);
    EXPECT_EQ(s.find('a', 3, -1, false), -1);
    EXPECT_EQ(s.find('a', -1, -1, false), -1);

    s.storeString("xA\x82\x60");  // ASCII A, then full-width Ａ (0x8260)
    EXPECT_EQ(s.find(0x61, 0, -1, true), 1);
    EXPECT_EQ(s.find(0x61, 0, -1, false), -1);
    EXPECT_EQ(s.find(0x8281, 0, -1, true), -1);  // full-width ａ never folds
    EXPECT_EQ(jupper(0x8281), 0x8281);
    EXPECT_EQ(jupper('a'), 'A');
    EXPECT_EQ(jlower('Z'), 'z');
    EXPECT_EQ(jlower('['), '[');
}

TEST(JStringSearch, FindPattern)
{
    rpJString s, pat;
    s.storeString("abcabc");
    pat.storeString("abcabc");
    EXPECT_EQ(s.find(0, -1, &pat, 0, -1, false), 0);
    pat.storeString("BC");
    EXPECT_EQ(s.find(0, -1, &pat, 0, -1, false), -1);
    EXPECT_EQ(s.find(0, -1, &pat, 0, -1, true), 1);
    EXPECT_EQ(s.find(2, -1, &pat, 0, -1, true), 4);
    EXPECT_EQ(s.find(2, 2, &pat, 0, -1, true), -1);  // range shorter than the pattern would need
    EXPECT_EQ(s.find(0, -1, &pat, 1, -1, true), 2);  // pattern "C"
    EXPECT_EQ(s.find(0, -1, &pat, 2, -1, true), -1); // empty pattern
    EXPECT_EQ(s.find(-1, -1, &pat, 0, -1, true), -1);
    EXPECT_EQ(s.find(7, -1, &pat, 0, -1, true), -1);

    s.storeString(MixedText);
    pat.storeString("\x83\x7C\xB1\xB2");
    EXPECT_EQ(s.find(0, -1, &pat, 0, -1, false), 4);
}

TEST(JStringCompare, ThreeWayResults)
{
    rpJString abc, abd, ab;
    abc.storeString("abc");
    abd.storeString("abd");
    ab.storeString("ab");
    EXPECT_LT(abc.comp(0, -1, &abd, 0, -1, false), 0);
    EXPECT_EQ(abc.comp(0, -1, &ab, 0, -1, false), 1);
    EXPECT_EQ(abc.comp(0, -1, &abc, 0, -1, false), 0);
    EXPECT_EQ(abc.comp(0, 2, &abd, 0, 2, false), 0);
    EXPECT_EQ(abc.comp(0, 2, &abd, 0, 3, false), -1);  // requested lengths decide
    EXPECT_EQ(abc.comp(-2, 1, &abd, 1, 1, false), -3);
    EXPECT_EQ(abc.comp(0, -1, "ABC", 0, -1, true), 0);
    EXPECT_GT(abc.comp(0, -1, "ABC", 0, -1, false), 0);
    // Codes compare as unsigned 16-bit values: a double-byte character sorts after ASCII.
    EXPECT_LT(abc.comp(0, 1, "\x82\xA0", 0, 1, false), 0);
    rpJString kana;
    kana.storeString("\x82\xA0");
    EXPECT_EQ(kana.comp(0, 1, "a", 0, 1, false), 0x82A0 - 0x61);
}

TEST(JStringCompare, FoldingInPlace)
{
    rpJString s;
    s.storeString("aZ\x82\x81q");
    s.toUpper();
    EXPECT_EQ(bytesOf(s), "AZ\x82\x81Q");
    s.toLower();
    EXPECT_EQ(bytesOf(s), "az\x82\x81q");
}

TEST(JStringModel, RandomEditsMatchAVectorOfCodes)
{
    std::mt19937 rng(20261207);
    rpJString s, other;
    Codes model;
    auto randomCode = [&]() -> unsigned short {
        switch (rng() % 4) {
        case 0: return static_cast<unsigned short>('a' + rng() % 4);
        case 1: return static_cast<unsigned short>('A' + rng() % 4);
        case 2: return 0x955C;
        default: return static_cast<unsigned short>(0x8200 | (0x9F + rng() % 3));
        }
    };
    for (int step = 0; step < 6000; ++step) {
        int size = static_cast<int>(model.size());
        int pos = static_cast<int>(rng() % (size + 3)) - 1;
        int n = static_cast<int>(rng() % 8) - 1;
        unsigned short ch = randomCode();
        bool valid = pos >= 0 && pos <= size;
        switch (rng() % 7) {
        case 0:
            s.insert(pos, ch, n);
            if (valid && n >= 1)
                model.insert(model.begin() + pos, n, ch);
            break;
        case 1: {
            s.replace(pos, ch, n);
            if (valid && n > 0) {
                if (pos + n > size)
                    model.resize(pos + n);
                std::fill(model.begin() + pos, model.begin() + pos + n, ch);
            }
            break;
        }
        case 2: {
            int r = s.erase(pos, n);
            ASSERT_EQ(r, (pos < 0 || n < 0) ? -1 : 0);
            if (r == 0 && pos < size)
                model.erase(model.begin() + pos, model.begin() + std::min(size, pos + n));
            break;
        }
        case 3: {
            other.clearHeap();
            other.append(ch, static_cast<int>(rng() % 3) + 1);
            s.insert(pos, &other, 0, n);
            if (valid && n != 0) {
                int k = (n < 0 || n > other.count) ? other.count : n;
                model.insert(model.begin() + pos, k, ch);
            }
            break;
        }
        case 4: {
            unsigned short wanted = randomCode();
            int expected = -1;
            for (int i = std::max(pos, 0); pos >= 0 && i < size && (n < 0 || i < pos + n); ++i)
                if (jupper(model[i]) == jupper(wanted)) {
                    expected = i;
                    break;
                }
            ASSERT_EQ(s.find(wanted, pos, n, true), expected);
            break;
        }
        case 5: {
            std::unique_ptr<rpJString> sub(s.subString(pos, n));
            if (pos < 0) {
                ASSERT_EQ(sub, nullptr);
            } else {
                Codes part;
                if (pos < size)
                    part.assign(model.begin() + pos,
                                (n < 0 || pos + n > size) ? model.end() : model.begin() + pos + n);
                ASSERT_EQ(codesOf(*sub), part);
                // The substring is found where it was taken from, or earlier.
                if (!part.empty()) {
                    ASSERT_LE(s.find(0, -1, sub.get(), 0, -1, false), pos);
                }
                ASSERT_EQ(s.comp(pos, static_cast<int>(part.size()), sub.get(), 0, -1, false), 0);
            }
            break;
        }
        default:
            if (size > 200) {
                s.erase(0, size / 2);
                model.erase(model.begin(), model.begin() + size / 2);
            }
            break;
        }
        ASSERT_EQ(codesOf(s), model) << "step " << step;
        ASSERT_GE(s.capacity, s.count);
    }
}
