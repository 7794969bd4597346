// The memory stream: head block and pages, modes, seeking, whole-content views, and random
// operation sequences checked against a plain std::string.
#include "rpJString.h"
#include "rpMemoryStream.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {
std::string pattern(int n, int seed = 0)
{
    std::string s(n, '\0');
    for (int i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + seed) % 251 + 1);
    return s;
}

std::string content(rpMemoryStream& ms)
{
    std::unique_ptr<std::string> s(ms.getString());
    return *s;
}

int pageCount(const rpMemoryStream& ms)
{
    int n = 0;
    for (rpMemoryStream::Page* p = ms.firstPage; p; p = p->next)
        ++n;
    return n;
}
}  // namespace

TEST(MemoryStream, WritesGrowByPagesAndReadBackInOrder)
{
    rpMemoryStream ms;
    EXPECT_EQ(ms.streamKind, 3u);
    EXPECT_STREQ(ms.objectName, "rpStream");
    const std::string src = pattern(2500);
    ASSERT_EQ(ms.wopen(), 0);
    int got = 0;
    ASSERT_EQ(ms.write(src.data(), 2500, &got), 0);
    EXPECT_EQ(got, 2500);
    EXPECT_EQ(ms.dataSize, 2500);
    EXPECT_EQ(pageCount(ms), 3);
    EXPECT_EQ(ms.allocated, 3 * 1024);
    EXPECT_EQ(ms.dataAddress(), nullptr);

    ASSERT_EQ(ms.close(), 0);
    ASSERT_EQ(ms.ropen(), 0);
    std::string back(2500, '\0');
    ASSERT_EQ(ms.read(&back[0], 2500, &got), 0);
    EXPECT_EQ(got, 2500);
    EXPECT_EQ(back, src);
    EXPECT_EQ(ms.lastRead, 2500);
}

TEST(MemoryStream, HeadBlockComesBeforeThePages)
{
    rpMemoryStream ms;
    ASSERT_TRUE(ms.reserve(1000));
    ms.wopen();
    const std::string src = pattern(1500);
    ASSERT_EQ(ms.write(src.data(), 1500, nullptr), 0);
    EXPECT_EQ(std::memcmp(ms.dataAddress(), src.data(), 1000), 0);
    ASSERT_EQ(pageCount(ms), 1);
    EXPECT_EQ(std::memcmp(ms.firstPage->bytes(), src.data() + 1000, 500), 0);
    EXPECT_EQ(ms.allocated, 1000 + 1024);
    EXPECT_EQ(content(ms), src);
}

// The page lookup resumes at the page it found last; moving backwards, replacing the storage or
// reopening must never leave it pointing at the wrong page.
TEST(MemoryStream, PageLookupFollowsEveryMoveAndReset)
{
    rpMemoryStream ms;
    ASSERT_TRUE(ms.reserve(100));
    ms.wopen();
    const std::string src = pattern(6000, 3);
    for (char c : src)
        ASSERT_EQ(ms.write(&c, 1, nullptr), 0);
    EXPECT_EQ(pageCount(ms), 6);  // 100 head bytes, then 5900 bytes in 1024-byte pages

    ms.close();
    ms.ropen();
    for (int at : {5999, 100, 99, 4196, 1123, 1124, 5000, 0, 3000}) {
        ASSERT_EQ(ms.seek(at, 0), at);
        unsigned char b = 0;
        ASSERT_EQ(ms.getb(b), 0);
        EXPECT_EQ(b, static_cast<unsigned char>(src[at])) << "at " << at;
        int offset = -1;
        ms.seek(at, 0);
        if (at >= 100) {
            ASSERT_TRUE(ms.checkPage(offset, false));
            EXPECT_EQ(offset, (at - 100) % 1024) << "at " << at;
        }
    }

    // Rewriting from the start in 'w' mode reuses the pages in order.
    ms.wopen();
    const std::string again = pattern(3000, 9);
    ASSERT_EQ(ms.write(again.data(), 3000, nullptr), 0);
    EXPECT_EQ(content(ms), again);
    EXPECT_EQ(pageCount(ms), 6);

    // New storage: the lookup starts over with the new chain.
    ms.releaseHeap();
    ms.wopen();
    const std::string fresh = pattern(2100, 5);
    for (char c : fresh)
        ASSERT_EQ(ms.write(&c, 1, nullptr), 0);
    EXPECT_EQ(pageCount(ms), 3);
    EXPECT_EQ(content(ms), fresh);
    ASSERT_TRUE(ms.reserve(500));  // a growing head block discards the pages too
    ms.wopen();
    ASSERT_EQ(ms.write(fresh.data(), 2100, nullptr), 0);
    EXPECT_EQ(pageCount(ms), 2);
    EXPECT_EQ(content(ms), fresh);
}

TEST(MemoryStream, ReservedBlockHoldsTextContiguously)
{
    rpMemoryStream ms;
    ASSERT_TRUE(ms.reserve(20000));
    ms.wopen();
    for (int i = 0; i < 20; ++i)
        ms.puts("\x95\x5C" "abc");
    EXPECT_EQ(ms.dataSize, 100);
    EXPECT_EQ(pageCount(ms), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ms.dataAddress()), 5), "\x95\x5C" "abc");

    EXPECT_TRUE(ms.reserve(500));  // already large enough: content stays
    EXPECT_EQ(ms.dataSize, 100);
    EXPECT_TRUE(ms.reserve(30000));  // growing discards everything
    EXPECT_EQ(ms.dataSize, 0);
    EXPECT_EQ(ms.pos, 0);
    EXPECT_EQ(ms.headSize, 30000);
    EXPECT_TRUE(ms.reserve(0));
    EXPECT_EQ(ms.headSize, 0);
    EXPECT_EQ(ms.dataAddress(), nullptr);
    EXPECT_EQ(ms.openMode, 'w');  // releasing keeps the mode
}

// Text is copied in place while it fits the current block: filling a block to its last byte
// must not spill, one byte more must start the next page.
TEST(MemoryStream, TextFillsEachBlockToItsLastByte)
{
    for (int extra : {0, 1}) {
        rpMemoryStream ms;
        ASSERT_TRUE(ms.reserve(10));
        ms.wopen();
        ASSERT_EQ(ms.puts("0123456789"), 0);
        EXPECT_EQ(pageCount(ms), 0);
        ASSERT_EQ(ms.puts("abc"), 0);  // starts the first page
        const std::string rest = pattern(1021 + extra, 1);
        ASSERT_EQ(ms.puts(&rest), 0);
        EXPECT_EQ(pageCount(ms), 1 + extra) << extra;
        ASSERT_EQ(ms.putsln("x"), 0);
        EXPECT_EQ(pageCount(ms), 2);
        EXPECT_EQ(ms.dataSize, 10 + 3 + 1021 + extra + 3);
        EXPECT_EQ(content(ms), "0123456789abc" + rest + "x\r\n");
    }

    // Over the middle of the data in 'u' mode: replaced in place, the size stays.
    rpMemoryStream ms;
    ASSERT_TRUE(ms.reserve(10));
    ms.wopen();
    const std::string text = pattern(2000, 2);
    ASSERT_EQ(ms.puts(&text), 0);
    ms.uopen();
    ms.seek(8, 0);
    ASSERT_EQ(ms.puts("AB"), 0);
    ASSERT_EQ(ms.puts("CD"), 0);
    EXPECT_EQ(ms.pos, 12);
    EXPECT_EQ(ms.dataSize, 2000);
    EXPECT_EQ(content(ms), text.substr(0, 8) + "ABCD" + text.substr(12));
}

TEST(MemoryStream, ShortReadThenReadFailure)
{
    rpMemoryStream ms;
    ms.setData(pattern(50).data(), 50, true);
    ms.ropen();
    ms.seek(40, 0);
    char buf[100];
    int got = 0;
    EXPECT_EQ(ms.read(buf, 100, &got), 0);
    EXPECT_EQ(got, 10);
    EXPECT_EQ(ms.pos, ms.dataSize);
    EXPECT_EQ(ms.read(buf, 100, &got), 30);
    EXPECT_EQ(ms.lastError, 30);
}

TEST(MemoryStream, ModesDecideWhatIsAllowed)
{
    rpMemoryStream ms;
    char c = 'x';
    EXPECT_EQ(ms.write(&c, 1, nullptr), 6);  // closed
    ms.wopen();
    EXPECT_EQ(ms.write("abcdef", 6, nullptr), 0);
    ms.seek(0, 0);
    EXPECT_EQ(ms.read(&c, 1, nullptr), 30);  // no reading in 'w'
    EXPECT_EQ(ms.openStream('x'), -1);
    EXPECT_EQ(ms.openMode, 'w');

    ms.ropen();
    EXPECT_EQ(ms.write(&c, 1, nullptr), 29);
    ms.uopen();
    EXPECT_EQ(ms.write("XY", 2, nullptr), 0);
    unsigned char b = 0;
    EXPECT_EQ(ms.getb(b), 0);
    EXPECT_EQ(b, 'c');
    EXPECT_EQ(content(ms), "XYcdef");

    ms.aopen();
    EXPECT_EQ(ms.pos, 6);
    ms.puts("gh");
    EXPECT_EQ(content(ms), "XYcdefgh");

    // 'w' empties the data but keeps the storage for reuse.
    const std::string big = pattern(3000);
    ms.write(big.data(), 3000, nullptr);
    int pages = pageCount(ms);
    ms.wopen();
    EXPECT_EQ(ms.dataSize, 0);
    EXPECT_EQ(pageCount(ms), pages);
    EXPECT_EQ(content(ms), "");
}

TEST(MemoryStream, SeekErrorsAndPositions)
{
    rpMemoryStream ms;
    EXPECT_EQ(ms.seek(0, 0), -1);
    EXPECT_EQ(ms.lastError, 6);
    ms.wopen();
    ms.puts("0123456789");
    EXPECT_EQ(ms.seek(-1, 0), -1);
    EXPECT_EQ(ms.lastError, 131);
    char text[32];
    EXPECT_STREQ(ms.errorString(ms.lastError, text), "負のファイル位置です");
    EXPECT_EQ(ms.seek(0, 3), -1);
    EXPECT_EQ(ms.lastError, 87);
    EXPECT_EQ(ms.seek(-3, 2), 7);
    EXPECT_EQ(ms.seek(2, 1), 9);
    EXPECT_EQ(ms.seek(5, 2), 15);
    EXPECT_EQ(ms.lastError, 0);
    EXPECT_EQ(ms.dataSize, 10);
    EXPECT_EQ(ms.seek(2147483647, 1), -1);
    EXPECT_EQ(ms.lastError, 87);
}

TEST(MemoryStream, GapsLeftBySeekingPastTheEndReadAsZero)
{
    rpMemoryStream ms;
    ms.wopen();
    const std::string old(3000, 'o');
    ms.write(old.data(), 3000, nullptr);
    ms.wopen();  // the old bytes stay in the storage
    ms.puts("ab");
    ASSERT_EQ(ms.seek(2000, 0), 2000);
    ms.puts("c");
    std::string expected = "ab" + std::string(1998, '\0') + "c";
    EXPECT_EQ(content(ms), expected);
    EXPECT_EQ(ms.getByte(1500), 0);
    EXPECT_EQ(ms.getByte(2000), 'c');
    EXPECT_EQ(ms.getByte(2001), 0);   // storage beyond the data
    EXPECT_EQ(ms.getByte(99999), 0);  // beyond all storage
}

TEST(MemoryStream, SeekAndWriteDropPushedBackBytes)
{
    rpMemoryStream ms;
    ms.setData("abc", 3, true);
    ms.ropen();
    unsigned char b;
    ms.getb(b);
    ms.unreadb('Z');
    ms.seek(2, 0);
    EXPECT_EQ(ms.getb(b), 0);
    EXPECT_EQ(b, 'c');

    // In update mode a write replaces what a pushed-back byte stood for.
    ms.uopen();
    ms.getb(b);
    ms.unreadb('Z');
    ASSERT_EQ(ms.write("X", 1, nullptr), 0);
    EXPECT_EQ(ms.getb(b), 0);
    EXPECT_EQ(b, 'b');
    EXPECT_EQ(content(ms), "Xbc");
}

TEST(MemoryStream, SetDataCopiesOrBorrows)
{
    rpMemoryStream ms;
    EXPECT_EQ(ms.setData("x", -1, true), 87);
    EXPECT_EQ(ms.setData(nullptr, 0, true), 0);
    EXPECT_EQ(ms.headSize, 0);

    char source[] = "hello";
    EXPECT_EQ(ms.setData(source, 5, true), 0);
    EXPECT_NE(ms.dataAddress(), reinterpret_cast<unsigned char*>(source));
    EXPECT_TRUE(ms.ownsData);
    EXPECT_EQ(content(ms), "hello");
    unsigned char* block = ms.dataAddress();
    EXPECT_EQ(ms.setData("hi", 2, true), 0);  // fits: the block is reused
    EXPECT_EQ(ms.dataAddress(), block);
    EXPECT_EQ(content(ms), "hi");

    // A borrowed block: reads and writes use the caller's memory, which the stream never frees.
    char* borrowed = static_cast<char*>(std::malloc(64));
    std::memcpy(borrowed, "borrowed block, kept by its owner", 34);
    {
        rpMemoryStream other;
        EXPECT_EQ(other.setData(borrowed, 34, false), 0);
        EXPECT_FALSE(other.ownsData);
        EXPECT_EQ(other.dataAddress(), reinterpret_cast<unsigned char*>(borrowed));
        other.uopen();
        other.puts("B");
        other.releaseHeap();
        EXPECT_EQ(other.dataAddress(), nullptr);
        other.setData(borrowed, 34, false);
    }
    EXPECT_STREQ(borrowed, "Borrowed block, kept by its owner");
    std::free(borrowed);
}

TEST(MemoryStream, WholeContentViews)
{
    rpMemoryStream ms;
    ms.setData("A\x82\xA0", 3, true);
    std::unique_ptr<rpJString> js(ms.getJString());
    ASSERT_EQ(js->count, 2);
    EXPECT_EQ(js->chars[0], 0x0041);
    EXPECT_EQ(js->chars[1], 0x82A0);

    ms.setData("a\x82", 2, true);  // a lead byte that ends the data stands alone
    js.reset(ms.getJString());
    ASSERT_EQ(js->count, 2);
    EXPECT_EQ(js->chars[1], 0x0082);

    // Across the head block and pages, with a character split between them.
    rpMemoryStream paged;
    paged.reserve(3);
    paged.wopen();
    paged.puts("ab\x95\x5C\x83\x7C\xB1\xB2");
    js.reset(paged.getJString());
    ASSERT_EQ(js->count, 5);
    EXPECT_EQ(js->chars[2], 0x955C);
    EXPECT_EQ(js->chars[3], 0x837C);
    EXPECT_EQ(js->chars[4], 0xB1B2);
    EXPECT_EQ(content(paged), "ab\x95\x5C\x83\x7C\xB1\xB2");
}

TEST(MemoryStream, ListLinesRoundTripAsClipboardText)
{
    // Lines written with putsln and read back whole, as the report copy does.
    const char* lines[] = {"プラグイン  表示", "", "ｱｲｳ half-width", "ソ|ポ\\"};
    rpMemoryStream ms;
    ms.wopen();
    std::string expected;
    for (int round = 0; round < 100; ++round) {
        for (const char* line : lines) {
            ASSERT_EQ(ms.putsln(line), 0);
            expected += std::string(line) + "\r\n";
        }
    }
    ms.close();
    int n = ms.dataSize;
    ASSERT_EQ(n, static_cast<int>(expected.size()));
    ms.ropen();
    std::vector<char> text(n + 1);
    int got = 0;
    ASSERT_EQ(ms.read(text.data(), n, &got), 0);
    ASSERT_EQ(got, n);
    EXPECT_EQ(std::string(text.data(), n), expected);
    ms.releaseHeap();
    EXPECT_EQ(ms.allocated, 0);
    EXPECT_EQ(ms.firstPage, nullptr);

    // And line by line.
    ms.setData(expected.data(), static_cast<int>(expected.size()), true);
    ms.ropen();
    std::string line;
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(ms.gets(line), 0);
        EXPECT_EQ(line, lines[i % 4]);
    }
}

TEST(MemoryStreamModel, RandomOperationsMatchAString)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 rng(seed);
        rpMemoryStream ms;
        int head = static_cast<int>(seed % 4 == 1 ? 0 : rng() % 2000);
        ASSERT_TRUE(ms.reserve(head));
        std::string model;
        int pos = 0;
        char mode = 0;
        std::vector<unsigned char> stack;
        for (int step = 0; step < 2500; ++step) {
            int op = static_cast<int>(rng() % 10);
            if (op == 0) {
                const char modes[] = {'r', 'w', 'a', 'u', 0};
                char m = modes[rng() % 5];
                if (m) {
                    ASSERT_EQ(ms.openStream(m), 0);
                    pos = (m == 'a') ? static_cast<int>(model.size()) : 0;
                    if (m == 'w')
                        model.clear();
                    stack.clear();
                } else {
                    ms.close();
                }
                mode = m;
            } else if (op <= 3) {
                int n = static_cast<int>(rng() % 2200);
                if (model.size() > 20000)
                    n %= 10;
                std::string bytes = pattern(n, step);
                int expected = mode == 0 ? 6 : mode == 'r' ? 29 : 0;
                // Half of them as text, which the stream takes in one piece: it must leave what
                // a write of the same bytes leaves.
                int result = rng() % 2 ? ms.puts(&bytes) : ms.write(bytes.data(), n, nullptr);
                ASSERT_EQ(result, n > 0 ? expected : 0);
                if (expected == 0 && n > 0) {
                    if (pos > static_cast<int>(model.size()))
                        model.resize(pos, '\0');
                    model.replace(pos, std::min<size_t>(n, model.size() - pos), bytes);
                    pos += n;
                    stack.clear();
                }
            } else if (op <= 6) {
                int n = static_cast<int>(rng() % 1500) + 1;
                std::vector<char> buf(n);
                int got = -1;
                int result = ms.read(buf.data(), n, &got);
                std::string want;
                while (!stack.empty() && static_cast<int>(want.size()) < n) {
                    want.push_back(static_cast<char>(stack.back()));
                    stack.pop_back();
                    ++pos;
                }
                int size = static_cast<int>(model.size());
                bool readable = (mode == 'r' || mode == 'u') && pos < size;
                if (static_cast<int>(want.size()) < n && readable) {
                    int k = std::min(n - static_cast<int>(want.size()), size - pos);
                    want += model.substr(pos, k);
                    pos += k;
                }
                if (want.empty()) {
                    ASSERT_EQ(result, 30) << "seed " << seed << " step " << step;
                } else {
                    ASSERT_EQ(result, 0);
                    ASSERT_EQ(std::string(buf.data(), got), want);
                }
            } else if (op == 7) {
                int origin = static_cast<int>(rng() % 3);
                int offset = static_cast<int>(rng() % 4000) - 2000;
                long long base = origin == 0 ? 0 : origin == 1 ? pos : model.size();
                long long target = base + offset;
                int result = ms.seek(offset, origin);
                if (mode == 0) {
                    ASSERT_EQ(result, -1);
                    ASSERT_EQ(ms.lastError, 6);
                } else if (target < 0) {
                    ASSERT_EQ(result, -1);
                    ASSERT_EQ(ms.lastError, 131);
                } else {
                    ASSERT_EQ(result, target);
                    pos = static_cast<int>(target);
                    stack.clear();
                }
            } else if (op == 8) {
                unsigned char b = static_cast<unsigned char>(rng());
                int result = ms.unreadb(b);
                if (pos > 0 && stack.size() < 9) {
                    ASSERT_EQ(result, 0);
                    stack.push_back(b);
                    --pos;
                } else {
                    ASSERT_EQ(result, 30);
                }
            } else {
                for (int i = 0; i < 5; ++i) {
                    int p = static_cast<int>(rng() % (model.size() + 10));
                    int want = p < static_cast<int>(model.size())
                                   ? static_cast<unsigned char>(model[p]) : 0;
                    ASSERT_EQ(ms.getByte(p), want);
                }
            }
            ASSERT_EQ(ms.pos, pos) << "seed " << seed << " step " << step;
            ASSERT_EQ(ms.dataSize, static_cast<int>(model.size())) << "step " << step;
            ASSERT_EQ(ms.eof(), pos >= static_cast<int>(model.size()));
            if (step % 10 == 0) {
                ASSERT_EQ(content(ms), model) << "seed " << seed << " step " << step;
            }
            int storage = ms.headSize;
            for (rpMemoryStream::Page* p = ms.firstPage; p; p = p->next)
                storage += p->size;
            ASSERT_EQ(ms.allocated, storage);
            ASSERT_LE(ms.dataSize, storage);
        }
    }
}
