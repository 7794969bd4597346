// What the list knows of each probed file, kept beside the list in the window (filled when a
// file's block is shown, emptied with the list), and what is made from it: the summary block of
// a folder batch and the HTML document that Save writes. Nothing here is read back from the
// list's lines. Also the safe write that Save uses.
#ifndef INSPECTOR_LIST_REPORT_H
#define INSPECTOR_LIST_REPORT_H

#include "fileFacts.h"
#include "probeBatch.h"
#include "workerProtocol.h"

#include <windows.h>

#include <string>
#include <vector>

// One probed file of the list.
struct ListedFile {
    std::string shown;                 // the name in its file line (Shift-JIS)
    std::string path;                  // its path in the ANSI code page, as best it can
    std::wstring widePath;             // its real name
    ProbeOutcome outcome = ProbeOutcome::Probed;
    DWORD code = 0;                    // see ProbeOutcome
    bool hasResult = false;            // the worker sent the file's record
    ProbeResult result;                // the file's own answers (result.answers says which)
    std::vector<std::string> failure;  // the lines that say why it failed; empty when it did not
    FileFacts facts;                   // read when its block was shown (not by every output)
    int findings = 0;                  // the validation's findings shown after its block

    // The load failed (the loader's error, or refused before any worker).
    bool failedToLoad() const;
    // The probe ended abnormally: a fault, the worker's end, no answer, a broken answer, or no
    // worker at all.
    bool endedAbnormally() const;
    // The probe ran to its end with the file's IDs, a name and a known type: what the list
    // mode's exit code 0 asks of every file. Anything else is a problem of the file.
    bool answered() const;
    // Anything a user should look at: not answered, or any finding.
    bool hasProblem() const { return !answered() || findings > 0; }
};

// The record of a file as its shown block tells it.
ListedFile listedFile(const BatchFile& file, const BatchEvent& block);

// The summary block of a folder batch, shown after the folder's blocks: the empty separator,
// "フォルダ  FOLDER", the number of files, the count of each plug-in type reported, of failed
// loads, of abnormal ends and stopped files, of the folders that could not be searched with one
// "  読めないフォルダ: SUB (CODE)" line each, one line for each file that failed to load
// ("  読み込みエラー: SUB\X.DLL (CODE)") or ended abnormally ("  異常終了: SUB\X.DLL (HOW)", HOW
// being its block's last line), and one "  ID重複  AID  PID (N件): a.dll, b.dll" line for every
// identifier pair that more than one file reports, naming as many of the files as fit whole and
// then how many more ("ほか N 件"). Lines are at most 299 bytes (a file's name is cut, at a
// whole character, before what happened to it is), control characters of names shown as '?'.
std::vector<std::string> folderSummary(const BatchFolder& folder, const std::vector<ListedFile>& files);

// A complete HTML document in UTF-8 with one table row per file: file, product and plug-in IDs,
// name, type, the strings (file types with their extensions), the failure lines, and the file's
// facts (version, company, size, last change in local time, and its SHA-256 while the file is
// as its facts found it); then each folder summary block of `summaries` (as folderSummary makes
// them), its folder as a heading and its lines as a list. Every text is converted from
// Shift-JIS and escaped. title is Shift-JIS.
std::string htmlReport(const std::string& title, const std::vector<ListedFile>& files,
                       const std::vector<std::vector<std::string>>& summaries = {});

// Writes bytes to path so that path never holds half of them: a temporary file in the same
// folder is written and flushed, then replaces path. Returns 0, or the system code of the
// failure, after which path is as it was and no temporary file is left. path is in the ANSI
// code page.
DWORD saveWhole(const std::string& path, const std::string& bytes);

#endif
