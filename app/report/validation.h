// The validation's findings about a plug-in: what its two loads (in two worker processes) showed
// beyond its answers, judged against what the host needs, each with a message that says what
// was found and how it is usually fixed. Made from the batch's record of a validated file, in
// the window's (or list mode's) process; nothing here measures anything.
#ifndef INSPECTOR_VALIDATION_H
#define INSPECTOR_VALIDATION_H

#include "probeBatch.h"

#include <string>
#include <vector>

enum class Severity {
    Error,    // the host will not see the plug-in, or will be harmed by it
    Warning,  // the host may suffer from it
};

struct Finding {
    const char* check = "";  // the check's ID, for example "thread-left"
    Severity severity = Severity::Error;
    std::string message;     // Shift-JIS: what was found, and the usual fix
};

// The findings of a validated file, in the order of the checks: exports-decorated,
// answers-unstable, enum-unterminated, type-unknown, filetypes-unpaired, text-invalid,
// thread-left, unload-refused, debug-runtime, stack-imbalance, fpu-changed, process-changed,
// slow, handles-leaked. Each check gives at most one finding; what either load showed counts.
// Empty for a file that was not validated.
std::vector<Finding> validationFindings(const BatchEvent& event);

// The finding as a line of the list: "  [エラー] " or "  [警告] ", then the message, cut at a
// whole character to 299 bytes.
std::string findingLine(const Finding& finding);

// "error" or "warning".
const char* severityName(Severity severity);

#endif
