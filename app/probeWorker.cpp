// The worker side of the isolated probe.
#include "probeWorker.h"

#include "probe.h"
#include "rpHandle.h"
#include "rpStrings.h"
#include "workerProtocol.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

HANDLE windowPipe = nullptr;        // not owned: runProbeWorker's connection, for the fault filter
volatile LONG currentSequence = 0;  // the request being served, else the last one answered
// The fault path's message: written without the heap, which may be what the plug-in broke.
char replyBuffer[MessageHeaderSize + RecordPayloadMax];

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

// The probe record as it stands, with what the probe did not answer as zero or empty (the
// record keeps an earlier file's values there).
RecordFields currentRecord()
{
    RecordFields fields;
    fields.answers = probeAnswers;
    fields.loadError = probeLoadError;
    if (probeAnswers & ProbeAnsweredIds) {
        fields.aid = aid;
        fields.pid = pid;
    }
    if (probeAnswers & ProbeAnsweredName)
        fields.name = pname;
    if (probeAnswers & ProbeAnsweredType)
        fields.ptype = ptype;
    fields.count = nmenu >= 0 && nmenu <= MenuMax ? nmenu : 0;
    fields.strings = menu;
    fields.extensions = menuExt;
    return fields;
}

bool sendReply(WorkerMessage kind, uint32_t detail)
{
    FixedSink sink(replyBuffer, sizeof replyBuffer);
    encodeReply(sink, kind, static_cast<uint32_t>(currentSequence), detail, currentRecord());
    return !sink.overflow() && sendBytes(replyBuffer, sink.size());
}

// An exception that the plug-in did not handle: the window gets what the record holds and the
// code, and the worker ends with that code. No error box, no debugger.
LONG WINAPI unhandledFault(EXCEPTION_POINTERS* info)
{
    DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
    sendReply(WorkerMessage::Fault, code);
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Each line goes into the block shared with the window at once, with the record as it stands,
// so that what the plug-in answered before a fault, an end or a hang is kept.
class SharedSink : public ProbeSink {
public:
    SharedSink(SharedLines* shared, uint32_t sequence) : shared_(shared), sequence_(sequence) {}
    void addLine(const char* line) override
    {
        publishSharedRecord(shared_, sequence_, currentRecord());
        appendSharedLine(shared_, line);
    }

private:
    SharedLines* shared_;  // not owned: the window's block, mapped into this process
    uint32_t sequence_;
};

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

    rpHandle mapping(OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, sharedLinesName(pipeName).c_str()));
    if (!mapping)
        return static_cast<int>(GetLastError());
    auto* shared = static_cast<SharedLines*>(MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(SharedLines)));
    if (!shared)
        return static_cast<int>(GetLastError());
    rpHandle pipe(CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!pipe) {
        DWORD error = GetLastError();
        UnmapViewOfFile(shared);
        return static_cast<int>(error);
    }
    windowPipe = pipe.get();

    std::string received;
    WorkerMessage kind;
    std::string payload;
    while (receive(received, &kind, &payload)) {
        ProbeRequest request;
        if (kind != WorkerMessage::Probe || !decodeRequest(payload, &request))
            break;
        // Taken: from here on, an end of this worker is the file's.
        InterlockedExchange(&currentSequence, static_cast<LONG>(request.sequence));
        InterlockedExchange(&shared->taken, static_cast<LONG>(request.sequence));
        rpStrncpy(dllName, request.dllName.c_str(), sizeof dllName);
        rpStrncpy(fn, request.shown.c_str(), sizeof fn);
        SharedSink sink(shared, request.sequence);
        probeDll(sink, request.path.c_str());
        if (!sendReply(WorkerMessage::Record, 0))
            break;
    }
    windowPipe = nullptr;
    UnmapViewOfFile(shared);
    return 0;
}
