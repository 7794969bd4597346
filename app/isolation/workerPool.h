// WorkerPool: the idle workers of a window, kept from one batch to the next so that only the
// first batch pays for starting them, and the job that ends every worker (and whatever a
// plug-in started) with the window's process. Thread-safe.
// Ownership: owns the idle workers and the job; a worker taken out belongs to the taker until
// it is given back.
#ifndef INSPECTOR_WORKER_POOL_H
#define INSPECTOR_WORKER_POOL_H

#include "rpHandle.h"
#include "workerChannel.h"

#include <memory>
#include <mutex>
#include <vector>

class WorkerPool {
public:
    WorkerPool();
    // Ends every idle worker; the job's end ends the others.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // An idle worker of the bitness that can take a request, or a new one that is not started.
    std::unique_ptr<WorkerChannel> take(int bitness);
    // Keeps a worker that can take a request for later; any other is ended.
    void give(int bitness, std::unique_ptr<WorkerChannel> worker);
    // The job that workers are put into; null when the system refused one.
    HANDLE job() const { return job_.get(); }

private:
    std::mutex lock_;
    std::vector<std::unique_ptr<WorkerChannel>> idle32_;
    std::vector<std::unique_ptr<WorkerChannel>> idle64_;
    rpHandle job_;
};

#endif
