// The inspector without a window, for scripts and continuous integration: --list probes the
// paths of the command line with the isolated workers, exactly as the window would, and writes
// either the window's list lines (Shift-JIS with CR LF, the same bytes as Copy) or one JSON
// document (UTF-8) to standard output or a file; --help and --version print the usage and the
// version. --validate does what --list does and adds each file's findings (validation.h). The
// exit code tells a script whether every file answered (and, validated, had no error).
#ifndef INSPECTOR_LIST_MODE_H
#define INSPECTOR_LIST_MODE_H

#include "commandLine.h"
#include "probeBatch.h"

#include <string>
#include <vector>

// Exit codes of the modes without a window.
enum ListExitCode {
    ListAllAnswered = 0,  // every file gave its IDs, a name and a known type
    ListSomeFailed = 1,   // a file did not load, faulted, ended its worker, hung or lacked one;
                          // or a folder could not be searched; or, validated, a file has an
                          // error finding (with --strict, any finding)
    ListUsageError = 2,   // the command line is wrong, or the output cannot be written or is
                          // one of the files to probe
};

// Runs --help, --version, --list or --validate as `options` ask. Returns the process's exit code.
int runWithoutWindow(const InspectorOptions& options);

// Whether the file's probe ran to its end with its IDs, a name and a known type.
bool fileAnswered(const BatchEvent& event);

#endif
