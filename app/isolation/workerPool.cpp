// The window's idle workers and their job.
#include "workerPool.h"

WorkerPool::WorkerPool() : job_(CreateJobObjectW(nullptr, nullptr))
{
    if (job_) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
            job_.reset();
    }
}

WorkerPool::~WorkerPool()
{
    idle32_.clear();
    idle64_.clear();
}

std::unique_ptr<WorkerChannel> WorkerPool::take(int bitness)
{
    std::lock_guard<std::mutex> hold(lock_);
    auto& idle = bitness == 32 ? idle32_ : idle64_;
    while (!idle.empty()) {
        std::unique_ptr<WorkerChannel> worker = std::move(idle.back());
        idle.pop_back();
        if (worker->ready())
            return worker;
    }
    return std::unique_ptr<WorkerChannel>(new WorkerChannel);
}

void WorkerPool::give(int bitness, std::unique_ptr<WorkerChannel> worker)
{
    if (!worker || !worker->ready())
        return;
    std::lock_guard<std::mutex> hold(lock_);
    (bitness == 32 ? idle32_ : idle64_).push_back(std::move(worker));
}
