// WorkerProcess: one probe worker as the window process sees it: the child process of the
// inspector's executable, the overlapped pipe to it and the block of lines it shares. Used by
// one thread at a time.
// Ownership: owns the process handle, the pipe and the shared block; a worker still running at
// destruction is ended.
#ifndef INSPECTOR_WORKER_PROCESS_H
#define INSPECTOR_WORKER_PROCESS_H

#include "workerProtocol.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class WorkerProcess {
public:
    WorkerProcess();
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    // Starts `executable` as a worker and waits (up to timeoutMs, or until stop is set) until it
    // has connected. Returns 0, the system error code of the failed start, or WAIT_TIMEOUT.
    // Workers are put into `job` when it is not null.
    DWORD start(const std::wstring& executable, HANDLE job, HANDLE stop, DWORD timeoutMs);
    // Whether a started worker is still running.
    bool running() const;

    enum class Wait { Message, Ended, TimedOut, Stopped };
    // The next message from the worker, waiting up to timeoutMs. Ended: the worker's process is
    // gone and every message it sent has been taken (or the pipe broke). Stopped: stop was set.
    Wait next(HANDLE stop, DWORD timeoutMs, WorkerMessage* kind, std::string* payload);
    // Sends a whole message; false when the worker cannot take it.
    bool send(const std::string& message);
    // The worker's exit code once it has ended (STILL_ACTIVE while it runs).
    DWORD exitCode() const;
    // Ends the worker at once and waits for its end.
    void terminate();

    // The lines of the current file: emptied before a request, read when the file is over.
    void clearLines();
    std::vector<std::string> lines() const;
    // Grows with every line the worker adds: a sign of life while a file is probed.
    LONG lineProgress() const;
    // The record of the current file as the worker left it at its last line (for a worker that
    // ended or was ended before it sent the record); false when there is none.
    bool lastRecord(ProbeResult* result) const;

private:
    // Starts one overlapped read unless one is pending; false when the pipe is closed.
    bool startRead();
    // Takes the result of the pending read once its event is set; false when the pipe closed.
    bool finishRead();
    void close();

    HANDLE process_;      // owned; null before start
    HANDLE mapping_;      // owned: the shared block of lines
    SharedLines* shared_; // owned view of mapping_
    HANDLE pipe_;         // owned: the window's end of the pipe
    HANDLE readEvent_;    // owned: the overlapped read's event
    OVERLAPPED read_;
    bool readPending_;
    bool pipeOpen_;
    char chunk_[8192];    // target of the pending read
    std::string received_;  // bytes read and not yet taken as messages
};

// WorkerPool: the idle workers of a window, kept from one batch to the next so that only the
// first batch pays for starting them, and the job that ends every worker (and whatever a
// plug-in started) with the window's process. Thread-safe.
// Ownership: owns the idle workers and the job; a worker taken out belongs to the taker until
// it is given back.
class WorkerPool {
public:
    WorkerPool();
    // Ends every idle worker; the job's end ends the others.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // An idle running worker of the bitness, or a new one that is not started yet.
    std::unique_ptr<WorkerProcess> take(int bitness);
    // Keeps a worker that still runs for later; one that has ended is dropped.
    void give(int bitness, std::unique_ptr<WorkerProcess> worker);
    // The job that workers are put into; null when the system refused one.
    HANDLE job() const { return job_; }

private:
    std::mutex lock_;
    std::vector<std::unique_ptr<WorkerProcess>> idle32_;
    std::vector<std::unique_ptr<WorkerProcess>> idle64_;
    HANDLE job_;  // owned
};

#endif
