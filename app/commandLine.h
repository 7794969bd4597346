// The inspector's command line in UTF-16, so that file names outside the ANSI code page keep
// their real characters. Split by the same rules as the application's argument vector (double
// quotes group, a doubled quote inside them is one quote, a character of U+0020 or less ends an
// unquoted argument). The options below start with "--". For the window any other argument is
// a file; with --list (or --validate, which is --list with the checks), any other argument
// that starts with "--" is a usage error, and every argument after a lone "--" is a path.
#ifndef INSPECTOR_COMMAND_LINE_H
#define INSPECTOR_COMMAND_LINE_H

#include <windows.h>

#include <string>
#include <vector>

struct InspectorOptions {
    std::wstring workerPipe;          // --probe-worker PIPE: run as a probe worker (internal)
    DWORD probeTimeoutMs = 10000;     // --probe-timeout=MS: a probe silent this long is ended
    int workers = 0;                  // --workers=N: parallel probe workers; 0: one per processor
    std::vector<std::wstring> files;  // everything else, in order; empty arguments are skipped
    // Modes without a window. --help and --version are taken with or without --list.
    bool help = false;                // --help: print the usage
    bool version = false;             // --version: print the version
    bool list = false;                // --list: probe `files` and write the results, no window
    bool validate = false;            // --validate: --list, and the checks after each file
    bool strict = false;              // --strict (validate): warnings fail as errors do
    bool json = false;                // --json (list): one JSON document instead of the lines
    std::wstring output;              // --output FILE (list): write there; empty: standard output
    std::wstring usageError;          // (list) what is wrong with the command line; empty: nothing
};

// The arguments after the program's name.
std::vector<std::wstring> splitArguments(const wchar_t* commandLine);
// Options and files of the process's command line (commandLine: as GetCommandLineW gives it).
InspectorOptions parseCommandLine(const wchar_t* commandLine);

#endif
