// The plug-in probe and its record: loads one plug-in DLL, asks it through the plug-in entry
// points who it is and what it offers, appends one line per answer to a list box, and keeps
// copies of the answers in the process-wide record below (read by the report copy).
// Ownership: the record owns all its text; no pointer into a plug-in outlives the probe.
#ifndef INSPECTOR_PROBE_H
#define INSPECTOR_PROBE_H

#include "callWatch.h"
#include "lineFormat.h"

#include <windows.h>

constexpr int MenuPoolSize = 10000;   // bytes of collected strings, terminators included
constexpr int MenuMax = 100;          // collected strings
constexpr int EnumMax = 99;           // strings asked of an enumeration, indexes 0..98

// The probe record; it describes the last file probed.
extern char dllName[ProbeTextSize];   // full path of the file to probe (input)
extern char fn[ProbeTextSize];        // its name as shown, without directory (input)
extern DWORD aid;                     // first identifier reported
extern DWORD pid;                     // second identifier reported
extern char pname[ProbeTextSize];     // the plug-in's name
extern int ptype;                     // the plug-in's type as reported (1..7 are known)
extern char menuBuf[MenuPoolSize];    // the collected strings, each NUL-terminated
extern char* menu[MenuMax];           // pointers into menuBuf, in collection order
extern int nmenu;                     // number of collected strings
extern char* pm;                      // next free byte of menuBuf
// The extension that came with each collected file type (Import and Export plug-ins): the
// pool, and menuExt[i] for menu[i], null for menu strings. Kept apart from menuBuf, so the
// strings keep all of their pool.
extern char extBuf[MenuPoolSize];
extern const char* menuExt[MenuMax];
// Which answers the last probe got, ProbeAnswered* bits: the fields of a question that was
// never answered keep the values of an earlier probe.
extern int probeAnswers;
enum { ProbeAnsweredIds = 1, ProbeAnsweredName = 2, ProbeAnsweredType = 4 };
// The system error code of the last probe's load; 0 when the file was loaded.
extern int probeLoadError;
// What a validating probe found beyond the answers: probeFacts (callWatch.h).

// Type names by type, 0 for an unknown type.
extern const char* const typeName[8];

// Copies text to pm, records it as menu[nmenu] and advances pm and nmenu. A text longer than
// the room left in menuBuf is cut at a whole Shift-JIS character; a text of which not even one
// character fits, or a 101st text, is not recorded. A null text is recorded as empty.
// Returns whether the text was recorded.
bool addMenu(const char* text);
// Records ext (null: empty) as the extension of the string addMenu recorded last, cut at a whole
// Shift-JIS character when extBuf is short of room; nothing when no string is recorded yet.
void addMenuExtension(const char* ext);
// Empties the collected strings and their extensions.
void clearMenu();

// Where the probe's lines go, one call per line in order (a list, a pipe to the window).
class ProbeSink {
public:
    virtual ~ProbeSink() = default;
    virtual void addLine(const char* line) = 0;  // at most 299 bytes, NUL-terminated
    // The library was loaded at `module`, before any of its entry points is asked; it is
    // released before probeDll returns. A worker checks afterwards that it is gone.
    virtual void libraryLoaded(HMODULE module) { (void)module; }
};

// The two lines that begin every file's block: the empty separator and the file line with the
// name shown (fn for a probe).
void probeHeader(ProbeSink& list, const char* shown);

// Probes the file named by widePath (or by dllName when null) and shown as fn: hands the
// probe's lines to `list` and fills the record. Every failure ends the probe with a line; a
// failed load with "load error %d" and the lines that say why (explainLoadError); a missing
// entry point with the exports that come close to it (exportSurvey.h). The library is always
// released before the call returns, unless the plug-in's code never returns.
// A non-zero loadError is reported as the load's failure without loading anything (a path that
// the record cannot hold). With validate, the probe also measures around the plug-in's calls
// and checks its answers into probeFacts; without, probeFacts is left all zero.
void probeDll(ProbeSink& list, const wchar_t* widePath = nullptr, int loadError = 0, bool validate = false);

#endif
