// The worker side of the isolated probe.
#include "probeWorker.h"

#include "probe.h"
#include "rpHandle.h"
#include "rpStrings.h"
#include "workerProtocol.h"

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

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
    fields.facts = &probeFacts;
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
    void libraryLoaded(HMODULE module) override { module_ = module; }
    // The library the probe loaded; null when the load failed.
    HMODULE module() const { return module_; }

private:
    SharedLines* shared_;  // not owned: the window's block, mapped into this process
    uint32_t sequence_;
    HMODULE module_ = nullptr;  // not owned; released by the probe
};

// Threads of this process that are running, counted as the loader tells the executable of each
// thread's start and end: knowing that no thread came or went costs nothing, where a list of
// the threads (a system-wide snapshot) costs milliseconds per file.
volatile LONG runningThreads = 1;  // the main thread, which starts before any notification

void NTAPI countThreads(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_THREAD_ATTACH)
        InterlockedIncrement(&runningThreads);
    else if (reason == DLL_THREAD_DETACH)
        InterlockedDecrement(&runningThreads);
}

LONG threadCount()
{
    return InterlockedCompareExchange(&runningThreads, 0, 0);
}

// This process's threads, by id.
std::vector<DWORD> ownThreads()
{
    std::vector<DWORD> ids;
    rpHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ids.push_back(entry.th32ThreadID);
    }
    return ids;
}

// Whether the thread was started by the system itself: its start address lies in ntdll (the
// thread pool, whose workers Windows' parallel loader starts for a library's imports and keeps
// for a while). A plug-in's own threads start in its code or its runtime.
bool startedBySystem(HANDLE thread)
{
    using QueryThread = LONG(NTAPI*)(HANDLE, THREADINFOCLASS, PVOID, ULONG, PULONG);
    static HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    static QueryThread query = ntdll ? reinterpret_cast<QueryThread>(
                                           reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQueryInformationThread")))
                                     : nullptr;
    void* start = nullptr;
    if (!query || query(thread, ThreadQuerySetWin32StartAddress, &start, sizeof start, nullptr) < 0)
        return false;
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(start), &module) &&
           module == ntdll;
}

std::wstring currentDirectory()
{
    std::wstring directory(MAX_PATH, L'\0');
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), &directory[0]);
    if (length >= directory.size()) {
        directory.resize(length);
        length = GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), &directory[0]);
    }
    directory.resize(length < directory.size() ? length : 0);
    return directory;
}

// The threads that belong to the worker itself, against which a file's new threads are told:
// listed once (a snapshot costs milliseconds), then listed again only when the count of running
// threads says one came since.
class ThreadWatch {
public:
    // Lists the worker's threads the first time.
    void prepare()
    {
        if (!listed_)
            relist();
    }

    // Whether a thread started since the list still runs. A plug-in that stops its threads as
    // it is released gets a moment for them to end. Threads the system started (see
    // startedBySystem) are the worker's from then on.
    bool newThreadRunning()
    {
        if (threadCount() <= count_)
            return false;
        std::vector<rpHandle> started;
        std::vector<HANDLE> waits;
        for (DWORD id : ownThreads()) {
            if (std::find(threads_.begin(), threads_.end(), id) != threads_.end())
                continue;
            rpHandle thread(OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id));
            if (!thread || startedBySystem(thread.get()))
                continue;
            if (waits.size() < MAXIMUM_WAIT_OBJECTS)
                waits.push_back(thread.get());
            started.push_back(std::move(thread));
        }
        if (!waits.empty())
            WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), TRUE, ThreadEndGraceMs);
        for (const rpHandle& thread : started) {
            if (WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT)
                return true;
        }
        relist();
        return false;
    }

private:
    void relist()
    {
        count_ = threadCount();
        threads_ = ownThreads();
        listed_ = true;
    }

    static constexpr DWORD ThreadEndGraceMs = 200;
    bool listed_ = false;
    LONG count_ = 0;              // running threads when they were listed
    std::vector<DWORD> threads_;  // their ids
};

ThreadWatch workerThreads;

// What a plug-in leaves behind in the worker: taken before the load (the threads, the current
// directory; the worker's own fault filter is installed again), compared after the release.
class LeftoverCheck {
public:
    LeftoverCheck() : directory_(currentDirectory())
    {
        workerThreads.prepare();
        SetUnhandledExceptionFilter(unhandledFault);
    }

    // The WorkerLeftover bits of what is still there once `module` (null: none was loaded) has
    // been released. Reinstalls the worker's filter.
    uint32_t after(HMODULE module) const
    {
        uint32_t left = 0;
        HMODULE still = nullptr;
        if (module && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                         reinterpret_cast<LPCWSTR>(module), &still))
            left |= LeftoverModule;
        if (workerThreads.newThreadRunning())
            left |= LeftoverThread;
        if (SetUnhandledExceptionFilter(unhandledFault) != unhandledFault)
            left |= LeftoverFilter;
        if (currentDirectory() != directory_)
            left |= LeftoverDirectory;
        return left;
    }

private:
    std::wstring directory_;  // the current directory before the load
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

// The loader calls the executable's thread callbacks from the table between .CRT$XLA and
// .CRT$XLZ, which the C runtime's thread-local storage support provides.
#if defined(_MSC_VER)
#pragma section(".CRT$XLY", long, read)
#ifdef _M_IX86
#pragma comment(linker, "/INCLUDE:__tls_used")
#else
#pragma comment(linker, "/INCLUDE:_tls_used")
#endif
__declspec(allocate(".CRT$XLY"))
#elif defined(__GNUC__)
__attribute__((used, section(".CRT$XLY")))
#endif
const PIMAGE_TLS_CALLBACK threadCounter = countThreads;

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
    // The view keeps the block; a handle to it is one more thing a plug-in could write to (Wine
    // takes WriteFile on a mapping's handle as a write into the block).
    mapping.reset();
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
    bool retiring = false;
    while (!retiring && receive(received, &kind, &payload)) {
        ProbeRequest request;
        if (kind != WorkerMessage::Probe || !decodeRequest(payload, &request))
            break;
        // Taken: from here on, an end of this worker is the file's.
        InterlockedExchange(&currentSequence, static_cast<LONG>(request.sequence));
        InterlockedExchange(&shared->taken, static_cast<LONG>(request.sequence));
        rpStrncpy(dllName, request.dllName.c_str(), sizeof dllName);
        rpStrncpy(fn, request.shown.c_str(), sizeof fn);
        LeftoverCheck leftovers;
        SharedSink sink(shared, request.sequence);
        probeDll(sink, request.path.c_str(), 0, request.validate);
        uint32_t left = leftovers.after(sink.module());
        if (!sendReply(WorkerMessage::Record, left))
            break;
        retiring = left != 0;
    }
    if (retiring) {
        // What the plug-in left behind must not run on into another file or into this
        // process's ordinary end: wait until the window ends the worker, or goes.
        char ignored[64];
        DWORD got = 0;
        ReadFile(windowPipe, ignored, sizeof ignored, &got, nullptr);
        TerminateProcess(GetCurrentProcess(), 0);
    }
    windowPipe = nullptr;
    UnmapViewOfFile(shared);
    return 0;
}
