// The stream base, over a small vector-backed stream that counts calls of its primitives and
// can be told to fail writes.
#include "rpJString.h"
#include "rpStream.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
class VectorStream : public rpStream {
public:
    explicit VectorStream(const std::string& content = std::string()) : bytes(content)
    {
        dataSize = static_cast<int>(bytes.size());
        openMode = 'u';
    }
    int readStream(void* dst, int n, int* got) override
    {
        ++readCalls;
        int k = 0;
        while (k < n && pos < dataSize)
            static_cast<char*>(dst)[k++] = bytes[pos++];
        lastRead = k;
        if (got)
            *got = k;
        return lastError = (k == 0 ? 30 : 0);
    }
    int writeStream(const void* src, int n, int* got) override
    {
        if (writesLeft == 0)
            return lastError = 29;
        --writesLeft;
        ++writeCalls;
        lastWrite = n;
        for (int i = 0; i < n; ++i) {
            char c = static_cast<const char*>(src)[i];
            if (pos < static_cast<int>(bytes.size()))
                bytes[pos] = c;
            else
                bytes.push_back(c);
            ++pos;
        }
        if (pos > dataSize)
            dataSize = pos;
        if (got)
            *got = n;
        return lastError = 0;
    }
    std::string bytes;
    int readCalls = 0;
    int writeCalls = 0;
    int writesLeft = -1;  // writes allowed before they fail; -1: unlimited
};

std::string text(const rpJString& s)
{
    std::string out(s.byteLength() + 1, '\0');
    out.resize(s.toByte(reinterpret_cast<unsigned char*>(&out[0])));
    return out;
}

class StreamTest : public testing::Test {
protected:
    void SetUp() override
    {
        rpObject::ResetViewError();
        testsupport::clearDbout();
    }
};
}  // namespace

TEST_F(StreamTest, BaseHasNoStorage)
{
    rpStream s;
    EXPECT_STREQ(s.name(), ":Stream");
    EXPECT_STREQ(s.objectName, "rpStream");
    EXPECT_EQ(s.newlineCode, 0x0D0A);
    EXPECT_EQ(s.openMode, 0);
    EXPECT_EQ(s.ropen(), -1);
    EXPECT_EQ(s.close(), -1);
    EXPECT_EQ(s.seek(0, 0), -1);
    EXPECT_EQ(s.setData("x", 1, true), -1);
    EXPECT_EQ(s.dataAddress(), nullptr);
    EXPECT_EQ(s.getPath(), nullptr);
    EXPECT_TRUE(s.eof());
    char c = 'x';
    EXPECT_EQ(s.write(&c, 1, nullptr), -1);
    EXPECT_EQ(s.lastError, -1);
}

TEST_F(StreamTest, ErrorTextsIncludeTheNegativePosition)
{
    char buf[32];
    EXPECT_STREQ(rpStream::ErrorString(131, buf), "負のファイル位置です");
    EXPECT_STREQ(buf, "負のファイル位置です");
    EXPECT_STREQ(rpStream::ErrorString(30, nullptr), "読込失敗");
    rpStream s;
    EXPECT_STREQ(s.errorString(131, nullptr), "負のファイル位置です");
    EXPECT_STREQ(rpObject::ErrorString(131, nullptr), "<<error: 131>>");
}

TEST_F(StreamTest, WordsAndCharactersTravelHighByteFirst)
{
    VectorStream s("\x12\x34\x82\xA0" "A\xB1" "A");
    unsigned short w = 0;
    EXPECT_EQ(s.getwi(w), 0);
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(s.getj(w), 0);
    EXPECT_EQ(w, 0x82A0);
    EXPECT_EQ(s.getj(w), 0);
    EXPECT_EQ(w, 0x0041);
    EXPECT_EQ(s.getj(w), 0);
    EXPECT_EQ(w, 0xB141);  // half-width katakana is joined with whatever follows
    EXPECT_EQ(s.getj(w), 30);

    VectorStream out;
    EXPECT_EQ(out.putwi(0x1234), 0);
    EXPECT_EQ(out.writeCalls, 1);
    EXPECT_EQ(out.putj(0x82A0), 0);
    EXPECT_EQ(out.putj(0x0041), 0);
    EXPECT_EQ(out.bytes, "\x12\x34\x82\xA0" "A");
}

TEST_F(StreamTest, LeadByteAtTheEndFailsGetj)
{
    VectorStream s("\x82");
    unsigned short ch = 0;
    EXPECT_EQ(s.getj(ch), 30);
    EXPECT_EQ(ch, 0x8200);
}

TEST_F(StreamTest, PushBackStackHoldsNineBytes)
{
    VectorStream s("0123456789ab");
    unsigned char b;
    EXPECT_EQ(s.unreadb('x'), 30);  // position 0
    for (int i = 0; i < 10; ++i)
        s.getb(b);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(s.unreadb(static_cast<unsigned char>('A' + i)), 0);
    EXPECT_EQ(s.pos, 1);
    EXPECT_EQ(s.unreadb('Z'), 30);
    EXPECT_EQ(s.lastError, 30);

    // Last in, first out; a request the stack satisfies never reaches the primitive.
    int calls = s.readCalls;
    char buf[16] = {};
    int got = 0;
    EXPECT_EQ(s.read(buf, 4, &got), 0);
    EXPECT_EQ(got, 4);
    EXPECT_STREQ(buf, "IHGF");
    EXPECT_EQ(s.readCalls, calls);
    EXPECT_EQ(s.pos, 5);
    // The rest of the stack, then the stream.
    EXPECT_EQ(s.read(buf, 8, &got), 0);
    EXPECT_EQ(got, 7);
    EXPECT_EQ(std::string(buf, 7), "EDCBA" "ab");  // stack ends at 10, the stream has 2 more
    EXPECT_EQ(s.readCalls, calls + 1);
}

TEST_F(StreamTest, PushedBackBytesAtTheEndAreDeliveredAlone)
{
    VectorStream s("xy");
    char buf[8] = {};
    int got = 0;
    s.read(buf, 2, &got);
    s.unreadb('y');
    EXPECT_EQ(s.read(buf, 5, &got), 0);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(buf[0], 'y');
    EXPECT_EQ(s.read(buf, 5, &got), 30);
}

TEST_F(StreamTest, UnreadCharacterComesBackWhole)
{
    VectorStream s("a\x82\xA0z");
    unsigned short ch;
    s.getj(ch);
    s.getj(ch);
    ASSERT_EQ(ch, 0x82A0);
    EXPECT_EQ(s.unreadj(ch), 0);
    EXPECT_EQ(s.pos, 1);
    EXPECT_EQ(s.getj(ch), 0);
    EXPECT_EQ(ch, 0x82A0);
    EXPECT_EQ(s.pos, 3);

    // Not enough room for both bytes: nothing is pushed.
    VectorStream t("\x82\xA0");
    unsigned char b;
    t.getb(b);
    EXPECT_EQ(t.unreadj(0x82A0), 30);
    EXPECT_EQ(t.unreadCount, 0);
    EXPECT_EQ(t.pos, 1);
}

TEST_F(StreamTest, LineEndsInEveryGetsForm)
{
    const std::string data = "ab\r\ncd\ref\ngh";
    {
        VectorStream s(data);
        char buf[16];
        const char* lines[] = {"ab", "cd", "ef", "gh"};
        for (const char* line : lines) {
            EXPECT_EQ(s.gets(buf, sizeof buf), 0);
            EXPECT_STREQ(buf, line);
        }
        EXPECT_TRUE(s.eof());
        EXPECT_EQ(s.gets(buf, sizeof buf), 0);
        EXPECT_STREQ(buf, "");
    }
    {
        VectorStream s(data);
        rpJString line;
        std::string seen;
        while (s.gets(&line) == 0)
            seen += text(line) + "|";
        EXPECT_EQ(seen, "ab|cd|ef|gh|");
        EXPECT_EQ(s.gets(&line), 30);
        EXPECT_EQ(line.count, 0);
    }
    {
        VectorStream s(data);
        std::string line, seen;
        while (s.gets(line) == 0)
            seen += line + "|";
        EXPECT_EQ(seen, "ab|cd|ef|gh|");
        EXPECT_EQ(s.gets(line), 1);
        EXPECT_TRUE(line.empty());
    }
}

TEST_F(StreamTest, ByteAfterCarriageReturnIsPushedBack)
{
    VectorStream s("cd\ref");
    char buf[8];
    s.gets(buf, sizeof buf);
    EXPECT_EQ(s.unreadCount, 1);
    EXPECT_EQ(s.unreadBuf[0], 'e');
    EXPECT_EQ(s.pos, 3);
    s.gets(buf, sizeof buf);
    EXPECT_STREQ(buf, "ef");
}

TEST_F(StreamTest, EmptyLinesAreLinesInEveryForm)
{
    VectorStream s("a\n\r\n\rb\r");
    std::string line;
    EXPECT_EQ(s.gets(line), 0);
    EXPECT_EQ(line, "a");
    EXPECT_EQ(s.gets(line), 0);
    EXPECT_EQ(line, "");
    EXPECT_EQ(s.gets(line), 0);
    EXPECT_EQ(line, "");
    EXPECT_EQ(s.gets(line), 0);
    EXPECT_EQ(line, "b");  // the CR at the very end needs no following byte
    EXPECT_EQ(s.gets(line), 1);

    VectorStream t("\n\n");
    rpJString js;
    EXPECT_EQ(t.gets(&js), 0);
    EXPECT_EQ(t.gets(&js), 0);
    EXPECT_EQ(t.gets(&js), 30);
}

TEST_F(StreamTest, LongLinesAreCutAtTheBuffer)
{
    VectorStream s("abcdef\n");
    char buf[4];
    EXPECT_EQ(s.gets(buf, 4), 0);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(s.gets(buf, 4), 0);
    EXPECT_STREQ(buf, "def");
    EXPECT_FALSE(s.eof());  // the buffer filled before the LF was reached
    EXPECT_EQ(s.gets(buf, 4), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_TRUE(s.eof());

    char one[1] = {'x'};
    EXPECT_EQ(s.gets(one, 1), -1);
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(s.gets(static_cast<char*>(nullptr), 10), -1);
}

TEST_F(StreamTest, ShiftJisLinesKeepTheirTrailBytes)
{
    // "表" 0x95 0x5C, "ポ" 0x83 0x7C, half-width "ｱ" 0xB1 (joined with the next byte), and a
    // lead byte that ends the data.
    VectorStream s("\x95\x5C\x83\x7C\r\n\xB1" "a\n\x82");
    rpJString line;
    ASSERT_EQ(s.gets(&line), 0);
    ASSERT_EQ(line.count, 2);
    EXPECT_EQ(line.chars[0], 0x955C);
    EXPECT_EQ(line.chars[1], 0x837C);
    ASSERT_EQ(s.gets(&line), 0);
    ASSERT_EQ(line.count, 1);
    EXPECT_EQ(line.chars[0], 0xB161);
    ASSERT_EQ(s.gets(&line), 0);
    ASSERT_EQ(line.count, 1);
    EXPECT_EQ(line.chars[0], 0x0082);

    // A lead byte joins even an LF that follows it.
    VectorStream t("\x82\nx\n");
    ASSERT_EQ(t.gets(&line), 0);
    ASSERT_EQ(line.count, 2);
    EXPECT_EQ(line.chars[0], 0x820A);
}

TEST_F(StreamTest, PutsAndPutslnWriteByteByByteWithCrLf)
{
    VectorStream s;
    EXPECT_EQ(s.putsln("x"), 0);
    EXPECT_EQ(s.bytes, "x\r\n");
    EXPECT_EQ(s.writeCalls, 3);
    EXPECT_EQ(s.puts(static_cast<const char*>(nullptr)), 0);

    rpJString js;
    js.storeString("\x95\x5C" "b");
    std::string std = "std";
    EXPECT_EQ(s.putsln(&js), 0);
    EXPECT_EQ(s.puts(&std), 0);
    EXPECT_EQ(s.putsln(&std), 0);
    EXPECT_EQ(s.bytes, "x\r\n\x95\x5C" "b\r\nstdstd\r\n");
}

TEST_F(StreamTest, WriteFailureStopsTheText)
{
    VectorStream s;
    s.writesLeft = 2;
    EXPECT_EQ(s.putsln("abc"), 29);
    EXPECT_EQ(s.bytes, "ab");
    EXPECT_EQ(s.lastError, 29);
    ASSERT_FALSE(testsupport::dboutLog().empty());
    EXPECT_NE(testsupport::dboutLog().back().find("rpStream::write"), std::string::npos);

    VectorStream t;
    t.writesLeft = 1;
    rpJString js;
    js.storeString("\x82\xA0");
    EXPECT_EQ(t.putsln(&js), 29);
    EXPECT_EQ(t.bytes, "\x82");
}

TEST_F(StreamTest, FormatAndFormatln)
{
    VectorStream s;
    EXPECT_EQ(s.format("<td>%s</td>", "\x95\x5C"), 0);
    EXPECT_EQ(s.formatln("%d-%03d", 7, 42), 0);
    EXPECT_EQ(s.bytes, "<td>\x95\x5C</td>7-042\r\n");
}

TEST_F(StreamTest, OverlongFormattedTextIsCutAtAWholeCharacter)
{
    // 9998 single bytes then a double-byte character: its lead would be byte 9999 of the buffer.
    std::string longText(9998, 'a');
    longText += "\x82\xA0" "tail";
    VectorStream s;
    EXPECT_EQ(s.formatln("%s", longText.c_str()), 0);
    EXPECT_EQ(s.bytes, std::string(9998, 'a') + "\r\n");

    // One byte shorter: the whole character fits in 9999 bytes.
    VectorStream t;
    EXPECT_EQ(t.format("%s", longText.c_str() + 1), 0);
    EXPECT_EQ(t.bytes, std::string(9997, 'a') + "\x82\xA0");

    // Far longer text is bounded too.
    std::string huge(50000, 'z');
    VectorStream u;
    EXPECT_EQ(u.format("%s%s", huge.c_str(), huge.c_str()), 0);
    EXPECT_EQ(u.bytes.size(), 9999u);
}
