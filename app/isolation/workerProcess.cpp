// The window process's side of one probe worker.
#include "workerProcess.h"

#include "probeWorker.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

// A pipe name no other process guesses: this process, a counter and the clock.
std::wstring newPipeName()
{
    static std::atomic<unsigned> counter{0};
    wchar_t name[128];
    std::swprintf(name, 128, L"\\\\.\\pipe\\plugin-inspector-%lu-%u-%llu", static_cast<unsigned long>(GetCurrentProcessId()),
                  counter.fetch_add(1), static_cast<unsigned long long>(GetTickCount64()));
    return name;
}

// Waits for the overlapped operation, the worker's end, stop, or the time limit.
enum class Signal { Done, ProcessEnded, Stopped, TimedOut };
Signal waitFor(HANDLE operation, HANDLE process, HANDLE stop, DWORD timeoutMs)
{
    HANDLE handles[3] = {operation, process, stop};
    DWORD count = stop ? 3 : 2;
    switch (WaitForMultipleObjects(count, handles, FALSE, timeoutMs)) {
    case WAIT_OBJECT_0:
        return Signal::Done;
    case WAIT_OBJECT_0 + 1:
        return Signal::ProcessEnded;
    case WAIT_OBJECT_0 + 2:
        return Signal::Stopped;
    default:
        return Signal::TimedOut;
    }
}

}  // namespace

WorkerProcess::WorkerProcess()
    : process_(nullptr), mapping_(nullptr), shared_(nullptr), pipe_(INVALID_HANDLE_VALUE), readEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      read_(), readPending_(false), pipeOpen_(false), chunk_()
{
}

WorkerProcess::~WorkerProcess()
{
    if (running())
        terminate();
    close();
    if (readEvent_)
        CloseHandle(readEvent_);
    if (shared_)
        UnmapViewOfFile(shared_);
    if (mapping_)
        CloseHandle(mapping_);
}

DWORD WorkerProcess::start(const std::wstring& executable, HANDLE job, HANDLE stop, DWORD timeoutMs)
{
    close();
    if (!readEvent_)
        return GetLastError();
    std::wstring name = newPipeName();
    if (shared_)
        UnmapViewOfFile(shared_);
    if (mapping_)
        CloseHandle(mapping_);
    shared_ = nullptr;
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SharedLines),
                                  sharedLinesName(name).c_str());
    if (!mapping_)
        return GetLastError();
    shared_ = static_cast<SharedLines*>(MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(SharedLines)));
    if (!shared_)
        return GetLastError();
    pipe_ = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536, 65536, 0,
                             nullptr);
    if (pipe_ == INVALID_HANDLE_VALUE)
        return GetLastError();

    // The worker inherits nothing: it opens the pipe by its name, and it has no standard
    // handles, so a plug-in's output cannot reach the window or anyone else.
    std::wstring commandLine = L"\"" + executable + L"\" " + ProbeWorkerSwitch + L" " + name;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(executable.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup, &info))
        return GetLastError();
    // In the job before it runs: the worker, and whatever a plug-in starts, ends with this
    // process even when this process is ended.
    if (job)
        AssignProcessToJobObject(job, info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;

    // Wait for the worker to connect.
    OVERLAPPED connect = {};
    connect.hEvent = readEvent_;
    ResetEvent(readEvent_);
    if (!ConnectNamedPipe(pipe_, &connect)) {
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            Signal signal = waitFor(readEvent_, process_, stop, timeoutMs);
            if (signal != Signal::Done) {
                CancelIo(pipe_);
                DWORD ignored;
                GetOverlappedResult(pipe_, &connect, &ignored, TRUE);
                terminate();
                return signal == Signal::ProcessEnded ? ERROR_PROCESS_ABORTED : signal == Signal::Stopped ? ERROR_CANCELLED : WAIT_TIMEOUT;
            }
            DWORD ignored;
            if (!GetOverlappedResult(pipe_, &connect, &ignored, FALSE)) {
                error = GetLastError();
                terminate();
                return error;
            }
        } else if (error != ERROR_PIPE_CONNECTED) {
            terminate();
            return error;
        }
    }
    pipeOpen_ = true;
    return 0;
}

bool WorkerProcess::running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool WorkerProcess::startRead()
{
    if (readPending_)
        return true;
    if (!pipeOpen_)
        return false;
    read_ = OVERLAPPED();
    read_.hEvent = readEvent_;
    ResetEvent(readEvent_);
    DWORD got = 0;
    if (ReadFile(pipe_, chunk_, sizeof chunk_, &got, &read_)) {
        // Completed at once; the event is set too, so the result is taken by finishRead.
        readPending_ = true;
        return true;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
        readPending_ = true;
        return true;
    }
    pipeOpen_ = false;
    return false;
}

bool WorkerProcess::finishRead()
{
    DWORD got = 0;
    bool ok = GetOverlappedResult(pipe_, &read_, &got, FALSE) != 0;
    readPending_ = false;
    if (!ok || got == 0) {
        pipeOpen_ = false;
        return false;
    }
    received_.append(chunk_, got);
    return true;
}

WorkerProcess::Wait WorkerProcess::next(HANDLE stop, DWORD timeoutMs, WorkerMessage* kind, std::string* payload)
{
    DWORD started = GetTickCount();
    for (;;) {
        bool broken = false;
        if (takeMessage(received_, kind, payload, &broken))
            return Wait::Message;
        if (broken || !process_)
            return Wait::Ended;
        if (!startRead()) {
            // The pipe is closed: what the worker sent has been taken.
            WaitForSingleObject(process_, 2000);
            return Wait::Ended;
        }
        DWORD spent = GetTickCount() - started;
        Signal signal = waitFor(readEvent_, process_, stop, spent >= timeoutMs ? 0 : timeoutMs - spent);
        if (signal == Signal::Done) {
            finishRead();
            continue;
        }
        if (signal == Signal::Stopped)
            return Wait::Stopped;
        if (signal == Signal::TimedOut)
            return Wait::TimedOut;
        // The process ended. Its last messages may still be in the pipe; a process it started
        // may hold the pipe open, so take only what arrives promptly.
        while (readPending_ && WaitForSingleObject(readEvent_, 200) == WAIT_OBJECT_0 && finishRead())
            startRead();
        if (takeMessage(received_, kind, payload, &broken))
            return Wait::Message;
        if (readPending_) {
            CancelIo(pipe_);
            DWORD ignored;
            GetOverlappedResult(pipe_, &read_, &ignored, TRUE);
            readPending_ = false;
        }
        pipeOpen_ = false;
        return Wait::Ended;
    }
}

bool WorkerProcess::send(const std::string& message)
{
    if (!pipeOpen_)
        return false;
    // The pipe's buffer takes a request at once; the wait only guards a worker that stopped
    // reading.
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!done)
        return false;
    OVERLAPPED write = {};
    write.hEvent = done;
    DWORD written = 0;
    bool ok = WriteFile(pipe_, message.data(), static_cast<DWORD>(message.size()), &written, &write) != 0;
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(done, 5000) == WAIT_OBJECT_0) {
            ok = GetOverlappedResult(pipe_, &write, &written, FALSE) != 0;
        } else {
            CancelIo(pipe_);
            GetOverlappedResult(pipe_, &write, &written, TRUE);
            ok = false;
        }
    } else if (ok) {
        GetOverlappedResult(pipe_, &write, &written, TRUE);
    }
    CloseHandle(done);
    return ok && written == message.size();
}

DWORD WorkerProcess::exitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_, &code);
    return code;
}

void WorkerProcess::terminate()
{
    if (process_) {
        TerminateProcess(process_, ERROR_CANCELLED);
        WaitForSingleObject(process_, 5000);
    }
}

void WorkerProcess::close()
{
    if (readPending_) {
        CancelIo(pipe_);
        DWORD ignored;
        GetOverlappedResult(pipe_, &read_, &ignored, TRUE);
        readPending_ = false;
    }
    if (pipe_ != INVALID_HANDLE_VALUE) {
        CloseHandle(pipe_);
        pipe_ = INVALID_HANDLE_VALUE;
    }
    pipeOpen_ = false;
    if (process_) {
        CloseHandle(process_);
        process_ = nullptr;
    }
    received_.clear();
}

void WorkerProcess::clearLines()
{
    if (shared_) {
        InterlockedExchange(&shared_->committed, 0);
        InterlockedExchange(&shared_->recordSize, 0);
    }
}

bool WorkerProcess::lastRecord(ProbeResult* result) const
{
    return shared_ && sharedRecord(shared_, result);
}

std::vector<std::string> WorkerProcess::lines() const
{
    return shared_ ? sharedLines(shared_) : std::vector<std::string>();
}

LONG WorkerProcess::lineProgress() const
{
    return shared_ ? sharedCommitted(shared_) : 0;
}

WorkerPool::WorkerPool() : job_(CreateJobObjectW(nullptr, nullptr))
{
    if (job_) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(job_);
            job_ = nullptr;
        }
    }
}

WorkerPool::~WorkerPool()
{
    idle32_.clear();
    idle64_.clear();
    if (job_)
        CloseHandle(job_);
}

std::unique_ptr<WorkerProcess> WorkerPool::take(int bitness)
{
    std::lock_guard<std::mutex> hold(lock_);
    auto& idle = bitness == 32 ? idle32_ : idle64_;
    while (!idle.empty()) {
        std::unique_ptr<WorkerProcess> worker = std::move(idle.back());
        idle.pop_back();
        if (worker->running())
            return worker;
    }
    return std::unique_ptr<WorkerProcess>(new WorkerProcess);
}

void WorkerPool::give(int bitness, std::unique_ptr<WorkerProcess> worker)
{
    if (!worker || !worker->running())
        return;
    std::lock_guard<std::mutex> hold(lock_);
    (bitness == 32 ? idle32_ : idle64_).push_back(std::move(worker));
}
