// mainDialog: the inspector's only window, a modal dialog from the template "MainDialog" with
// the result list (item 260), Open, Copy and Close. It probes the files the user picks or drops,
// or whole folders, in batches run by worker processes, shows each file's block when the file is
// done (and a summary after a folder's blocks), keeps a record of every probed file beside the
// list, copies the results to the clipboard and saves them as text or HTML.
// Ownership: the dialog and its list-box object belong to their windows and delete themselves
// when the windows are destroyed; the dialog owns its running batch, the blocks it holds and
// the list's record.
#ifndef INSPECTOR_MAIN_DIALOG_H
#define INSPECTOR_MAIN_DIALOG_H

#include "listReport.h"
#include "probeBatch.h"
#include "rpDialog.h"
#include "rpListBox.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class rpMemoryStream;

class mainDialog : public rpDialogModal {
public:
    // Template "MainDialog", no parent window.
    mainDialog();
    ~mainDialog() override;

    // 120 Open, 121 clear, 122 Copy, 123 HTML copy, 124 stop, 125 open folder, 126 save,
    // 127 validate: handled (true). IDOK is ignored.
    // Anything else goes to rpDialog::command, which ends the dialog for IDCANCEL.
    bool command(int id, int code) override;
    // Close (IDCANCEL) and the close box stop a running batch first. Esc during a batch stops
    // the batch and keeps the window (see escapeFilter).
    bool queryClose() override;
    // Centres the dialog, binds listBox to item 260, accepts dropped files, and schedules the
    // start-up files.
    void onCreate() override;
    // WM_DROPFILES: probes every dropped file in drop order; during a batch they are queued.
    void dropFiles(HDROP drop, int count, rpPoint* point, bool inClient) override;
    // WM_CONTEXTMENU from the list (right-click, Shift+F10, the menu key): the list menu.
    // WM_PROBEARGS: probes the start-up files (a folder among them as a folder batch).
    // WM_BATCHEVENT: a file of the batch is done.
    bool other(rpEvent& e) override;

    // Lets the user choose one file; true (with dllName and fn set) when one was chosen.
    bool getFile();
    // Probes dllName, shown as fn, as a batch of one file.
    void checkDll();
    // Every list line, each ended by CR LF, as CF_TEXT. An empty list leaves the clipboard alone.
    void dataCopy();
    // The last plug-in's collected strings as HTML table rows, as CF_TEXT.
    void dataCopy2();
    // LB_RESETCONTENT on the list and empties its record (not during a batch).
    void clearList();
    // Probes files as one batch, in order: a new batch clears the list first; while a batch
    // runs they are queued after its files. With expandFolders, a path that names a folder
    // stands for every .dll file of its tree (scanFolder), each shown by its path inside the
    // folder, and the folder's summary block follows their blocks.
    void probeStartupFiles();
    void probeFiles(const std::vector<std::wstring>& paths, bool expandFolders = false);
    // Lets the user choose a folder (the framework's folder dialog) and probes its tree as a
    // folder batch. Not during a batch.
    void openFolder();
    // Lets the user choose a file name (the framework's save dialog) and writes the list there:
    // the text Copy puts on the clipboard, or with the HTML filter (or an .html/.htm name) the
    // HTML report of the list's record. A failed write says so in a message box and leaves the
    // file as it was.
    void saveList();
    // The list's record: one entry per probed file shown, in list order.
    const std::vector<ListedFile>& listedFiles() const { return listed; }
    // Ends the running batch: files being probed end with the stopped line, files not started
    // are dropped. Returns once every worker is gone.
    void stopBatch();
    bool batchRunning() const { return batch != nullptr; }
    // Probes the files of the list again as one batch, with the checks: each file's block is
    // followed by a line for each finding (validation.h), a folder's files by its summary. Not
    // during a batch, nor with an empty list.
    void validateList();
    // Opens the list menu: Copy (122), HTML copy (123), Clear (121), Stop (124, during a
    // batch), Save (126), Open folder (125, not during a batch) and Validate (127, with files
    // in the list and not during a batch), each sending its command.
    // screen is where the menu opens; null opens it at the list's selected line.
    void showListMenu(const POINT* screen);

    // Posted by onCreate when there are start-up files, so that they are probed once the dialog
    // is on screen.
    static constexpr UINT WM_PROBEARGS = WM_APP + 1;
    // Posted by the batch with a BatchEvent* (owned by the receiver) in lParam.
    static constexpr UINT WM_BATCHEVENT = WM_APP + 2;
    // The timer that shows finished blocks and the progress during a batch.
    static constexpr UINT_PTR RefreshTimer = 1;
    static constexpr UINT RefreshMs = 100;

    rpListBox* listBox;  // not owned: deletes itself with item 260; null before onCreate
    // Set before run(): the files named on the command line, and how batches run.
    std::vector<std::wstring> startupFiles;
    BatchSettings batchSettings;

private:
    // A folder of the running batch: its files are batch files first .. first + count - 1.
    struct FolderRun {
        BatchFolder folder;
        bool summarized = false;    // its summary block is shown
    };

    // Starts a batch with the files (clearing the list), or queues them after a running one.
    void queueFiles(const std::vector<BatchFile>& files);
    // Shows the summary block of every folder whose blocks are all shown.
    void showSummaries();
    // Every list line, each followed by CR LF, into a stream opened for writing: what Copy
    // and Save take.
    void writeListLines(rpMemoryStream& stream);
    // A file's block arrived: kept until every earlier block is shown, which the refresh
    // timer does (several times a second, not once per file).
    void batchEvent(BatchEvent* event);
    // Shows the blocks that are next in order, and ends the batch when all are shown.
    void showFinishedBlocks();
    // The batch is over: the caption and the Open button come back.
    void endBatch();
    void showProgress();
    // WH_MSGFILTER hook, installed while a batch runs.
    static LRESULT CALLBACK escapeFilter(int code, WPARAM wParam, LPARAM lParam);

    static mainDialog* filteredDialog;  // not owned: the dialog whose batch the hook serves
    HHOOK escapeHook;                   // owned while a batch runs

    std::shared_ptr<WorkerPool> workers;                // shared with the batch; made by the first
    std::unique_ptr<ProbeBatch> batch;                  // owned; null between batches
    std::vector<BatchFile> batchFiles;                  // the files of the running batch
    std::map<size_t, std::unique_ptr<BatchEvent>> finished;  // blocks waiting for earlier ones
    size_t shownBlocks;                                 // blocks of the batch shown so far
    std::string caption;                                // the caption without the progress
    std::string progress;                               // the caption with it, as last shown
    std::vector<FolderRun> folderRuns;                  // the folders of the running batch
    bool validating = false;                            // the next batch probes with the checks
    std::vector<ListedFile> listed;                     // the list's record, emptied with the list
    std::string lastFolder;                             // the folder chosen last, offered next
};

#endif
