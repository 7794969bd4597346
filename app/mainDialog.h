// mainDialog: the inspector's only window, a resizable modal dialog from the template
// "MainDialog" with the result list (item 260), its filter, Open, Stop, Copy and Close, and a
// status line with the facts of the selected block's file. It probes the files the user picks or
// drops, or whole folders, in batches run by worker processes, shows each file's block when the
// file is done (and a summary after a folder's blocks), keeps the list's record beside the list
// and shows the blocks that pass the filter, copies what the list shows to the clipboard, saves
// it as text or HTML, probes it all again on F5, and remembers its placement and folders.
// Ownership: the dialog and its control objects belong to their windows and delete themselves
// when the windows are destroyed; the dialog owns its running batch, the blocks it holds and
// the list's record.
#ifndef INSPECTOR_MAIN_DIALOG_H
#define INSPECTOR_MAIN_DIALOG_H

#include "listReport.h"
#include "probeBatch.h"
#include "resultList.h"
#include "rpAnchorLayout.h"
#include "rpDialog.h"
#include "rpEdit.h"
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
    // 127 again, 128 the focus to the filter, 129 validate; the filter's changes (131 EN_CHANGE,
    // 132 BN_CLICKED) and the list's selection (260 LBN_SELCHANGE): handled (true). IDOK is
    // ignored.
    // Anything else goes to rpDialog::command, which ends the dialog for IDCANCEL.
    bool command(int id, int code) override;
    // Close (IDCANCEL) and the close box stop a running batch first, then store the window's
    // placement and folders. Esc during a batch stops the batch and keeps the window (see
    // translateKeys).
    bool queryClose() override;
    // Binds the controls, anchors them to the window's edges, restores the stored placement (or
    // centres the dialog), accepts dropped files, and schedules the start-up files.
    void onCreate() override;
    // WM_SIZE: the controls follow the window's edges.
    bool resized(int width, int height, int type) override;
    // WM_GETMINMAXINFO: the template's size is the least.
    bool getMinMaxInfo(MINMAXINFO* info) override;
    // The keys of the "KeyAccel" table inside the dialog's modal loop, but Ctrl+C only while the
    // list has the focus (elsewhere it is the edit box's own copy), and Esc only during a batch
    // (otherwise it closes the dialog, as ever).
    bool translateKeys(MSG& msg) override;
    // WM_DROPFILES: probes every dropped file in drop order, a folder as a folder batch; during
    // a batch they are queued.
    void dropFiles(HDROP drop, int count, rpPoint* point, bool inClient) override;
    // WM_CONTEXTMENU from the list (right-click, Shift+F10, the menu key): the list menu.
    // WM_PROBEARGS: probes the start-up files (a folder among them as a folder batch).
    // WM_BATCHEVENT: a file of the batch is done.
    bool other(rpEvent& e) override;

    // Lets the user choose one file; true (with dllName and fn set) when one was chosen.
    bool getFile();
    // Probes dllName, shown as fn, as a batch of one file.
    void checkDll();
    // Every line the list shows, each ended by CR LF, as CF_TEXT. An empty list leaves the
    // clipboard alone.
    void dataCopy();
    // The strings of the last plug-in the list shows as HTML table rows, as CF_TEXT.
    void dataCopy2();
    // LB_RESETCONTENT on the list and empties its record (not during a batch).
    void clearList();
    // Probes files as one batch, in order: a new batch clears the list first; while a batch
    // runs they are queued after its files. With expandFolders, a path that names a folder
    // stands for every .dll file of its tree (scanFolder), each shown by its path inside the
    // folder, and the folder's summary block follows their blocks.
    void probeStartupFiles();
    void probeFiles(const std::vector<std::wstring>& paths, bool expandFolders = false);
    // Probes what the list was made from again, in the same order, folders again as folder
    // batches, with workers started anew (a rebuilt file is read as it is now). Not during a
    // batch.
    void probeAgain();
    // Lets the user choose a folder (the framework's folder dialog, starting at the last one)
    // and probes its tree as a folder batch. Not during a batch.
    void openFolder();
    // Lets the user choose a file name (the framework's save dialog, with a name suggested: the
    // folder's for a folder batch, otherwise "plugins", to which the chosen type's extension is
    // added) and writes what the list shows there: the text Copy puts on the clipboard, or with
    // the HTML filter (or an .html/.htm name) the HTML report of the shown files and summaries.
    // A failed write says so in a message box and leaves the file as it was.
    void saveList();
    // The list's record: one entry per probed file, in list order, shown or not.
    const std::vector<ListedFile>& listedFiles() const { return results.files(); }
    // Ends the running batch: files being probed end with the stopped line, files not started
    // are dropped. Returns once every worker is gone.
    void stopBatch();
    bool batchRunning() const { return batch != nullptr; }
    // Idle workers of this process's bitness that the window keeps running for the next batch.
    int idleWorkers() const { return workers ? workers->idle(ownBitness()) : 0; }
    // Probes the files of the list again as one batch, with the checks: each file's block is
    // followed by a line for each finding (validation.h), a folder's files by its summary. Not
    // during a batch, nor with an empty list.
    void validateList();
    // Opens the list menu: Copy (122), HTML copy (123), Clear (121), Stop (124, during a
    // batch), Save (126), Open folder (125, not during a batch), Again (127) and Validate
    // (129), these two with files in the list and not during a batch, each sending its command.
    // screen is where the menu opens; null opens it at the list's selected line.
    void showListMenu(const POINT* screen);

    // Posted by onCreate when there are start-up files, so that they are probed once the dialog
    // is on screen.
    static constexpr UINT WM_PROBEARGS = WM_APP + 1;
    // Posted by the batch with a BatchEvent* (owned by the receiver) in lParam.
    static constexpr UINT WM_BATCHEVENT = WM_APP + 2;
    // The timer that shows the progress in the caption during a batch. Blocks are shown as
    // they arrive, not by this timer.
    static constexpr UINT_PTR ProgressTimer = 1;
    static constexpr DWORD ProgressMs = 100;
    // Set by onCreate: fires once the dialog is on screen and idle (timers come after painting),
    // and starts the workers ahead of the first batch. Not at once: under Wine 8, a process
    // started while a window shown maximised is still settling can leave the window's normal
    // place set to the maximised one (seen at 10 ms, not at 500 ms).
    static constexpr UINT_PTR WarmTimer = 2;
    static constexpr UINT WarmMs = 500;

    rpListBox* listBox;  // not owned: deletes itself with item 260; null before onCreate
    // Set before run(): the files named on the command line, how batches run, and the key under
    // HKEY_CURRENT_USER where the window keeps its placement and folders (empty: nothing is
    // read or stored).
    std::vector<std::wstring> startupFiles;
    BatchSettings batchSettings;
    std::string settingsKey;

private:
    // A folder of the running batch: its files are batch files first .. first + count - 1.
    struct FolderRun {
        BatchFolder folder;
        bool summarized = false;    // its summary block is shown
    };

    // Starts a batch with the files (clearing the list), or queues them after a running one.
    void queueFiles(const std::vector<BatchFile>& files);
    // Adds to `group` the summary block of every folder whose blocks are all shown or in the
    // group; groupFiles: the places of the group's file blocks, in batch order.
    void addDueSummaries(std::vector<ResultList::NewBlock>& group, const std::vector<size_t>& groupFiles);
    // Every list line, each followed by CR LF, into a stream opened for writing: what Copy
    // and Save take.
    void writeListLines(rpMemoryStream& stream);
    // A file's block arrived: it is shown, with every block that arrived meanwhile, as soon as
    // the blocks before it are.
    void batchEvent(BatchEvent* event);
    // Keeps a block until the blocks before it are shown; false when it is of no running batch.
    bool takeBatchEvent(BatchEvent* event);
    // Shows the blocks that are next in order in one group, and ends the batch when all are
    // shown.
    void showFinishedBlocks();
    // The batch is over: the caption, the Open button and the Stop button come back.
    void endBatch();
    // The caption with the progress and the names of the files being probed.
    void showProgress();
    // The probe record follows a file as the probe would have left it: a question that was
    // never answered keeps the earlier file's answer. What HTML copy takes.
    void followRecord(const ListedFile& file);
    // Shows the blocks that pass the filter box and the check box.
    void applyFilter();
    // The status line: the facts of the selected block's file (or a summary's folder).
    void showFacts();
    // The name Save suggests, without its extension.
    std::string suggestedName() const;
    // Stores the placement and the folders under settingsKey.
    void saveSettings();

    rpEdit* filterEdit;         // not owned: deletes itself with item 131; null before onCreate
    rpControl* problemsOnly;    // not owned: item 132
    rpControl* statusLine;      // not owned: item 133
    rpAnchorLayout layout;      // the controls' places against the window's edges

    std::shared_ptr<WorkerPool> workers;                // shared with the batch; made when the window is idle
    std::unique_ptr<ProbeBatch> batch;                  // owned; null between batches
    std::vector<BatchFile> batchFiles;                  // the files of the running batch
    std::map<size_t, std::unique_ptr<BatchEvent>> finished;  // blocks waiting for earlier ones
    size_t shownBlocks;                                 // blocks of the batch shown so far
    std::string caption;                                // the caption without the progress
    std::string progress;                               // the caption with it, as last shown
    std::vector<FolderRun> folderRuns;                  // the folders of the running batch
    ResultList results;                                 // the list's record and its view
    std::vector<std::wstring> sources;                  // what the list was made from, in order
    bool validating = false;                            // the next batch probes with the checks
    std::string lastFolder;                             // the folder chosen last, offered next
    std::string openDialogFolder;                       // where the Open dialog starts
    std::string saveDialogFolder;                       // where the Save dialog starts
};

#endif
