// The window's idle workers, the ones started ahead of need, and their job.
#include "workerPool.h"

#include <algorithm>

namespace {

constexpr DWORD BackgroundStartMs = 30000;  // the time a worker started ahead gets to connect

}  // namespace

WorkerPool::WorkerPool() : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), job_(CreateJobObjectW(nullptr, nullptr))
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
    {
        std::lock_guard<std::mutex> hold(lock_);
        ending_ = true;
    }
    if (stop_)
        SetEvent(stop_.get());
    wake_.notify_all();
    if (starter_.joinable())
        starter_.join();
    kind32_.idle.clear();
    kind64_.idle.clear();
}

std::unique_ptr<WorkerChannel> WorkerPool::take(int bitness)
{
    std::unique_ptr<WorkerChannel> found;
    std::vector<std::unique_ptr<WorkerChannel>> ended;
    {
        std::lock_guard<std::mutex> hold(lock_);
        Kind& workers = kind(bitness);
        while (!workers.idle.empty() && !found) {
            std::unique_ptr<WorkerChannel> worker = std::move(workers.idle.back());
            workers.idle.pop_back();
            if (worker->ready())
                found = std::move(worker);
            else
                ended.push_back(std::move(worker));
        }
        ++workers.taken;
    }
    // A worker taken still counts; one that ended idle is replaced in the background. The
    // starting thread is woken only then: a wake for every file would cost each file a switch.
    if (!ended.empty())
        wake_.notify_all();
    return found ? std::move(found) : std::unique_ptr<WorkerChannel>(new WorkerChannel);
}

void WorkerPool::give(int bitness, std::unique_ptr<WorkerChannel> worker)
{
    bool lost = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        Kind& workers = kind(bitness);
        if (workers.taken > 0)
            --workers.taken;
        if (worker && worker->ready())
            workers.idle.push_back(std::move(worker));
        else
            lost = workers.wanted > 0;
    }
    // One that ended is replaced.
    if (lost)
        wake_.notify_all();
    // A worker not kept ends here, outside the lock.
}

int WorkerPool::idle(int bitness)
{
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<int>(kind(bitness).idle.size());
}

void WorkerPool::keepReady(int bitness, const std::wstring& executable, int alive)
{
    if (executable.empty() || !stop_)
        return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        Kind& workers = kind(bitness);
        // A batch asks again with every file: only a change wakes the starting thread.
        if (workers.executable == executable && workers.wanted >= alive && !workers.failed)
            return;
        workers.executable = executable;
        workers.wanted = std::max(workers.wanted, alive);
        workers.failed = false;
        if (!starter_.joinable())
            starter_ = std::thread(&WorkerPool::startMissing, this);
    }
    wake_.notify_all();
}

WorkerPool::Kind* WorkerPool::missing(int* bitness)
{
    for (int bits : {64, 32}) {
        Kind& workers = kind(bits);
        const int alive = static_cast<int>(workers.idle.size()) + workers.taken + workers.starting;
        if (!workers.failed && alive < workers.wanted) {
            *bitness = bits;
            return &workers;
        }
    }
    return nullptr;
}

void WorkerPool::startMissing()
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        int bitness = 0;
        Kind* workers = nullptr;
        wake_.wait(hold, [&] { return ending_ || (workers = missing(&bitness)) != nullptr; });
        if (ending_)
            return;
        ++workers->starting;
        const std::wstring executable = workers->executable;
        hold.unlock();
        // Started outside the lock: a batch takes and gives workers meanwhile.
        std::unique_ptr<WorkerChannel> worker(new WorkerChannel);
        const bool started = worker->start(executable, job_.get(), stop_.get(), BackgroundStartMs) == 0 && worker->ready();
        hold.lock();
        --workers->starting;
        if (started)
            workers->idle.push_back(std::move(worker));
        else
            workers->failed = true;  // a batch that needs one starts it and reports why it failed
        if (ending_) {
            // Ended outside the lock, by the destructor's clear or here.
            hold.unlock();
            worker.reset();
            return;
        }
    }
}
