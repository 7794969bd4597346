// The window process's side of one probe worker.
#include "workerChannel.h"

#include "probeWorker.h"
#include "textCodec.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr DWORD ProcessEndWaitMs = 10000;  // the longest wait for an ended worker to be gone
constexpr DWORD ClosedPipeExitWaitMs = 2000;  // how long a closed pipe waits for the process's end
constexpr DWORD PollMs = 100;  // how often the block is looked at for new lines

// A pipe name that no other process can guess: 128 bits from the system's random source.
DWORD newPipeName(std::wstring* name)
{
    unsigned char random[16];
    NTSTATUS status = BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0)
        return ERROR_GEN_FAILURE;
    wchar_t text[64] = L"\\\\.\\pipe\\plugin-inspector-";
    size_t at = wcslen(text);
    for (unsigned char byte : random) {
        std::swprintf(text + at, 3, L"%02x", byte);
        at += 2;
    }
    *name = text;
    return 0;
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

// A visible top-level window of a process, found by EnumWindows.
struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findShownWindow(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

// Whether a top-level window of the process is visible; *title gets its title in the ANSI code
// page. The title is read without a message to the window, whose thread may not answer.
bool visibleWindowTitle(DWORD processId, std::string* title)
{
    WindowSearch search = {processId, nullptr};
    EnumWindows(findShownWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return false;
    wchar_t text[512] = L"";
    GetWindowTextW(search.found, text, 512);
    *title = fromWide(text);
    return true;
}

}  // namespace

WorkerChannel::WorkerChannel()
    : readEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), writeEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

WorkerChannel::~WorkerChannel()
{
    retire();
}

DWORD WorkerChannel::start(const std::wstring& executable, HANDLE job, HANDLE stop, DWORD timeoutMs)
{
    retire();
    DWORD error = create(executable, job);
    if (error == 0)
        error = connect(stop, timeoutMs);
    if (error != 0)
        retire();
    return error;
}

DWORD WorkerChannel::create(const std::wstring& executable, HANDLE job)
{
    if (!readEvent_ || !writeEvent_)
        return ERROR_NOT_ENOUGH_MEMORY;
    std::wstring name;
    DWORD error = newPipeName(&name);
    if (error != 0)
        return error;
    mapping_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SharedLines),
                                      sharedLinesName(name).c_str()));
    if (!mapping_)
        return GetLastError();
    // A block of that name made by someone else is not the worker's.
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return ERROR_ALREADY_EXISTS;
    shared_ = static_cast<SharedLines*>(MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(SharedLines)));
    if (!shared_)
        return GetLastError();
    pipe_.reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 65536, 65536, 0,
                                 nullptr));
    if (!pipe_)
        return GetLastError();
    return launch(executable, name, job);
}

DWORD WorkerChannel::launch(const std::wstring& executable, const std::wstring& pipeName, HANDLE job)
{
    // The worker's standard handles lead nowhere, and they are all it inherits: it opens the
    // pipe and the block by their names, and a plug-in's output reaches no one.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    rpHandle nowhere(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                 OPEN_EXISTING, 0, nullptr));
    if (!nowhere)
        return GetLastError();
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> storage(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size))
        return GetLastError();
    HANDLE inherited = nowhere.get();
    DWORD error = 0;
    if (!UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited, sizeof inherited, nullptr, nullptr))
        error = GetLastError();

    std::wstring commandLine = L"\"" + executable + L"\" " + ProbeWorkerSwitch + L" " + pipeName;
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK | STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = startup.StartupInfo.hStdOutput = startup.StartupInfo.hStdError = nowhere.get();
    startup.lpAttributeList = attributes;
    PROCESS_INFORMATION info = {};
    if (error == 0 && !CreateProcessW(executable.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                      CREATE_SUSPENDED | CREATE_DEFAULT_ERROR_MODE | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                      nullptr, &startup.StartupInfo, &info))
        error = GetLastError();
    DeleteProcThreadAttributeList(attributes);
    if (error != 0)
        return error;
    process_.reset(info.hProcess);
    processId_ = info.dwProcessId;
    rpHandle thread(info.hThread);
    // In the job before it runs: the worker, and whatever a plug-in starts, ends with this
    // process even when this process is ended. A worker outside it, or one that stays
    // suspended, is not started at all.
    if (job && !AssignProcessToJobObject(job, process_.get()))
        return GetLastError();
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1))
        return GetLastError();
    return 0;
}

DWORD WorkerChannel::connect(HANDLE stop, DWORD timeoutMs)
{
    const DWORD started = GetTickCount();
    for (;;) {
        OVERLAPPED connection = {};
        connection.hEvent = readEvent_.get();
        ResetEvent(readEvent_.get());
        if (!ConnectNamedPipe(pipe_.get(), &connection)) {
            DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                DWORD spent = GetTickCount() - started;
                Signal signal = waitFor(readEvent_.get(), process_.get(), stop, spent >= timeoutMs ? 0 : timeoutMs - spent);
                DWORD ignored = 0;
                if (signal != Signal::Done) {
                    CancelIo(pipe_.get());
                    GetOverlappedResult(pipe_.get(), &connection, &ignored, TRUE);
                    return signal == Signal::ProcessEnded ? ERROR_PROCESS_ABORTED
                           : signal == Signal::Stopped    ? ERROR_CANCELLED
                                                          : WAIT_TIMEOUT;
                }
                error = GetOverlappedResult(pipe_.get(), &connection, &ignored, FALSE) ? 0 : GetLastError();
            } else if (error == ERROR_PIPE_CONNECTED) {
                error = 0;
            }
            if (error != 0)
                return error;
        }
        // Only the worker may speak on its pipe: another client is refused, and the wait goes on.
        ULONG client = 0;
        if (GetNamedPipeClientProcessId(pipe_.get(), &client) && client == processId_) {
            pipeOpen_ = true;
            return 0;
        }
        DisconnectNamedPipe(pipe_.get());
    }
}

bool WorkerChannel::ready()
{
    if (!process_ || !pipeOpen_ || !received_.empty())
        return false;
    // A read waits on the pipe from one answer to the next request: it completes when the worker
    // writes anything or its pipe closes, and the process's handle is signalled when it ends,
    // so one look at both tells whether the worker is as its last answer left it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!startRead())
            return false;
        HANDLE handles[2] = {readEvent_.get(), process_.get()};
        DWORD signal = WaitForMultipleObjects(2, handles, FALSE, 0);
        if (signal == WAIT_TIMEOUT)
            return true;
        if (signal != WAIT_OBJECT_0 || !finishRead() || !received_.empty())
            return false;
        // The read ended without data and the pipe is open: the system cancelled it when the
        // thread that started it ended. Another read takes its place.
    }
    return false;
}

void WorkerChannel::retire()
{
    cancelRead();
    if (process_) {
        TerminateProcess(process_.get(), ERROR_CANCELLED);
        WaitForSingleObject(process_.get(), ProcessEndWaitMs);
    }
    process_.reset();
    processId_ = 0;
    pipe_.reset();
    pipeOpen_ = false;
    if (shared_)
        UnmapViewOfFile(shared_);
    shared_ = nullptr;
    mapping_.reset();
    received_.clear();
}

WorkerSession WorkerChannel::probe(const std::wstring& path, const std::string& dllName, const std::string& shown,
                                   const SessionLimits& limits, HANDLE stop, bool validate)
{
    WorkerSession session;
    if (!shared_ || !pipeOpen_) {
        session.end = SessionEnd::NotStarted;
        session.code = ERROR_INVALID_HANDLE;
        return session;
    }
    ProbeRequest request;
    request.sequence = ++sequence_;
    request.path = path;
    request.dllName = dllName;
    request.shown = shown;
    request.validate = validate;
    validating_ = validate;
    InterlockedExchange(&shared_->committed, 0);
    InterlockedExchange(&shared_->recordSize, 0);
    if (send(encodeRequest(request)))
        follow(request.sequence, limits, stop, &session);
    else
        takeClosedPipe(&session);
    finish(request.sequence, &session);
    return session;
}

void WorkerChannel::follow(uint32_t sequence, const SessionLimits& limits, HANDLE stop, WorkerSession* session)
{
    const DWORD started = GetTickCount();
    DWORD lastLife = started;
    std::vector<std::string> lines;
    size_t lineCount = 0;
    for (;;) {
        DWORD now = GetTickCount();
        DWORD quiet = now - lastLife, spent = now - started;
        if (quiet >= limits.quietMs || spent >= limits.ceilingMs) {
            session->end = SessionEnd::Hung;
            session->windowShown = visibleWindowTitle(processId_, &session->windowTitle);
            return;
        }
        WorkerMessage kind;
        std::string payload;
        switch (next(stop, std::min({PollMs, limits.quietMs - quiet, limits.ceilingMs - spent}), &kind, &payload)) {
        case Wait::Message:
            takeReply(kind, payload, sequence, session);
            return;
        case Wait::Broken:
            session->end = SessionEnd::ProtocolError;
            return;
        case Wait::Closed:
            takeClosedPipe(session);
            return;
        case Wait::Stopped:
            session->end = SessionEnd::Stopped;
            return;
        case Wait::TimedOut:
            // Only a new whole line is a sign of life.
            sharedLines(shared_, &lines);
            if (lines.size() > lineCount) {
                lineCount = lines.size();
                lastLife = GetTickCount();
            }
            break;
        }
    }
}

void WorkerChannel::finish(uint32_t sequence, WorkerSession* session)
{
    // An end before the worker took the request is no doing of this file.
    if (session->end != SessionEnd::Answered && session->end != SessionEnd::Stopped)
        session->taken = session->taken && requestTaken(sequence);
    bool wholeBlock = sharedLines(shared_, &session->lines);
    if (session->end == SessionEnd::Answered && !wholeBlock)
        session->end = SessionEnd::ProtocolError;
    // A worker that ended, hung or broke sent no record it could be trusted for: take the one
    // it left at its last line, if it answers this request.
    if (session->end != SessionEnd::Answered && session->end != SessionEnd::Faulted)
        session->hasRecord = sharedRecord(shared_, sequence, &session->record) && factsAsAsked(session->record);
    // A worker that is kept gets its next read at once (see ready()).
    if (session->end == SessionEnd::Answered && session->leftovers == 0)
        startRead();
    else
        retire();
}

void WorkerChannel::takeReply(WorkerMessage kind, const std::string& payload, uint32_t sequence, WorkerSession* session)
{
    WorkerReply reply;
    if (!decodeReply(kind, payload, &reply) || !factsAsAsked(reply.record)) {
        session->end = SessionEnd::ProtocolError;
        return;
    }
    if (reply.sequence != sequence) {
        // A reply to an earlier request, after that request's answer: the worker broke after
        // that file, and this one is no cause of it. A reply to a request never made is broken.
        session->end = SessionEnd::ProtocolError;
        if (reply.sequence < sequence)
            session->taken = false;
        return;
    }
    session->hasRecord = true;
    session->record = reply.record;
    if (kind == WorkerMessage::Record) {
        session->end = SessionEnd::Answered;
        session->leftovers = reply.detail;
    } else {
        session->end = SessionEnd::Faulted;
        session->code = reply.detail;
    }
}

void WorkerChannel::takeClosedPipe(WorkerSession* session)
{
    // The pipe closes as the process ends; a process that lives on has broken it.
    if (process_ && WaitForSingleObject(process_.get(), ClosedPipeExitWaitMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        session->end = SessionEnd::Exited;
        session->code = code;
    } else {
        session->end = SessionEnd::ProtocolError;
    }
}

bool WorkerChannel::requestTaken(uint32_t sequence) const
{
    return shared_ && static_cast<uint32_t>(InterlockedCompareExchange(&shared_->taken, 0, 0)) == sequence;
}

bool WorkerChannel::send(const std::string& message)
{
    if (!pipeOpen_)
        return false;
    // The pipe's buffer takes a request at once; the wait only guards a worker that stopped
    // reading.
    // WriteFile resets the event as it starts.
    OVERLAPPED write = {};
    write.hEvent = writeEvent_.get();
    DWORD written = 0;
    bool ok = WriteFile(pipe_.get(), message.data(), static_cast<DWORD>(message.size()), &written, &write) != 0;
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(writeEvent_.get(), 5000) == WAIT_OBJECT_0) {
            ok = GetOverlappedResult(pipe_.get(), &write, &written, FALSE) != 0;
        } else {
            CancelIo(pipe_.get());
            GetOverlappedResult(pipe_.get(), &write, &written, TRUE);
            ok = false;
        }
    } else if (ok) {
        GetOverlappedResult(pipe_.get(), &write, &written, TRUE);
    }
    return ok && written == message.size();
}

bool WorkerChannel::startRead()
{
    if (readPending_)
        return true;
    if (!pipeOpen_)
        return false;
    // ReadFile resets the event as it starts.
    read_ = OVERLAPPED();
    read_.hEvent = readEvent_.get();
    DWORD got = 0;
    if (ReadFile(pipe_.get(), chunk_, sizeof chunk_, &got, &read_) || GetLastError() == ERROR_IO_PENDING) {
        // Completed at once or pending: either way the event is set when it is done, and the
        // result is taken by finishRead.
        readPending_ = true;
        return true;
    }
    pipeOpen_ = false;
    return false;
}

bool WorkerChannel::finishRead()
{
    DWORD got = 0;
    bool ok = GetOverlappedResult(pipe_.get(), &read_, &got, FALSE) != 0;
    readPending_ = false;
    // A read is cancelled when the thread that started it ends (a kept worker's read outlives
    // the batch thread that started it): the pipe is as it was.
    if (!ok && GetLastError() == ERROR_OPERATION_ABORTED)
        return true;
    if (!ok || got == 0) {
        pipeOpen_ = false;
        return false;
    }
    received_.append(chunk_, got);
    return true;
}

void WorkerChannel::cancelRead()
{
    if (!readPending_)
        return;
    // The read may have been started by another thread (a worker kept between batches), which
    // CancelIo would not reach.
    CancelIoEx(pipe_.get(), &read_);
    DWORD got = 0;
    if (GetOverlappedResult(pipe_.get(), &read_, &got, TRUE) && got > 0)
        received_.append(chunk_, got);
    readPending_ = false;
}

WorkerChannel::Wait WorkerChannel::next(HANDLE stop, DWORD timeoutMs, WorkerMessage* kind, std::string* payload)
{
    for (;;) {
        bool broken = false;
        if (takeMessage(received_, kind, payload, &broken))
            return Wait::Message;
        if (broken)
            return Wait::Broken;
        if (!startRead())
            return Wait::Closed;
        Signal signal = waitFor(readEvent_.get(), process_.get(), stop, timeoutMs);
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
        while (readPending_ && WaitForSingleObject(readEvent_.get(), 200) == WAIT_OBJECT_0 && finishRead())
            startRead();
        cancelRead();
        if (takeMessage(received_, kind, payload, &broken))
            return Wait::Message;
        if (broken)
            return Wait::Broken;
        pipeOpen_ = false;
        return Wait::Closed;
    }
}
