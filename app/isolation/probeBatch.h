// ProbeBatch: probes a batch of files in worker processes, several at once, and reports each
// file's block to a window when the file is done. A worker that faults, ends or hangs is
// replaced for the next file; the window's process never loads a plug-in.
// Ownership: owns its threads, workers and the job that holds them. The window owns the
// BatchEvent of every message it receives.
#ifndef INSPECTOR_PROBE_BATCH_H
#define INSPECTOR_PROBE_BATCH_H

#include "workerChannel.h"
#include "workerPool.h"
#include "workerProtocol.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One file of a batch.
struct BatchFile {
    std::wstring path;    // the file's real name
    std::string dllName;  // the path in the ANSI code page, as best it can
    std::string shown;    // the file name shown in its block (the record's fn)
    int loadError = 0;    // non-zero: reported as the load's error without probing (a path
                          // that the record cannot hold)
};

// How a file's probe ended.
enum class ProbeOutcome {
    Probed,         // the probe ran to its end (result.loadError tells whether the load failed)
    Faulted,        // an exception the plug-in did not handle; code: the exception code
    Exited,         // the worker's process ended; code: its exit code
    Hung,           // no new line for the time limit, or the file's ceiling passed
    Stopped,        // the batch was stopped
    ProtocolError,  // the worker's answer was broken
    NotStarted,     // no worker could be started; code: the system error code
    NoExecutable,   // the executable of the file's bitness is missing; code: that bitness
    NotProbed,      // refused before any worker (a path too long); code: the load error shown
};

// How one more load of a validated file went, in another worker than its first load.
struct Reload {
    bool ran = false;                 // the file was loaded again
    ProbeOutcome outcome = ProbeOutcome::Probed;
    DWORD code = 0;                   // see ProbeOutcome
    bool hasResult = false;           // the worker's record of that load
    ProbeResult result;
    uint32_t leftovers = 0;           // WorkerLeftover bits of what it left behind
};

// A file's finished block, posted to the window (lParam of the batch's message).
struct BatchEvent {
    size_t index = 0;                 // the file's place in the batch
    int bitness = 0;                  // 32 or 64 as the file's header said when it was probed;
                                      // 0: no 32- or 64-bit Windows image
    std::vector<std::string> lines;   // the block, whole
    bool hasResult = false;           // the worker sent the file's record
    ProbeResult result;
    uint32_t leftovers = 0;           // WorkerLeftover bits of what the plug-in left behind
    ProbeOutcome outcome = ProbeOutcome::Probed;
    DWORD code = 0;                   // see ProbeOutcome
    // The block's lines that say why the file failed: its load error line and the lines that
    // explain it, or the line of how its probe ended; empty when it did not fail.
    std::vector<std::string> failure;
    // Validated (BatchSettings::validate): result.facts hold the checks of the first load, and
    // `second` the load that followed it when the first gave a whole record of a loaded file.
    bool validated = false;
    Reload second;
};

// How batches run; the defaults are the tool's, tests and options change them.
struct BatchSettings {
    DWORD timeoutMs = 10000;  // a probe that produces no new line this long is ended
    DWORD ceilingMs = 0;      // a probe that takes this long in all is ended; 0: ten times
                              // timeoutMs, at least 60 seconds
    int workers = 0;          // parallel workers; 0: one per processor
    // The executable that workers of this process's bitness run, and next to which the other
    // bitness's is looked for; empty: this process's own executable.
    std::wstring executable;
    // Probe with the checks: each file is loaded twice, in two different workers (kept from
    // file to file as ever: a worker that a plug-in spoiled is ended).
    bool validate = false;
};

class ProbeBatch {
public:
    // Events go to `window` as `message` with a BatchEvent* in lParam. Workers come from and
    // go back to `pool`, which the batch shares with the window.
    ProbeBatch(HWND window, UINT message, const BatchSettings& settings, std::shared_ptr<WorkerPool> pool);
    // Stops what still runs.
    ~ProbeBatch();
    ProbeBatch(const ProbeBatch&) = delete;
    ProbeBatch& operator=(const ProbeBatch&) = delete;

    // Queues files after those already queued and makes sure workers are at them.
    void add(const std::vector<BatchFile>& files);
    // Ends the running workers: each file being probed is reported with the stopped line; files
    // not started yet are dropped. Returns when every thread has ended.
    void stop();
    // Files queued so far, and of those the ones whose event was posted or will be (all of them
    // unless the batch was stopped).
    size_t queued();
    size_t started();

    // The executable for workers of the given bitness (32 or 64), or an empty text when it
    // cannot be found; `needed` gets the name a user should place next to the tool.
    std::wstring workerExecutable(int bitness, std::wstring* needed) const;

private:
    // One thread's loop: takes files until none is left or the batch stops.
    void serve();
    // Probes one file and posts its event.
    void probeOne(size_t index, const BatchFile& file, class WorkerSlot& slots);
    // The file's session with a worker of `executable`: a fresh one when the slot's worker
    // cannot take a request, and the file sent once more when a worker ended before it took it.
    // validate: the worker measures the checks around the plug-in's calls.
    WorkerSession runSession(const BatchFile& file, const std::wstring& executable, WorkerChannel& worker,
                             bool validate);
    // A file's time limits.
    SessionLimits limits() const;
    // How long a starting worker may take to connect.
    DWORD startLimitMs() const;
    // The session of a worker that could not be started: stopped, or not started with the code.
    WorkerSession notStarted(DWORD error) const;
    void post(BatchEvent* event);

    HWND window_;        // not owned
    UINT message_;
    BatchSettings settings_;
    HANDLE stop_;        // owned: manual-reset event, set by stop()
    std::shared_ptr<WorkerPool> pool_;  // shared with the window
    std::mutex lock_;    // guards files_, next_, active_, threads_
    std::vector<BatchFile> files_;
    size_t next_;        // the next file to take
    int active_;         // threads serving
    std::vector<std::thread> threads_;
};

// This process's bitness: 32 or 64.
int ownBitness();

// The workers a batch with these settings runs at once.
int batchWorkerCount(const BatchSettings& settings);
// Has the pool start, in the background, the workers of this process's bitness that a batch
// with these settings uses and one spare, so that the first batch finds them running.
void warmWorkers(WorkerPool& pool, const BatchSettings& settings);

// The block of a file shown as `shown` from its worker session, and how it ended: the session's
// lines (the file's two first lines when the worker ended before them), then, unless the worker
// answered, the line that says how the file ended. Fills lines, outcome, code, the record,
// leftovers and failure of *event.
void describeSession(const std::string& shown, const WorkerSession& session, BatchEvent* event);

// A file of a batch from its real name: the record's path and the name shown are the ANSI code
// page's rendering of it, as best it can. A path the record cannot hold is shown as given and
// reported as too long without probing.
BatchFile batchFileFor(const std::wstring& path);

// A folder of a batch's tree that could not be searched: its files are missing from the batch.
struct FolderError {
    std::wstring path;  // its full path
    std::string shown;  // as the summary names it: its path inside the batch's folder, or the
                        // batch's folder itself
    DWORD code = 0;     // the system code of the failed search
    size_t before = 0;  // the batch index of the first file after it, in path order
};

// A folder of a batch: its files are the batch's files first .. first + count - 1.
struct BatchFolder {
    std::string shown;  // the folder as its summary names it
    size_t first = 0;
    size_t count = 0;
    std::vector<FolderError> unreadable;  // in path order
};

// The batch files of paths, for a batch that holds `base` files already. Each path is a file,
// or with expandFolders a folder stands for every .dll file of its tree (scanFolder), each
// shown by its path inside the folder; such folders are added to *folders, with the folders
// of their trees that could not be searched.
void batchFilesFor(const std::vector<std::wstring>& paths, bool expandFolders, size_t base,
                   std::vector<BatchFile>* files, std::vector<BatchFolder>* folders);

#endif
