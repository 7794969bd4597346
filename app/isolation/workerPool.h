// WorkerPool: the idle workers of a window, kept from one batch to the next so that only the
// first batch pays for starting them, and the job that ends every worker (and whatever a
// plug-in started) with the window's process. A pool told to keep workers ready starts them
// in the background, before the first batch and again whenever one is taken, so that a batch
// finds its workers, and a spare for one that faulted, ended, hung or retired, already running.
// Thread-safe.
// Ownership: owns the idle workers, the workers being started, the thread that starts them and
// the job; a worker taken out belongs to the taker until it is given back.
#ifndef INSPECTOR_WORKER_POOL_H
#define INSPECTOR_WORKER_POOL_H

#include "rpHandle.h"
#include "workerChannel.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class WorkerPool {
public:
    WorkerPool();
    // Stops starting workers and ends every idle one; the job's end ends the others.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // An idle worker of the bitness that can take a request, or a new one that is not started.
    // The worker counts as the taker's until it is given back.
    std::unique_ptr<WorkerChannel> take(int bitness);
    // Keeps a worker that can take a request for later; any other is ended.
    void give(int bitness, std::unique_ptr<WorkerChannel> worker);
    // From now on keeps at least `alive` workers of the bitness running (idle, taken or being
    // started), starting the missing ones in the background from `executable`. A lower count
    // than an earlier one is ignored.
    void keepReady(int bitness, const std::wstring& executable, int alive);
    // How many idle workers of the bitness are kept (started and connected).
    int idle(int bitness);
    // The job that workers are put into; null when the system refused one.
    HANDLE job() const { return job_.get(); }

private:
    struct Kind {
        std::vector<std::unique_ptr<WorkerChannel>> idle;
        int taken = 0;     // taken out and not given back
        int starting = 0;  // being started by the background thread
        int wanted = 0;    // keepReady's count
        std::wstring executable;
        bool failed = false;  // the last background start failed: no more tries
    };
    Kind& kind(int bitness) { return bitness == 32 ? kind32_ : kind64_; }
    // The background thread: starts workers while a kind has fewer than it wants.
    void startMissing();
    // The kind with a worker missing, or null; called with lock_ held.
    Kind* missing(int* bitness);

    std::mutex lock_;  // guards the kinds and ending_
    std::condition_variable wake_;
    Kind kind32_;
    Kind kind64_;
    bool ending_ = false;
    rpHandle stop_;  // manual-reset event: set when the pool ends, stops a start under way
    rpHandle job_;
    std::thread starter_;  // started by the first keepReady
};

#endif
