// The object base: error texts, names and the report thresholds.
#include "rpObject.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using testsupport::clearDbout;
using testsupport::dboutLog;

namespace {
class ObjectTest : public testing::Test {
protected:
    void SetUp() override
    {
        rpObject::ResetViewError();
        clearDbout();
    }
    void TearDown() override { rpObject::ResetViewError(); }
};
}  // namespace

TEST_F(ObjectTest, TableTextsAreShiftJis)
{
    // "正常終了" and "エラーが発生しました" in code page 932.
    EXPECT_STREQ(rpObject::ErrorString(0, nullptr), "\x90\xb3\x8f\xed\x8f\x49\x97\xb9");
    EXPECT_STREQ(rpObject::ErrorString(-1, nullptr), "エラーが発生しました");
    EXPECT_STREQ(rpObject::ErrorString(2250, nullptr), "接続していない");
    EXPECT_STREQ(rpObject::ErrorString(23, nullptr), "CRC エラー");
}

TEST_F(ObjectTest, TableHasFortyFourEntriesWithDistinctCodes)
{
    int count = 0;
    for (const rpObject::ErrorText* e = rpObject::ErrorTable; e->text; ++e) {
        for (const rpObject::ErrorText* f = e + 1; f->text; ++f)
            EXPECT_NE(e->code, f->code);
        EXPECT_LE(std::strlen(e->text), 28u);
        ++count;
    }
    EXPECT_EQ(count, 44);
}

TEST_F(ObjectTest, UnknownCodesAreFormattedIntoOneSharedBuffer)
{
    const char* first = rpObject::ErrorString(14, nullptr);
    EXPECT_STREQ(first, "<<error: 14>>");
    const char* second = rpObject::ErrorString(-9999, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "<<error: -9999>>");
    char dst[32];
    rpObject::ErrorString(-2147483647 - 1, dst);
    EXPECT_STREQ(dst, "<<error: -2147483648>>");
}

TEST_F(ObjectTest, ErrorStringCopiesIntoDestination)
{
    char dst[32] = "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
    const char* text = rpObject::ErrorString(5, dst);
    EXPECT_STREQ(dst, text);
    EXPECT_NE(text, dst);
}

TEST_F(ObjectTest, NamesAreCutAtEightyCharacters)
{
    std::string longName(100, 'n');
    rpObject o(longName.c_str());
    EXPECT_EQ(std::strlen(o.name()), 80u);
    EXPECT_EQ(o.objectName[80], '\0');
    o.name("short");
    EXPECT_STREQ(o.name(), "short");
    // The rest of the array is padded with NULs.
    for (int i = 5; i <= 80; ++i)
        EXPECT_EQ(o.objectName[i], '\0');
    EXPECT_EQ(o.viewLevel, -1);
    EXPECT_FALSE(o.owner);
    EXPECT_EQ(o.lastError, 0);
}

TEST_F(ObjectTest, ViewErrorRecordsAndReports)
{
    rpObject o("rpThing");
    o.lastError = 7;
    EXPECT_EQ(o.viewError(0, "store", 5), 0);
    EXPECT_EQ(o.lastError, 0);
    EXPECT_TRUE(dboutLog().empty());

    EXPECT_EQ(o.viewError(5, nullptr, 5), 5);
    EXPECT_EQ(o.lastError, 5);
    ASSERT_EQ(dboutLog().size(), 1u);
    EXPECT_EQ(dboutLog()[0], "<<rpThing::error アクセスが拒否された>>\n");

    // Level equal to the threshold is not reported.
    EXPECT_EQ(o.viewError(2, "open", 3), 2);
    EXPECT_EQ(dboutLog().size(), 1u);
    EXPECT_EQ(o.lastError, 2);
}

TEST_F(ObjectTest, ObjectThresholdOverridesTheProcessOne)
{
    rpObject quiet("quiet"), loud("loud");
    quiet.viewLevel = 9;
    quiet.viewError(5, "write", 5);
    loud.viewError(5, "write", 5);
    ASSERT_EQ(dboutLog().size(), 1u);
    EXPECT_EQ(dboutLog()[0].rfind("<<loud::write ", 0), 0u);
    EXPECT_EQ(quiet.viewErrorLevel(), 9);
    EXPECT_EQ(quiet.resetViewError(), -1);
    EXPECT_EQ(quiet.viewErrorLevel(), 3);
    quiet.viewError(5, "write", 5);
    EXPECT_EQ(dboutLog().size(), 2u);
}

TEST_F(ObjectTest, ProcessThresholdSilencesAndResets)
{
    rpObject o("o");
    EXPECT_EQ(rpObject::ViewErrorLevel(10), 10);
    EXPECT_EQ(rpObject::ViewErrorLevel(), 10);
    o.viewError(5, "wait", 5);
    EXPECT_EQ(rpObject::ViewError(5, "wait", 5), 5);
    EXPECT_TRUE(dboutLog().empty());
    EXPECT_EQ(rpObject::ResetViewError(), 3);
    EXPECT_EQ(rpObject::ViewError(87, nullptr, 5), 87);
    ASSERT_EQ(dboutLog().size(), 1u);
    EXPECT_EQ(dboutLog()[0], "<<::error 無効なパラメータ>>\n");
    EXPECT_EQ(rpObject::ViewError(0, "x", 9), 0);
    EXPECT_EQ(dboutLog().size(), 1u);
}

TEST_F(ObjectTest, StaticReportRecordsNothing)
{
    rpObject o("o");
    rpObject::ViewError(5, "close", 5);
    EXPECT_EQ(o.lastError, 0);
}
