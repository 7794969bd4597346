// What the validation measures next to a plug-in, around its own calls only: the load, each
// entry point's call and the release. CallWatch takes the process's state before each call and
// compares it after: the x87 and SSE control words, the current directory, the unhandled-
// exception filter, the error mode, the time the call took and (32-bit) how far the stack
// pointer moved; and the process's handles before the load and after the release. Everything
// it finds goes into a ProbeFacts record, which is plain data of fixed size: the worker sends it
// with the probe record, also from its fault filter, without the heap.
// Ownership: a CallWatch writes into facts it does not own; without facts it measures nothing.
#ifndef INSPECTOR_CALL_WATCH_H
#define INSPECTOR_CALL_WATCH_H

#include "lineFormat.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The plug-in's calls that the probe makes, in the order it makes them. The six entry points
// are CallGetId to CallEnumFileExt; masks of them use the bit (1 << call).
enum PluginCall : uint32_t {
    CallLoad,
    CallGetId,
    CallGetName,
    CallGetType,
    CallEnumString,
    CallEnumFileType,
    CallEnumFileExt,
    CallRelease,
    CallCount,
};
constexpr uint32_t EntryPointMask = 0x7E;  // the bits of the six entry points

// The entry point's exported name for CallGetId..CallEnumFileExt; "DllMain" for the load and
// the release.
const char* pluginCallName(PluginCall call);

// What the process's state may have lost to a call (ProbeFacts::processChanged).
enum ProcessChange : uint32_t {
    ChangedDirectory = 1,  // the current directory
    ChangedFilter = 2,     // the unhandled-exception filter
    ChangedErrorMode = 4,  // the process's error mode
};
constexpr uint32_t ProcessChangeAll = ChangedDirectory | ChangedFilter | ChangedErrorMode;

constexpr uint32_t HandlesUnknown = 0xFFFFFFFFu;  // the system would not count the handles

// What one validating probe found about the plug-in beyond its answers. A call is stored as
// PluginCall + 1, so that 0 means none. All zero when the probe did not validate.
struct ProbeFacts {
    uint32_t measured;            // 1: the probe validated and the fields below are its own

    // Entry points that are missing under the names the probe takes but exported under a
    // close name, by the first such name's kind (masks of entry-point bits).
    uint32_t nearMissDecorated;   // a __stdcall or .def-less decoration (_Name@8, Name@8)
    uint32_t nearMissCpp;         // a C++ name (_Z13Name..., ?Name@@...)
    uint32_t nearMissCase;        // other cases of letters

    uint32_t enumUnterminated;    // enumerations that answered every index up to the limit
    // File types (Import, Export): how many types MQEnumFileType gave before its end, and how
    // many extensions MQEnumFileExt gave in a row from index 0, fileTypeCount + 1 when it still
    // answered at the index where the types ended.
    uint32_t fileTypeCount;
    uint32_t fileExtCount;

    uint32_t textInvalidCall;     // the first text that is not Shift-JIS: the call that gave it,
    uint32_t textInvalidIndex;    // its index (enumerations),
    uint32_t textInvalidOffset;   // and the offset of its lead byte without trail byte

    uint32_t stackCall;           // the first entry point after which the stack pointer moved
    int32_t stackBytes;           // how far: the bytes the entry point removed itself

    uint32_t fpuCall;             // the first call after which a control word differed
    uint32_t x87Before, x87After; // the x87 control word around it (0 where there is none)
    uint32_t mxcsrBefore, mxcsrAfter;  // MXCSR's control bits around it

    uint32_t processCall;         // the first call that changed the process's state
    uint32_t processChanged;      // ProcessChange bits of what it changed

    uint32_t loadMs;              // the load's duration
    uint32_t releaseMs;           // the release's duration
    uint32_t slowestCall;         // the entry point whose one call took longest
    uint32_t slowestMs;           // that call's duration

    uint32_t handlesBefore;       // the process's handles before the load, or HandlesUnknown
    uint32_t handlesAfter;        // and after the release (or the failed load)

    // The first debug C runtime the plug-in needs, and the dependency that imports it (empty
    // when the plug-in imports it itself); both empty when it needs none.
    char debugRuntime[ProbeTextSize];
    char debugRuntimeVia[ProbeTextSize];
};

// The facts of the last probe (part of the probe record).
extern ProbeFacts probeFacts;

// Whether the facts are ones that a validating probe (measured) or any other probe can have
// produced: calls and bits in range, counts within the enumeration limit, texts without NUL.
bool factsPossible(const ProbeFacts& facts);

class CallWatch {
public:
    // Measures into facts (marked as measured); null: measures nothing. Made before the load,
    // while no code of the plug-in runs in the process.
    explicit CallWatch(ProbeFacts* facts);
    CallWatch(const CallWatch&) = delete;
    CallWatch& operator=(const CallWatch&) = delete;

    bool measuring() const { return facts_ != nullptr; }
    // Counts the process's handles: before the load, and after the release (or failed load).
    void countHandlesBefore();
    void countHandlesAfter();
    // Around one call of the plug-in. `stackMoved`: the bytes an entry point removed from the
    // stack itself (see entryCall.h).
    void before(PluginCall call);
    void after(PluginCall call, int stackMoved = 0);

private:
    ProbeFacts* facts_;                  // not owned; null: nothing is measured
    LPTOP_LEVEL_EXCEPTION_FILTER filter_;  // not owned: the filter installed before the call
    uint32_t x87_ = 0;
    uint32_t mxcsr_ = 0;
    UINT errorMode_ = 0;
    std::wstring directory_;
    LARGE_INTEGER started_ = {};
};

#endif
