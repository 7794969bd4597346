// Parallel, isolated probing of a batch of files.
#include "probeBatch.h"

#include "fileSystem.h"
#include "folderScan.h"
#include "loadFailure.h"
#include "peImage.h"
#include "textCodec.h"
#include "probe.h"
#include "rpStrings.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr DWORD WorkerStartMs = 10000;  // the least time a worker gets to connect

// Collects a block's lines in order.
class LineCollector : public ProbeSink {
public:
    explicit LineCollector(std::vector<std::string>& lines) : lines_(lines) {}
    void addLine(const char* line) override { lines_.push_back(line); }

private:
    std::vector<std::string>& lines_;  // not owned
};

std::string formatLine(const char* format, unsigned long value)
{
    char line[ProbeTextSize];
    formatBounded(line, sizeof line, format, value);
    return line;
}

std::wstring folderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The line of a file that ran out of time while a window of its worker was visible, with the
// window's title (control characters as blanks) cut at a whole character so the line fits.
std::string hungWithWindowLine(const std::string& title)
{
    static const char prefix[] = "  応答がありません: ウィンドウ「";
    static const char suffix[] = "」を表示したまま";
    char shown[ProbeTextSize];
    int room = ProbeTextSize - static_cast<int>(sizeof prefix - 1 + sizeof suffix - 1);
    rpStrncpy(shown, title.c_str(), room);
    for (char* c = shown; *c; ++c) {
        if (static_cast<unsigned char>(*c) < 0x20)
            *c = ' ';
    }
    return std::string(prefix) + shown + suffix;
}

std::wstring ownExecutablePath()
{
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

}  // namespace

int ownBitness()
{
    return sizeof(void*) == 8 ? 64 : 32;
}

int batchWorkerCount(const BatchSettings& settings)
{
    int wanted = settings.workers;
    if (wanted <= 0) {
        SYSTEM_INFO system = {};
        GetSystemInfo(&system);
        wanted = static_cast<int>(system.dwNumberOfProcessors);
    }
    return std::max(wanted, 1);
}

void warmWorkers(WorkerPool& pool, const BatchSettings& settings)
{
    pool.keepReady(ownBitness(), settings.executable.empty() ? ownExecutablePath() : settings.executable,
                   batchWorkerCount(settings) + 1);
}

BatchFile batchFileFor(const std::wstring& path)
{
    BatchFile file;
    file.path = path;
    file.dllName = fromWide(path);
    size_t slash = path.find_last_of(L"\\/");
    file.shown = fromWide(slash == std::wstring::npos ? path : path.substr(slash + 1));
    if (file.dllName.size() >= ProbeTextSize) {
        file.shown = file.dllName;
        file.loadError = ERROR_FILENAME_EXCED_RANGE;
    }
    return file;
}

void batchFilesFor(const std::vector<std::wstring>& paths, bool expandFolders, size_t base,
                   std::vector<BatchFile>* files, std::vector<BatchFolder>* folders)
{
    for (const std::wstring& path : paths) {
        if (!expandFolders || !isFolder(path)) {
            files->push_back(batchFileFor(path));
            continue;
        }
        BatchFolder folder;
        folder.shown = fromWide(path);
        folder.first = base + files->size();
        const size_t inside = path.empty() || path.back() == L'\\' || path.back() == L'/' ? path.size() : path.size() + 1;
        FolderContents contents = scanFolder(path);
        for (const std::wstring& found : contents.files) {
            BatchFile file = batchFileFor(found);
            // Shown by its path inside the folder: copies of one plug-in in two subfolders
            // differ there, and the summary names them so.
            if (file.loadError == 0)
                file.shown = fromWide(found.substr(inside));
            files->push_back(file);
        }
        for (const UnreadableFolder& unreadable : contents.unreadable) {
            bool inTree = unreadable.path.size() > inside;
            folder.unreadable.push_back({unreadable.path, inTree ? fromWide(unreadable.path.substr(inside)) : folder.shown,
                                         unreadable.error, folder.first + unreadable.filesBefore});
        }
        folder.count = base + files->size() - folder.first;
        folders->push_back(folder);
    }
}

// The workers one serving thread uses, one per bitness, taken from the pool when first needed
// and given back when the thread is done, unless they ended. One that cannot take the next
// request (it faulted, ended, hung or retired) is given back, which ends it, for a spare that
// the pool keeps running. Validation holds a second worker of each bitness for a file's second
// load: held at the same time as the first, it is always another process than the one that
// loaded the file first.
class WorkerSlot {
public:
    explicit WorkerSlot(WorkerPool& pool) : pool_(pool) {}
    ~WorkerSlot()
    {
        for (int load = 0; load < 2; ++load) {
            pool_.give(32, std::move(workers_[load][0]));
            pool_.give(64, std::move(workers_[load][1]));
        }
    }
    WorkerSlot(const WorkerSlot&) = delete;
    WorkerSlot& operator=(const WorkerSlot&) = delete;

    // The worker for a file's first load (or its only one), or with secondLoad for its second.
    WorkerChannel& forBitness(int bitness, bool secondLoad = false)
    {
        std::unique_ptr<WorkerChannel>& worker = workers_[secondLoad ? 1 : 0][bitness == 32 ? 0 : 1];
        if (worker && !worker->kept())
            pool_.give(bitness, std::move(worker));
        if (!worker)
            worker = pool_.take(bitness);
        return *worker;
    }

private:
    WorkerPool& pool_;  // not owned
    std::unique_ptr<WorkerChannel> workers_[2][2];  // [first or second load][32 or 64 bits]
};

ProbeBatch::ProbeBatch(HWND window, UINT message, const BatchSettings& settings, std::shared_ptr<WorkerPool> pool)
    : window_(window), message_(message), settings_(settings), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      pool_(std::move(pool)), next_(0), active_(0)
{
    if (settings_.executable.empty())
        settings_.executable = ownExecutablePath();
}

ProbeBatch::~ProbeBatch()
{
    stop();
    if (stop_)
        CloseHandle(stop_);
}

void ProbeBatch::add(const std::vector<BatchFile>& files)
{
    std::lock_guard<std::mutex> hold(lock_);
    files_.insert(files_.end(), files.begin(), files.end());
    if (active_ == 0) {
        // Every earlier thread has left its loop: collect them before starting new ones.
        for (std::thread& thread : threads_)
            thread.join();
        threads_.clear();
    }
    const int wanted = batchWorkerCount(settings_);
    size_t waiting = files_.size() - next_;
    while (active_ < wanted && static_cast<size_t>(active_) < waiting) {
        ++active_;
        threads_.emplace_back(&ProbeBatch::serve, this);
    }
}

void ProbeBatch::stop()
{
    if (stop_)
        SetEvent(stop_);
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> hold(lock_);
        threads.swap(threads_);
    }
    for (std::thread& thread : threads)
        thread.join();
}

size_t ProbeBatch::queued()
{
    std::lock_guard<std::mutex> hold(lock_);
    return files_.size();
}

size_t ProbeBatch::started()
{
    std::lock_guard<std::mutex> hold(lock_);
    return next_;
}

std::wstring ProbeBatch::workerExecutable(int bitness, std::wstring* needed) const
{
    const wchar_t* packageName = bitness == 32 ? L"plugin-inspector-x86.exe" : L"plugin-inspector-x64.exe";
    if (needed)
        *needed = packageName;
    if (bitness == ownBitness())
        return settings_.executable;
    // Next to this executable: the other one of the release package, then the other build's
    // output (build\win32\ beside build\win64\).
    std::wstring folder = folderOf(settings_.executable);
    std::wstring candidates[] = {
        folder + packageName,
        folder + (bitness == 32 ? L"..\\win32\\plugin-inspector.exe" : L"..\\win64\\plugin-inspector.exe"),
    };
    for (const std::wstring& candidate : candidates) {
        if (fileExists(candidate))
            return candidate;
    }
    return std::wstring();
}

void ProbeBatch::serve()
{
    WorkerSlot slots(*pool_);
    for (;;) {
        size_t index = 0;
        BatchFile file;
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (next_ >= files_.size() || WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) {
                --active_;
                return;
            }
            index = next_++;
            file = files_[index];
        }
        probeOne(index, file, slots);
    }
}

void ProbeBatch::probeOne(size_t index, const BatchFile& file, WorkerSlot& slots)
{
    std::unique_ptr<BatchEvent> event(new BatchEvent);
    event->index = index;
    std::vector<std::string>& lines = event->lines;
    LineCollector collect(lines);
    // Measured once, now: the record keeps what this probe found, whatever becomes of the file.
    WORD machine = peMachine(file.path);
    event->bitness = machine == IMAGE_FILE_MACHINE_I386 ? 32 : machine == IMAGE_FILE_MACHINE_AMD64 ? 64 : 0;

    if (file.loadError != 0) {
        event->outcome = ProbeOutcome::NotProbed;
        event->code = static_cast<DWORD>(file.loadError);
        probeHeader(collect, file.shown.c_str());
        lines.push_back(formatLine("load error %lu", static_cast<unsigned long>(file.loadError)));
        lines.push_back(systemMessageLine(static_cast<DWORD>(file.loadError)));
        event->failure.assign(lines.begin() + 2, lines.end());
        post(event.release());
        return;
    }

    // A library of the other bitness goes to the other executable; anything that is not a
    // library of either goes to this bitness's, whose load reports what it is.
    int bitness = event->bitness != 0 ? event->bitness : ownBitness();
    std::wstring needed;
    std::wstring executable = workerExecutable(bitness, &needed);
    if (executable.empty()) {
        event->outcome = ProbeOutcome::NoExecutable;
        event->code = static_cast<DWORD>(bitness);
        probeHeader(collect, file.shown.c_str());
        lines.push_back(formatLine("load error %lu", ERROR_BAD_EXE_FORMAT));
        char name[ProbeTextSize] = "";
        WideCharToMultiByte(CP_ACP, 0, needed.c_str(), -1, name, sizeof name, nullptr, nullptr);
        char line[ProbeTextSize];
        formatBounded(line, sizeof line, "  %dビット版の %s が必要です", bitness, name);
        lines.push_back(line);
        event->failure.assign(lines.begin() + 2, lines.end());
        post(event.release());
        return;
    }

    // Every worker this batch uses and a spare run ahead of need from now on; for the other
    // bitness, one worker and a spare. Validation holds two workers per thread.
    int ownWorkers = batchWorkerCount(settings_) * (settings_.validate ? 2 : 1);
    pool_->keepReady(bitness, executable, bitness == ownBitness() ? ownWorkers + 1 : (settings_.validate ? 3 : 2));
    WorkerSession session = runSession(file, executable, slots.forBitness(bitness), settings_.validate);
    describeSession(file.shown, session, event.get());
    if (!settings_.validate) {
        post(event.release());
        return;
    }
    event->validated = true;
    // Loaded again in another worker, to see whether the answers stay the same: only a file
    // that loaded and gave its whole record the first time.
    if (event->outcome == ProbeOutcome::Probed && event->hasResult && event->result.loadError == 0 &&
        WaitForSingleObject(stop_, 0) != WAIT_OBJECT_0) {
        BatchEvent again;
        describeSession(file.shown, runSession(file, executable, slots.forBitness(bitness, true), true), &again);
        event->second = {true, again.outcome, again.code, again.hasResult, again.result, again.leftovers};
    }
    post(event.release());
}

SessionLimits ProbeBatch::limits() const
{
    SessionLimits limits;
    limits.quietMs = settings_.timeoutMs;
    limits.ceilingMs = settings_.ceilingMs;
    if (limits.ceilingMs == 0)
        limits.ceilingMs = static_cast<DWORD>(std::min<unsigned long long>(std::max(10ULL * settings_.timeoutMs, 60000ULL), 0x7FFFFFFF));
    return limits;
}

DWORD ProbeBatch::startLimitMs() const
{
    // Starting a worker runs no plug-in code, and a loaded machine may take seconds to start a
    // process: a short probe limit does not shorten the wait for it.
    return std::max<DWORD>(settings_.timeoutMs, WorkerStartMs);
}

WorkerSession ProbeBatch::notStarted(DWORD error) const
{
    WorkerSession session;
    session.end = WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0 ? SessionEnd::Stopped : SessionEnd::NotStarted;
    session.code = error;
    return session;
}

WorkerSession ProbeBatch::runSession(const BatchFile& file, const std::wstring& executable, WorkerChannel& worker,
                                     bool validate)
{
    WorkerSession session;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!worker.kept()) {
            DWORD error = worker.start(executable, pool_->job(), stop_, startLimitMs());
            if (error != 0)
                return notStarted(error);
        }
        session = worker.probe(file.path, file.dllName, file.shown, limits(), stop_, validate);
        if (session.taken)
            break;
    }
    return session;
}

void describeSession(const std::string& shown, const WorkerSession& session, BatchEvent* event)
{
    std::vector<std::string>& lines = event->lines;
    lines = session.lines;
    // A worker that ended before its file's first lines leaves the block without them.
    if (lines.size() < 2) {
        lines.clear();
        LineCollector collect(lines);
        probeHeader(collect, shown.c_str());
    }
    event->hasResult = session.hasRecord;
    event->result = session.record;
    event->leftovers = session.leftovers;
    event->code = session.code;
    event->failure.clear();

    std::string ending;
    switch (session.end) {
    case SessionEnd::Answered:
        event->outcome = ProbeOutcome::Probed;
        event->code = 0;
        // After its two first lines, the probe of a file that did not load lists nothing but
        // its load error and what explains it.
        if (session.hasRecord && session.record.loadError != 0)
            event->failure.assign(lines.begin() + 2, lines.end());
        return;
    case SessionEnd::Faulted:
        event->outcome = ProbeOutcome::Faulted;
        ending = formatLine("  例外が発生しました %08lx", session.code);
        break;
    case SessionEnd::Exited:
        event->outcome = ProbeOutcome::Exited;
        ending = formatLine("  プロセスが終了しました %08lx", session.code);
        break;
    case SessionEnd::Hung:
        event->outcome = ProbeOutcome::Hung;
        event->code = 0;
        ending = session.windowShown ? hungWithWindowLine(session.windowTitle) : "  応答がありません";
        break;
    case SessionEnd::Stopped:
        event->outcome = ProbeOutcome::Stopped;
        event->code = 0;
        ending = "  中止しました";
        break;
    case SessionEnd::ProtocolError:
        event->outcome = ProbeOutcome::ProtocolError;
        event->code = 0;
        ending = "  検査プロセスの応答が壊れています";
        break;
    case SessionEnd::NotStarted:
        event->outcome = ProbeOutcome::NotStarted;
        ending = formatLine("  検査プロセスを起動できません %lu", session.code);
        break;
    }
    lines.push_back(ending);
    event->failure.push_back(ending);
}

void ProbeBatch::post(BatchEvent* event)
{
    if (!PostMessageW(window_, message_, 0, reinterpret_cast<LPARAM>(event)))
        delete event;
}
