// Measuring the process's state around the plug-in's own calls.
#include "callWatch.h"

#include <winternl.h>

#if defined(_MSC_VER)
#include <xmmintrin.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

ProbeFacts probeFacts;

namespace {

// The x87 control word's control bits: exception masks, precision and rounding (0 where the
// compiler gives no access to it).
uint32_t x87ControlWord()
{
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
    unsigned short word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word & 0x1F3Fu;
#elif defined(_MSC_VER) && defined(_M_IX86)
    unsigned short word = 0;
    __asm fnstcw word
    return word & 0x1F3Fu;
#else
    return 0;
#endif
}

// MXCSR's control bits: exception masks, rounding, flush-to-zero and denormals-are-zero. The
// exception flags (bits 0 to 5) change with any arithmetic and are left out.
uint32_t sseControlWord()
{
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
    unsigned int word = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(word));
    return word & 0xFFC0u;
#elif defined(_MSC_VER)
    return _mm_getcsr() & 0xFFC0u;
#else
    return 0;
#endif
}

std::wstring currentDirectory()
{
    wchar_t fixed[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, fixed);
    if (length <= MAX_PATH)
        return std::wstring(fixed, length);
    std::wstring directory(length, L'\0');
    length = GetCurrentDirectoryW(length, &directory[0]);
    directory.resize(length < directory.size() ? length : 0);
    return directory;
}

// The entries of the system's handle lists (classes 16 and 64 of NtQuerySystemInformation).
struct HandleEntry {
    USHORT processId;
    USHORT backTraceIndex;
    UCHAR typeIndex;
    UCHAR attributes;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct HandleList {
    ULONG count;
    HandleEntry first;
};
struct ExtendedHandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR value;
    ULONG access;
    USHORT backTraceIndex;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};

// The process's handles, counted in the system's handle list: GetProcessHandleCount gives 0
// under some systems (Wine 8). The extended list (class 64) names processes by their whole id;
// the older one (class 16) by 16 bits of it, which is only taken while the id fits.
uint32_t countOwnHandles()
{
    using QuerySystemInformation = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG HandleInformation = 16;
    constexpr ULONG ExtendedHandleInformation = 64;
    constexpr LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);
    constexpr size_t MaxBuffer = 64u * 1024 * 1024;

    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto query = ntdll ? reinterpret_cast<QuerySystemInformation>(
                             reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQuerySystemInformation")))
                       : nullptr;
    if (!query)
        return HandlesUnknown;
    const ULONG_PTR self = GetCurrentProcessId();
    std::vector<BYTE> buffer(256 * 1024);
    for (ULONG infoClass : {ExtendedHandleInformation, HandleInformation}) {
        if (infoClass == HandleInformation && self > 0xFFFF)
            break;
        LONG status = 0;
        for (;;) {
            ULONG needed = 0;
            status = query(infoClass, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
            if (status != InfoLengthMismatch || buffer.size() >= MaxBuffer)
                break;
            buffer.resize(std::min(MaxBuffer, std::max<size_t>(buffer.size() * 2, size_t(needed) + 65536)));
        }
        if (status < 0)
            continue;
        uint32_t count = 0;
        if (infoClass == ExtendedHandleInformation) {
            ULONG_PTR entries = 0;
            std::memcpy(&entries, buffer.data(), sizeof entries);
            const size_t header = 2 * sizeof(ULONG_PTR);
            const size_t fit = (buffer.size() - header) / sizeof(ExtendedHandleEntry);
            for (size_t i = 0; i < entries && i < fit; ++i) {
                ExtendedHandleEntry entry;
                std::memcpy(&entry, buffer.data() + header + i * sizeof entry, sizeof entry);
                count += entry.processId == self;
            }
        } else {
            ULONG entries = 0;
            std::memcpy(&entries, buffer.data(), sizeof entries);
            const size_t header = offsetof(HandleList, first);
            const size_t fit = (buffer.size() - header) / sizeof(HandleEntry);
            for (size_t i = 0; i < entries && i < fit; ++i) {
                HandleEntry entry;
                std::memcpy(&entry, buffer.data() + header + i * sizeof entry, sizeof entry);
                count += entry.processId == self;
            }
        }
        return count;
    }
    return HandlesUnknown;
}

uint32_t elapsedMs(const LARGE_INTEGER& started)
{
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    static const LONGLONG ticksPerMs = [] {
        LARGE_INTEGER frequency = {};
        QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart / 1000 > 0 ? frequency.QuadPart / 1000 : 1;
    }();
    LONGLONG ms = (now.QuadPart - started.QuadPart) / ticksPerMs;
    return ms < 0 ? 0 : ms > 0x7FFFFFFF ? 0x7FFFFFFFu : static_cast<uint32_t>(ms);
}

bool hasNul(const char* text, size_t size)
{
    return std::memchr(text, 0, size) != nullptr;
}

}  // namespace

const char* pluginCallName(PluginCall call)
{
    static const char* const names[CallCount] = {
        "DllMain", "MQGetPlugInID", "MQGetPlugInName", "MQGetPlugInType", "MQEnumString", "MQEnumFileType", "MQEnumFileExt",
        "DllMain",
    };
    return call < CallCount ? names[call] : "";
}

bool factsPossible(const ProbeFacts& facts)
{
    auto isCall = [](uint32_t stored) { return stored <= CallCount; };  // a call + 1, or 0
    auto isEntryPoint = [](uint32_t stored) { return stored == 0 || (stored >= CallGetId + 1 && stored <= CallEnumFileExt + 1); };
    const bool textsEnded = hasNul(facts.debugRuntime, sizeof facts.debugRuntime) && hasNul(facts.debugRuntimeVia, sizeof facts.debugRuntimeVia);
    if (!textsEnded)
        return false;
    if (facts.measured == 0) {
        // A probe that did not validate leaves every fact zero.
        static const ProbeFacts none = {};
        return std::memcmp(&facts, &none, offsetof(ProbeFacts, debugRuntime)) == 0 && facts.debugRuntime[0] == 0 &&
               facts.debugRuntimeVia[0] == 0;
    }
    const uint32_t enumerations = (1u << CallEnumString) | (1u << CallEnumFileType) | (1u << CallEnumFileExt);
    constexpr uint32_t EnumLimit = 99;  // the probe asks indexes 0..98
    return facts.measured == 1 && (facts.nearMissDecorated & ~EntryPointMask) == 0 && (facts.nearMissCpp & ~EntryPointMask) == 0 &&
           (facts.nearMissCase & ~EntryPointMask) == 0 && (facts.enumUnterminated & ~enumerations) == 0 &&
           facts.fileTypeCount <= EnumLimit && facts.fileExtCount <= facts.fileTypeCount + 1 && isEntryPoint(facts.textInvalidCall) &&
           facts.textInvalidIndex < EnumLimit && (facts.textInvalidCall != 0 || (facts.textInvalidIndex == 0 && facts.textInvalidOffset == 0)) &&
           isEntryPoint(facts.stackCall) && (facts.stackCall != 0) == (facts.stackBytes != 0) && isCall(facts.fpuCall) &&
           isCall(facts.processCall) && (facts.processChanged & ~ProcessChangeAll) == 0 &&
           (facts.processCall != 0) == (facts.processChanged != 0) && isEntryPoint(facts.slowestCall) &&
           (facts.debugRuntime[0] != 0 || facts.debugRuntimeVia[0] == 0);
}

CallWatch::CallWatch(ProbeFacts* facts) : facts_(facts), filter_(nullptr)
{
    if (!facts_)
        return;
    facts_->measured = 1;
    facts_->handlesBefore = facts_->handlesAfter = HandlesUnknown;
    // No code of the plug-in runs yet: the filter can be read by setting it for a moment.
    filter_ = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(filter_);
}

void CallWatch::countHandlesBefore()
{
    if (facts_)
        facts_->handlesBefore = countOwnHandles();
}

void CallWatch::countHandlesAfter()
{
    if (facts_)
        facts_->handlesAfter = countOwnHandles();
}

void CallWatch::before(PluginCall call)
{
    if (!facts_)
        return;
    x87_ = x87ControlWord();
    mxcsr_ = sseControlWord();
    errorMode_ = GetErrorMode();
    directory_ = currentDirectory();
    QueryPerformanceCounter(&started_);
}

void CallWatch::after(PluginCall call, int stackMoved)
{
    if (!facts_)
        return;
    const uint32_t ms = elapsedMs(started_);
    const uint32_t x87 = x87ControlWord();
    const uint32_t mxcsr = sseControlWord();
    ProbeFacts& facts = *facts_;
    const uint32_t stored = static_cast<uint32_t>(call) + 1;

    if (call == CallLoad) {
        facts.loadMs = ms;
    } else if (call == CallRelease) {
        facts.releaseMs = ms;
    } else if (ms >= facts.slowestMs) {
        facts.slowestCall = stored;
        facts.slowestMs = ms;
    }
    if (stackMoved != 0 && facts.stackCall == 0 && call != CallLoad && call != CallRelease) {
        facts.stackCall = stored;
        facts.stackBytes = stackMoved;
    }
    if ((x87 != x87_ || mxcsr != mxcsr_) && facts.fpuCall == 0) {
        facts.fpuCall = stored;
        facts.x87Before = x87_;
        facts.x87After = x87;
        facts.mxcsrBefore = mxcsr_;
        facts.mxcsrAfter = mxcsr;
    }

    uint32_t changed = 0;
    if (currentDirectory() != directory_)
        changed |= ChangedDirectory;
    // Read by putting the earlier filter back for a moment: at no time is none installed. A
    // changed one is put back in its turn, so that what the plug-in left is still seen later.
    LPTOP_LEVEL_EXCEPTION_FILTER now = SetUnhandledExceptionFilter(filter_);
    if (now != filter_) {
        changed |= ChangedFilter;
        SetUnhandledExceptionFilter(now);
        filter_ = now;
    }
    if (GetErrorMode() != errorMode_)
        changed |= ChangedErrorMode;
    if (changed != 0 && facts.processCall == 0) {
        facts.processCall = stored;
        facts.processChanged = changed;
    }
}
