// Why a library did not load: the lines that follow a probe's "load error %d" line, and the
// check that keeps an image with a broken import table from the loader. Run in the process that
// tried the load, right after it, so that the search below sees the same loaded modules,
// current folder and PATH as the load did.
// Missing libraries and functions are found by reading the import tables of the library and of
// every dependency that is found (each file once, whatever name led to it) and the export
// tables of those it imports from; all tables are read through PeImage, so a damaged file gives
// a line, never a fault.
#ifndef INSPECTOR_LOAD_FAILURE_H
#define INSPECTOR_LOAD_FAILURE_H

#include <windows.h>

#include <string>
#include <vector>

// Where the loader looks for a library that an import names (a name without a folder).
struct LibrarySearch {
    // Folders searched in this order.
    std::vector<std::wstring> folders;
    // Lower-case names of the system's known libraries (always taken from the system folder).
    std::vector<std::wstring> knownLibraries;
    std::wstring systemFolder;
    // A library of that name already loaded in this process is used as it is.
    bool useLoadedModules = true;

    // The search of LoadLibrary for the dependencies of a library named by its full path, as
    // this process does it now: the executable's folder, the system folder, the 16-bit system
    // folder, the Windows folder, the current folder (before the system folders when the
    // system's safe search mode is off), then each folder of PATH.
    static LibrarySearch ofThisProcess();
};

// The lines (each at most 299 bytes, two leading blanks) that say why loading the file at path
// failed with the system error code `error`:
// - 126: every library that cannot be found ("  見つからないDLL: NAME", with the library that
//   needs it when it is not the file itself); API sets and known libraries never count. One
//   that lies in the file's own folder gets a line more that says so: the loader does not
//   search that folder when the file is loaded by its full path.
// - 127: every imported function that its library does not export
//   ("  見つからない関数: LIB!NAME", "LIB!#ordinal").
// - 193: what the file is (a 32-bit or 64-bit library with its machine, as the machine field
//   says, or not a library); for an image of this process's own machine, what the loader
//   refuses in it (a header value, a broken import table, a dependency that is damaged or
//   built for another machine).
// - 1114: the library's initialisation routine returned failure.
// - any other code: the system's message for it, in one line.
// A damaged file met on the way (cut short, broken headers, import or export table) gets a line
// of its own; when nothing is found, a line says so. The work is bounded (about a second, a few
// MB, whatever the tables hold): when the bound is reached the lines end with one that says the
// explanation stopped.
std::vector<std::string> explainLoadError(const std::wstring& path, DWORD error, const LibrarySearch& search);
// The same with the search of this process.
std::vector<std::string> explainLoadError(const std::wstring& path, DWORD error);

// Whether the library name (a file name from an import table) is one of the debug C
// runtimes, which only a machine with the compiler has: msvcr*d.dll, msvcp*d.dll,
// vcruntime*d.dll, ucrtbased.dll, mfc*d.dll (any case).
bool isDebugRuntime(const std::string& name);
// The first debug C runtime that the file at path imports, or that one of its dependencies
// found by `search` imports, within the bound of an explanation: *runtime gets its name as the
// table spells it (cut to a shown name), *via the dependency that imports it (empty when the file
// imports it itself). False when none was found.
bool findDebugRuntime(const std::wstring& path, const LibrarySearch& search, std::string* runtime, std::string* via);

// Whether the file at path may be handed to the loader: ERROR_BAD_EXE_FORMAT for an image of
// this process's own machine whose import table is broken as the loader reads it (it starts
// outside the image, runs out of it, or names a library or function outside it): such an image
// makes some loaders fault instead of refusing it. 0 for anything else, which the load itself
// judges; a table too large to check within the bound of an explanation is left to the loader.
DWORD checkBeforeLoad(const std::wstring& path);

// The system's message for an error code as one line of at most 299 bytes ("  " and the text
// in the ANSI code page, line breaks turned into blanks, cut at a whole character). The inserts
// that a message expects are shown as an ellipsis; 317, the code of a failure that has no Win32
// code, gets a line that says so.
std::string systemMessageLine(DWORD error);

#endif
