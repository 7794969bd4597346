// Batches of files probed by worker processes: how each way a session can end becomes the
// file's block (without a process).
#include "probeBatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> blockOf(const std::string& file, const std::vector<std::string>& tail)
{
    std::vector<std::string> lines = {"", "プラグイン  " + file};
    lines.insert(lines.end(), tail.begin(), tail.end());
    return lines;
}

TEST(SessionBlock, EachEndOfASessionGivesItsBlockAndFailureLines)
{
    const std::vector<std::string> answered = blockOf("a.dll", {"  プラグインID  00000001  00000002"});
    const struct {
        SessionEnd end;
        DWORD code;
        std::vector<std::string> lines;  // the session's
        ProbeOutcome outcome;
        std::string ending;              // the block's last line; empty: the lines as they are
    } rows[] = {
        {SessionEnd::Answered, 0, answered, ProbeOutcome::Probed, ""},
        {SessionEnd::Faulted, 0xC0000005, answered, ProbeOutcome::Faulted, "  例外が発生しました c0000005"},
        {SessionEnd::Exited, 7, answered, ProbeOutcome::Exited, "  プロセスが終了しました 00000007"},
        {SessionEnd::Hung, 0, answered, ProbeOutcome::Hung, "  応答がありません"},
        {SessionEnd::Stopped, 0, answered, ProbeOutcome::Stopped, "  中止しました"},
        // Ended before its first lines: they are made here.
        {SessionEnd::NotStarted, 2, {}, ProbeOutcome::NotStarted, "  検査プロセスを起動できません 2"},
        {SessionEnd::Exited, 3, {""}, ProbeOutcome::Exited, "  プロセスが終了しました 00000003"},
    };
    for (const auto& row : rows) {
        WorkerSession session;
        session.end = row.end;
        session.code = row.code;
        session.lines = row.lines;
        BatchEvent event;
        describeSession("a.dll", session, &event);
        std::vector<std::string> expected = row.lines.size() >= 2 ? row.lines : blockOf("a.dll", {});
        if (!row.ending.empty())
            expected.push_back(row.ending);
        EXPECT_EQ(event.lines, expected) << row.ending;
        EXPECT_EQ(event.outcome, row.outcome) << row.ending;
        EXPECT_EQ(event.failure, row.ending.empty() ? std::vector<std::string>() : std::vector<std::string>{row.ending});
    }

    // A file that did not load: its failure is the load error and what explains it.
    WorkerSession failed;
    failed.lines = blockOf("a.dll", {"load error 126", "  見つからないDLL: gonedep.dll"});
    failed.hasRecord = true;
    failed.record.loadError = 126;
    BatchEvent event;
    describeSession("a.dll", failed, &event);
    EXPECT_EQ(event.lines, failed.lines);
    EXPECT_EQ(event.failure, std::vector<std::string>(failed.lines.begin() + 2, failed.lines.end()));
    EXPECT_TRUE(event.hasResult);
}

}  // namespace
