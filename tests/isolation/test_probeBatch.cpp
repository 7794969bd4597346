// Batches of files probed by real worker processes of this build's inspector: how each way a
// session can end becomes the file's block (without a process), what retires a worker, broken
// answers, the time limits, and a plug-in that waits on its own window.
#include "probeBatch.h"
#include "runninginspector.h"
#include "testsupport.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::fixturePath;
using testsupport::wide;

std::vector<std::string> blockOf(const std::string& file, const std::vector<std::string>& tail)
{
    std::vector<std::string> lines = {"", "プラグイン  " + file};
    lines.insert(lines.end(), tail.begin(), tail.end());
    return lines;
}

TEST(SessionBlock, EachEndOfASessionGivesItsBlockAndFailureLines)
{
    const std::vector<std::string> answered = blockOf("a.dll", {"  プラグインID  00000001  00000002"});
    std::string longTitle;
    for (int i = 0; i < 200; ++i)
        longTitle += "あ";
    std::string cutTitle = longTitle.substr(0, 250);  // what fits: 32 + 250 + 16 bytes
    const struct {
        SessionEnd end;
        DWORD code;
        std::vector<std::string> lines;  // the session's
        const char* title;               // a visible window's, or null
        ProbeOutcome outcome;
        std::string ending;              // the block's last line; empty: the lines as they are
    } rows[] = {
        {SessionEnd::Answered, 0, answered, nullptr, ProbeOutcome::Probed, ""},
        {SessionEnd::Faulted, 0xC0000005, answered, nullptr, ProbeOutcome::Faulted, "  例外が発生しました c0000005"},
        {SessionEnd::Exited, 7, answered, nullptr, ProbeOutcome::Exited, "  プロセスが終了しました 00000007"},
        {SessionEnd::Hung, 0, answered, nullptr, ProbeOutcome::Hung, "  応答がありません"},
        {SessionEnd::Hung, 0, answered, "プラグインの質問", ProbeOutcome::Hung,
         "  応答がありません: ウィンドウ「プラグインの質問」を表示したまま"},
        {SessionEnd::Hung, 0, answered, "two\nlines", ProbeOutcome::Hung, "  応答がありません: ウィンドウ「two lines」を表示したまま"},
        {SessionEnd::Hung, 0, answered, longTitle.c_str(), ProbeOutcome::Hung,
         "  応答がありません: ウィンドウ「" + cutTitle + "」を表示したまま"},
        {SessionEnd::Stopped, 0, answered, nullptr, ProbeOutcome::Stopped, "  中止しました"},
        {SessionEnd::ProtocolError, 0, answered, nullptr, ProbeOutcome::ProtocolError, "  検査プロセスの応答が壊れています"},
        // Ended before its first lines: they are made here.
        {SessionEnd::NotStarted, 2, {}, nullptr, ProbeOutcome::NotStarted, "  検査プロセスを起動できません 2"},
        {SessionEnd::Exited, 3, {""}, nullptr, ProbeOutcome::Exited, "  プロセスが終了しました 00000003"},
    };
    for (const auto& row : rows) {
        WorkerSession session;
        session.end = row.end;
        session.code = row.code;
        session.lines = row.lines;
        session.windowShown = row.title != nullptr;
        session.windowTitle = row.title ? row.title : "";
        BatchEvent event;
        describeSession("a.dll", session, &event);
        std::vector<std::string> expected = row.lines.size() >= 2 ? row.lines : blockOf("a.dll", {});
        if (!row.ending.empty())
            expected.push_back(row.ending);
        EXPECT_EQ(event.lines, expected) << row.ending;
        EXPECT_EQ(event.outcome, row.outcome) << row.ending;
        EXPECT_LE(event.lines.back().size(), 299u);
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

// Probes the fixtures named, one file at a time, with real workers of this build; the events in
// the order of the files.
std::vector<BatchEvent> probeAll(const std::vector<std::string>& names, BatchSettings settings = BatchSettings())
{
    const UINT message = WM_APP + 7;
    settings.executable = wide(testsupport::inspectorPath());
    settings.workers = 1;
    std::vector<BatchFile> files;
    for (const std::string& name : names)
        files.push_back(batchFileFor(wide(fixturePath(name))));
    std::vector<BatchEvent> events(files.size());
    HWND sink = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    size_t received = 0;
    {
        ProbeBatch batch(sink, message, settings, std::make_shared<WorkerPool>());
        batch.add(files);
        DWORD start = GetTickCount();
        while (received < files.size() && GetTickCount() - start < 100000) {
            MSG msg;
            if (!PeekMessageW(&msg, sink, message, message, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
                continue;
            }
            std::unique_ptr<BatchEvent> event(reinterpret_cast<BatchEvent*>(msg.lParam));
            events[event->index] = *event;
            ++received;
        }
    }
    DestroyWindow(sink);
    EXPECT_EQ(received, files.size());
    return events;
}

bool answeredWhole(const BatchEvent& event)
{
    return event.outcome == ProbeOutcome::Probed && event.hasResult && event.result.answers == 7 && event.failure.empty();
}

// plug_whoami names its worker process.
std::string workerOf(const BatchEvent& event)
{
    EXPECT_TRUE(answeredWhole(event));
    EXPECT_EQ(event.result.pname.rfind("worker ", 0), 0u) << event.result.pname;
    return event.result.pname;
}

// What a plug-in leaves behind in its worker (a thread, its module, its fault filter, another
// current directory) retires the worker once the plug-in's record is in, and the next file gets
// a fresh one; ordinary plug-ins, and files that do not load, keep theirs.
TEST(ProbeBatch, WhatAPluginLeavesBehindRetiresItsWorkerAndNothingElseDoes)
{
    std::vector<BatchEvent> events =
        probeAll({"plug_whoami.dll", "plug_command.dll", "plug_import.dll", "plug_selfcatch.dll", "plug_indirect.dll",
                  "plug_whoami.dll",                                              // 5
                  "plug_thread.dll", "plug_pump.dll", "plug_whoami.dll",          // 6
                  "plug_pin.dll", "plug_whoami.dll",                              // 9
                  "plug_filter.dll", "plug_fault_id.dll", "plug_whoami.dll",      // 11
                  "plug_chdir.dll", "plug_indirect.dll", "plug_whoami.dll"});     // 14
    ASSERT_EQ(events.size(), 17u);
    for (size_t i : {1, 2, 3})
        EXPECT_TRUE(answeredWhole(events[i]) && events[i].leftovers == 0) << i;
    EXPECT_EQ(workerOf(events[0]), workerOf(events[5]));

    const struct {
        size_t culprit;
        uint32_t left;
    } culprits[] = {{6, LeftoverThread}, {9, LeftoverModule}, {11, LeftoverFilter}, {14, LeftoverDirectory}};
    std::string before = workerOf(events[5]);
    for (const auto& c : culprits) {
        const BatchEvent& culprit = events[c.culprit];
        EXPECT_TRUE(answeredWhole(culprit)) << c.culprit;
        EXPECT_EQ(culprit.leftovers, c.left) << c.culprit;
        std::string after = workerOf(events[c.culprit + (c.culprit == 9 ? 1 : 2)]);
        EXPECT_NE(after, before) << c.culprit;
        before = after;
    }
    // The innocent after each: the timer thread's fault does not reach the pumping plug-in, a
    // fault after the foreign filter is reported with its code, the dependency in the current
    // folder is found again.
    EXPECT_TRUE(answeredWhole(events[7]));
    EXPECT_EQ(events[7].lines, blockOf("plug_pump.dll", {"  プラグインID  00009040  00000007", "  名称= [ポンプ]", "  タイプ=  Command",
                                                         "  メニュー[0]= [待った]"}));
    EXPECT_EQ(events[12].outcome, ProbeOutcome::Faulted);
    EXPECT_EQ(events[12].code, testsupport::reportedFaultCode(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(events[15].failure, std::vector<std::string>({"load error 126", "  見つからないDLL: gonedep.dll (needsgone.dll が必要とする)"}));
    EXPECT_EQ(events[15].failure, events[4].failure);
}

// A worker whose answer is broken (bytes that are no message, a record no probe can produce, a
// record too many, a pipe closed while the process runs) is ended: its file says so, and the
// next file has a fresh worker and its own record.
TEST(ProbeBatch, ABrokenAnswerEndsTheWorkerAndIsReportedAsSuch)
{
    std::vector<BatchEvent> events = probeAll({"plug_whoami.dll", "plug_junk.dll", "plug_whoami.dll", "plug_forge.dll",
                                               "plug_whoami.dll", "plug_extra.dll", "plug_whoami.dll", "plug_closepipe.dll",
                                               "plug_whoami.dll"});
    ASSERT_EQ(events.size(), 9u);
    const std::string broken = "  検査プロセスの応答が壊れています";
    for (size_t i : {1, 3, 7}) {
        EXPECT_EQ(events[i].outcome, ProbeOutcome::ProtocolError) << i;
        EXPECT_EQ(events[i].code, 0u) << i;
        EXPECT_EQ(events[i].failure, std::vector<std::string>{broken}) << i;
        ASSERT_GE(events[i].lines.size(), 4u) << i;
        EXPECT_EQ(events[i].lines[2].rfind("  プラグインID  00000700", 0), 0u) << i;
        EXPECT_EQ(events[i].lines.back(), broken) << i;
    }
    // The forged record was well formed and answered the request: taken as the plug-in's word.
    EXPECT_EQ(events[5].outcome, ProbeOutcome::Probed);
    for (size_t i = 2; i < events.size(); i += 2)
        EXPECT_NE(workerOf(events[i]), workerOf(events[i - 2])) << i;
}

// A probe that changes the published length of its lines without adding one is silent; one
// that adds lines for ever still ends at its ceiling.
TEST(ProbeBatch, OnlyNewWholeLinesKeepAFileAliveAndEveryFileHasACeiling)
{
    BatchSettings settings;
    settings.timeoutMs = 1500 * testsupport::slowdown();
    settings.ceilingMs = 4000 * testsupport::slowdown();
    std::vector<BatchEvent> events = probeAll({"plug_fakelife.dll", "plug_slowenum.dll", "plug_command.dll"}, settings);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].outcome, ProbeOutcome::Hung);
    EXPECT_EQ(events[0].lines, blockOf("plug_fakelife.dll", {"  プラグインID  00000700  00000005", "  応答がありません"}));
    EXPECT_EQ(events[1].outcome, ProbeOutcome::Hung);
    ASSERT_GE(events[1].lines.size(), 7u);
    EXPECT_EQ(events[1].lines[5], "  メニュー[0]= [item]");
    EXPECT_EQ(events[1].lines.back(), "  応答がありません");
    EXPECT_TRUE(answeredWhole(events[2]));
}

// A plug-in that shows a message box and waits runs out of time with the box's title in its
// block; one without a window just runs out of time.
TEST(ProbeBatch, AFileThatWaitsOnItsWindowIsNamedWithTheWindow)
{
    BatchSettings settings;
    settings.timeoutMs = 2000 * testsupport::slowdown();
    std::vector<BatchEvent> events = probeAll({"plug_msgbox.dll", "plug_hang.dll"}, settings);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].outcome, ProbeOutcome::Hung);
    EXPECT_EQ(events[0].lines, blockOf("plug_msgbox.dll", {"  プラグインID  00000b0c  00000007",
                                                           "  応答がありません: ウィンドウ「プラグインの質問」を表示したまま"}));
    EXPECT_EQ(events[1].lines.back(), "  応答がありません");
}

// Running workers of the inspector's executable in this session.
int runningWorkers()
{
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"plugin-inspector.exe") == 0)
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

// A worker that cannot be put into the job (here: what is passed is no job) does not run
// outside it: the start fails with the system's code and the worker is gone.
TEST(WorkerChannelTest, AWorkerOutsideTheJobIsEndedAndReported)
{
    ASSERT_EQ(runningWorkers(), 0);
    HANDLE notAJob = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WorkerChannel channel;
    EXPECT_EQ(channel.start(wide(testsupport::inspectorPath()), notAJob, nullptr, 10000), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(channel.ready());
    EXPECT_EQ(runningWorkers(), 0);
    CloseHandle(notAJob);
}

}  // namespace

// A pool told to keep workers ready starts them in the background: they take a request without
// a start of their own. One that is lost (here: retired by what its plug-in left behind) and
// given back is replaced, so the next take finds a running worker again, a new process.
TEST(WorkerPoolTest, KeepsWorkersRunningAheadAndReplacesOneThatIsLost)
{
    ASSERT_EQ(runningWorkers(), 0);
    {
        auto pool = std::make_shared<WorkerPool>();
        BatchSettings settings;
        settings.executable = wide(testsupport::inspectorPath());
        settings.workers = 1;
        warmWorkers(*pool, settings);  // one for the batch and a spare
        const int bitness = ownBitness();
        // A running worker, taken as a batch takes it; false after the time a start may take.
        auto takeRunning = [&](std::unique_ptr<WorkerChannel>* worker) {
            DWORD start = GetTickCount();
            while (GetTickCount() - start < 30000u * testsupport::slowdown()) {
                *worker = pool->take(bitness);
                if ((*worker)->ready())
                    return true;
                pool->give(bitness, std::move(*worker));
                Sleep(50);
            }
            return false;
        };
        SessionLimits limits;
        auto probe = [&](WorkerChannel& worker, const char* name) {
            BatchFile file = batchFileFor(wide(fixturePath(name)));
            return worker.probe(file.path, file.dllName, file.shown, limits, nullptr);
        };
        std::unique_ptr<WorkerChannel> first;
        ASSERT_TRUE(takeRunning(&first));
        WorkerSession who = probe(*first, "plug_whoami.dll");
        ASSERT_EQ(who.end, SessionEnd::Answered);
        WorkerSession pinned = probe(*first, "plug_pin.dll");
        EXPECT_EQ(pinned.leftovers, LeftoverModule);
        EXPECT_FALSE(first->ready());
        pool->give(bitness, std::move(first));

        std::unique_ptr<WorkerChannel> second, third;
        ASSERT_TRUE(takeRunning(&second));
        ASSERT_TRUE(takeRunning(&third));
        WorkerSession after = probe(*second, "plug_whoami.dll");
        WorkerSession other = probe(*third, "plug_whoami.dll");
        ASSERT_EQ(after.end, SessionEnd::Answered);
        ASSERT_EQ(other.end, SessionEnd::Answered);
        EXPECT_NE(after.record.pname, who.record.pname);
        EXPECT_NE(other.record.pname, who.record.pname);
        EXPECT_NE(after.record.pname, other.record.pname);
        // Two taken and one spare at most: the pool starts no more than it keeps.
        Sleep(500 * testsupport::slowdown());
        EXPECT_LE(runningWorkers(), 3);
    }
    EXPECT_EQ(runningWorkers(), 0);  // the pool ends what it started
}
