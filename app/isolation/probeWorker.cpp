// The worker side of the isolated probe.
#include "probeWorker.h"

#include "probe.h"
#include "rpStrings.h"
#include "workerProtocol.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

HANDLE windowPipe = INVALID_HANDLE_VALUE;  // owned: the connection to the window

// Writes the whole buffer to the window; false when the window has gone.
bool sendBytes(const char* data, size_t size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(windowPipe, data, static_cast<DWORD>(size), &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// Message encoding into a fixed buffer, without the heap: the fault path runs when the heap may
// be what the plug-in broke.
template <size_t Capacity>
class FixedMessage {
public:
    explicit FixedMessage(WorkerMessage kind) { reset(kind); }
    void reset(WorkerMessage kind)
    {
        buffer_[0] = static_cast<char>(kind);
        size_ = 5;
        overflow_ = false;
    }
    void putInt(uint32_t value)
    {
        if (size_ + 4 > sizeof buffer_) {
            overflow_ = true;
            return;
        }
        for (int i = 0; i < 4; ++i)
            buffer_[size_++] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    void putBytes(const char* text, size_t length)
    {
        if (size_ + length > sizeof buffer_) {
            overflow_ = true;
            return;
        }
        std::memcpy(buffer_ + size_, text, length);
        size_ += length;
    }
    void putText(const char* text)
    {
        size_t length = strnlen(text, ProbeTextSize + MenuPoolSize);
        putInt(static_cast<uint32_t>(length));
        putBytes(text, length);
    }
    bool send()
    {
        return !overflow_ && finish() && sendBytes(buffer_, size_);
    }
    // Copies the whole message into dst; its size, or 0 when it does not fit.
    LONG copyTo(char* dst, size_t room)
    {
        if (overflow_ || !finish() || size_ > room)
            return 0;
        std::memcpy(dst, buffer_, size_);
        return static_cast<LONG>(size_);
    }

private:
    // Writes the payload's length into the header.
    bool finish()
    {
        uint32_t length = static_cast<uint32_t>(size_ - 5);
        for (int i = 0; i < 4; ++i)
            buffer_[1 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
        return true;
    }

    char buffer_[Capacity];
    size_t size_;
    bool overflow_;
};

// The largest message: the record with a name, a full string pool and a full extension pool.
constexpr size_t RecordCapacity = 5 + 8 * 4 + ProbeTextSize + MenuMax * 8 + 2 * MenuPoolSize;


// The record as the probe left it into a message: a Record, or after a fault the Fault message
// with the exception's code first (the record may then be partly filled).
template <size_t Capacity>
void putRecord(FixedMessage<Capacity>& message, WorkerMessage kind, DWORD faultCode)
{
    message.reset(kind);
    if (kind == WorkerMessage::Fault)
        message.putInt(faultCode);
    message.putInt(aid);
    message.putInt(pid);
    message.putInt(static_cast<uint32_t>(ptype));
    message.putInt(static_cast<uint32_t>(probeAnswers));
    message.putInt(static_cast<uint32_t>(probeLoadError));
    message.putText(pname);
    int count = nmenu >= 0 && nmenu <= MenuMax ? nmenu : 0;
    message.putInt(static_cast<uint32_t>(count));
    for (int i = 0; i < count; ++i) {
        message.putText(menu[i]);
        message.putText(menuExt[i] ? menuExt[i] : "");
    }
}

FixedMessage<RecordCapacity> recordMessage(WorkerMessage::Record);  // large, and used on a fault

bool sendRecord(WorkerMessage kind, DWORD faultCode)
{
    putRecord(recordMessage, kind, faultCode);
    return recordMessage.send();
}

// Each line goes into the block shared with the window at once, with the record as it stands,
// so that what the plug-in answered before a fault, an end or a hang is kept.
class SharedSink : public ProbeSink {
public:
    explicit SharedSink(SharedLines* shared) : shared_(shared) {}
    void addLine(const char* line) override
    {
        putRecord(recordMessage, WorkerMessage::Record, 0);
        LONG size = recordMessage.copyTo(shared_->record, sizeof shared_->record);
        InterlockedExchange(&shared_->recordSize, size);
        appendSharedLine(shared_, line, strnlen(line, ProbeTextSize));
    }

private:
    SharedLines* shared_;  // not owned: the window's block, mapped into this process
};

// An exception that the plug-in did not handle: the window gets what the record holds and the
// code, and the worker ends with that code. No error box, no debugger.
LONG WINAPI unhandledFault(EXCEPTION_POINTERS* info)
{
    DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
    sendRecord(WorkerMessage::Fault, code);
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Reads one whole message from the window; false when the pipe closed or broke.
bool receive(std::string& received, WorkerMessage* kind, std::string* payload)
{
    for (;;) {
        bool broken = false;
        if (takeMessage(received, kind, payload, &broken))
            return true;
        if (broken)
            return false;
        char chunk[4096];
        DWORD got = 0;
        if (!ReadFile(windowPipe, chunk, sizeof chunk, &got, nullptr) || got == 0)
            return false;
        received.append(chunk, got);
    }
}

}  // namespace

int runProbeWorker(const std::wstring& pipeName)
{
    // Nothing the plug-ins do may put a box on the screen: critical errors, faults, a missing
    // file during a load, or the C runtime's report of abort() in a plug-in that shares it.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    _set_error_mode(_OUT_TO_STDERR);
    SetUnhandledExceptionFilter(unhandledFault);
    // Room for the fault path when a plug-in overflows the stack.
    ULONG guarantee = 64 * 1024;
    SetThreadStackGuarantee(&guarantee);

    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, sharedLinesName(pipeName).c_str());
    if (!mapping)
        return static_cast<int>(GetLastError());
    auto* shared = static_cast<SharedLines*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(SharedLines)));
    if (!shared)
        return static_cast<int>(GetLastError());
    windowPipe = CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (windowPipe == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());

    std::string received;
    WorkerMessage kind;
    std::string payload;
    while (receive(received, &kind, &payload)) {
        ProbeRequest request;
        if (kind != WorkerMessage::Probe || !decodeRequest(payload, &request))
            break;
        rpStrncpy(dllName, request.dllName.c_str(), sizeof dllName);
        rpStrncpy(fn, request.shown.c_str(), sizeof fn);
        SharedSink sink(shared);
        probeDll(sink, request.path.c_str());
        if (!sendRecord(WorkerMessage::Record, 0))
            break;
    }
    CloseHandle(windowPipe);
    windowPipe = INVALID_HANDLE_VALUE;
    UnmapViewOfFile(shared);
    CloseHandle(mapping);
    return 0;
}
