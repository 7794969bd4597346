// The main dialog: commands and keys, its layout and remembered settings, file and folder
// choice, drops, the batches that probe them, the list's record and its filter, the facts of the
// selected file, the two report copies and saving.
#include "mainDialog.h"

#include "fileFacts.h"
#include "fileSystem.h"
#include "folderScan.h"
#include "loadFailure.h"
#include "probe.h"
#include "resource.h"
#include "rpApp.h"
#include "rpClipboard.h"
#include "rpFileDialog.h"
#include "rpMemoryStream.h"
#include "rpStrings.h"
#include "textCodec.h"
#include "validation.h"
#include "windowSettings.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int ListLineSize = 1000;    // one list line read back, terminator included
constexpr int ReportSize = 20000;     // the report text, terminator included
constexpr size_t ProgressNamesSize = 200;  // bytes of file names the caption shows, at most

}  // namespace

mainDialog::mainDialog()
    : rpDialogModal(nullptr, "MainDialog"), listBox(nullptr), filterEdit(nullptr), problemsOnly(nullptr),
      statusLine(nullptr), shownBlocks(0)
{
}

mainDialog::~mainDialog()
{
    // Normally stopped when the window closed; a dialog destroyed otherwise ends its workers here.
    if (batch)
        batch->stop();
}

bool mainDialog::command(int id, int code)
{
    switch (id) {
    case IDC_OPEN:
        // Unavailable during a batch (the button is disabled; a command sent anyway is ignored).
        if (!batch && getFile())
            checkDll();
        return true;
    case IDC_CLEAR:
        if (!batch)
            clearList();
        return true;
    case IDC_COPY:
        dataCopy();
        return true;
    case IDC_COPYHTML:
        dataCopy2();
        return true;
    case IDC_STOP:
        stopBatch();
        return true;
    case IDC_OPENFOLDER:
        if (!batch)
            openFolder();
        return true;
    case IDC_SAVE:
        if (listBox && listBox->count() > 0)
            saveList();
        return true;
    case IDC_AGAIN:
        probeAgain();
        return true;
    case IDC_FOCUSFILTER:
        if (filterEdit) {
            SetControl(filterEdit->hwnd, true);
            filterEdit->setSel(0, -1);
        }
        return true;
    case IDC_FILTER:
        if (code == EN_CHANGE)
            applyFilter();
        return true;
    case IDC_PROBLEMS:
        if (code == BN_CLICKED)
            applyFilter();
        return true;
    case IDC_RESULTS:
        if (code == LBN_SELCHANGE)
            showFacts();
        return true;
    case IDC_VALIDATE:
        validateList();
        return true;
    case IDOK:
        // Enter where no button takes it: the dialog stays, or the list would be lost. Esc, the
        // Close button and the close box still end it (IDCANCEL).
        return true;
    default:
        return rpDialogModal::command(id, code);
    }
}

bool mainDialog::translateKeys(MSG& msg)
{
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
        // Esc stops a batch; without one it is the dialog's own (the Close button's IDCANCEL).
        if (msg.wParam == VK_ESCAPE && !batch)
            return false;
        // Ctrl+C copies the list only from the list: in the filter box it copies its text.
        if (msg.wParam == 'C' && (!listBox || msg.hwnd != listBox->hwnd))
            return false;
    }
    return rpDialogModal::translateKeys(msg);
}

bool mainDialog::queryClose()
{
    stopBatch();
    if (!rpDialogModal::queryClose())
        return false;
    saveSettings();
    return true;
}

void mainDialog::onCreate()
{
    // The items exist, so the objects bind to them at once and the template's styles (an
    // unsorted list) stay; a style given here would apply only to a control made by the object.
    listBox = new rpListBox(this, "ListBox", IDC_RESULTS,
                            WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_SORT);
    filterEdit = new rpEdit(this, IDC_FILTER, 0);
    filterEdit->limitText(ProbeTextSize - 1);
    problemsOnly = new rpControl(this, "Button", IDC_PROBLEMS, 0);
    statusLine = new rpControl(this, "Static", IDC_STATUS, 0);
    results.attach(listBox);

    // The list and the filter box take the room a larger window gives; the buttons keep their
    // places against the edges they are near.
    const struct {
        int id;
        unsigned anchors;
    } anchors[] = {
        {IDC_RESULTS, rpAnchorLayout::All},           {IDC_FILTERLABEL, rpAnchorLayout::TopLeft},
        {IDC_FILTER, rpAnchorLayout::TopLeftRight},   {IDC_PROBLEMS, rpAnchorLayout::TopRight},
        {IDC_OPEN, rpAnchorLayout::TopLeft},          {IDC_STOP, rpAnchorLayout::TopLeft},
        {IDC_COPY, rpAnchorLayout::TopLeft},          {IDCANCEL, rpAnchorLayout::BottomRight},
        {IDC_STATUS, rpAnchorLayout::BottomLeftRight}, {IDC_BANNER, rpAnchorLayout::BottomLeft},
    };
    for (const auto& anchor : anchors)
        layout.add(anchor.id, anchor.anchors);
    layout.capture(hwnd);

    WindowSettings settings = loadWindowSettings(settingsKey);
    openDialogFolder = settings.openFolder;
    saveDialogFolder = settings.saveFolder;
    lastFolder = settings.browseFolder;
    if (settings.hasPlacement) {
        // Never minimised at start; maximised when it was, also when it was closed minimised
        // from maximised.
        WINDOWPLACEMENT placement = settings.placement;
        const bool maximized = placement.showCmd == SW_SHOWMAXIMIZED ||
                               (placement.showCmd == SW_SHOWMINIMIZED && (placement.flags & WPF_RESTORETOMAXIMIZED));
        placement.flags = 0;
        placement.showCmd = maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
        SetWindowPlacement(hwnd, &placement);
    } else {
        moveCenter();
    }
    DragAcceptFiles(hwnd, TRUE);
    // The list is the first control of the template, but the system gives the focus only once
    // the dialog is on screen; the list takes it then, for Ctrl+C and the arrow keys.
    SetControl(listBox->hwnd, false);
    // Files named on the command line (dropped on the program's icon, Send To) are probed once
    // the dialog is on screen; without them nothing changes.
    if (!startupFiles.empty())
        PostMessageA(hwnd, WM_PROBEARGS, 0, 0);
    SetTimer(hwnd, WarmTimer, WarmMs, nullptr);
}

bool mainDialog::resized(int, int, int)
{
    layout.apply();
    return true;
}

bool mainDialog::getMinMaxInfo(MINMAXINFO* info)
{
    if (!layout.captured() || !info)
        return false;
    info->ptMinTrackSize = layout.minimumSize();
    return true;
}

void mainDialog::saveSettings()
{
    if (settingsKey.empty())
        return;
    WindowSettings settings;
    settings.hasPlacement = getPlacement(settings.placement);
    settings.openFolder = openDialogFolder;
    settings.saveFolder = saveDialogFolder;
    settings.browseFolder = lastFolder;
    saveWindowSettings(settingsKey, settings);
}

bool mainDialog::other(rpEvent& e)
{
    if (e.msg == WM_PROBEARGS) {
        probeStartupFiles();
        return true;
    }
    if (e.msg == WM_BATCHEVENT) {
        batchEvent(reinterpret_cast<BatchEvent*>(e.lParam));
        return true;
    }
    if (e.msg == WM_TIMER && e.wParam == WarmTimer) {
        KillTimer(hwnd, WarmTimer);
        // Started now, not with the window, so that the window shows as fast as it did; started
        // before the first drop, so that the first batch costs what a later one does.
        if (!workers)
            workers = std::make_shared<WorkerPool>();
        warmWorkers(*workers, batchSettings);
        return true;
    }
    if (e.msg == WM_TIMER && e.wParam == ProgressTimer) {
        showProgress();
        return true;
    }
    if (e.msg == WM_CONTEXTMENU && listBox && reinterpret_cast<HWND>(e.wParam) == listBox->hwnd) {
        // From the keyboard (Shift+F10, the menu key) the position is -1, -1.
        POINT at = {GET_X_LPARAM(e.lParam), GET_Y_LPARAM(e.lParam)};
        showListMenu(at.x == -1 && at.y == -1 ? nullptr : &at);
        return true;
    }
    return rpDialogModal::other(e);
}

void mainDialog::showListMenu(const POINT* screen)
{
    POINT at = {0, 0};
    if (screen) {
        at = *screen;
    } else {
        // Keyboard: below the selected line, or at the top of the list when none is selected.
        RECT item = {0, 0, 0, 0};
        LRESULT selected = SendMessageA(listBox->hwnd, LB_GETCURSEL, 0, 0);
        if (selected != LB_ERR)
            SendMessageA(listBox->hwnd, LB_GETITEMRECT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&item));
        at.x = item.left + 8;
        at.y = item.bottom;
        ClientToScreen(listBox->hwnd, &at);
    }
    bool hasLines = listBox->count() > 0;
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuA(menu, MF_STRING | (hasLines ? 0 : MF_GRAYED), IDC_COPY, "コピー");
    AppendMenuA(menu, MF_STRING | (nmenu > 0 ? 0 : MF_GRAYED), IDC_COPYHTML, "HTMLコピー");
    AppendMenuA(menu, MF_STRING | (batch ? MF_GRAYED : 0), IDC_CLEAR, "クリア");
    AppendMenuA(menu, MF_STRING | (batch ? 0 : MF_GRAYED), IDC_STOP, "中止");
    AppendMenuA(menu, MF_STRING | (hasLines ? 0 : MF_GRAYED), IDC_SAVE, "保存...");
    AppendMenuA(menu, MF_STRING | (batch ? MF_GRAYED : 0), IDC_OPENFOLDER, "フォルダを開く...");
    AppendMenuA(menu, MF_STRING | (batch || sources.empty() ? MF_GRAYED : 0), IDC_AGAIN, "再検査");
    AppendMenuA(menu, MF_STRING | (batch || sources.empty() ? MF_GRAYED : 0), IDC_VALIDATE, "検証");
    // The chosen item reaches command() as WM_COMMAND, like the button of the same id.
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
    DestroyMenu(menu);
}

void mainDialog::clearList()
{
    if (listBox && !batch) {
        results.clear();
        sources.clear();
        showFacts();
    }
}

bool mainDialog::getFile()
{
    static const char* const filters[] = {"プラグイン", "*.dll", "全てのファイル", "*.*", nullptr};
    rpGetOpenFileName dialog(this);
    dialog.setFilters(filters);
    rpStrncpy(dialog.initialDir, openDialogFolder.c_str(), sizeof dialog.initialDir);
    char path[ProbeTextSize];
    if (dialog.run(path, nullptr) != 1)
        return false;
    openDialogFolder = dialog.initialDir;
    rpStrncpy(dllName, path, sizeof dllName);
    dialog.getFileTitle(fn, sizeof fn);
    return true;
}

void mainDialog::dropFiles(HDROP drop, int count, rpPoint* point, bool inClient)
{
    std::vector<std::wstring> paths;
    for (int i = 0; i < count; ++i) {
        // The real names, read whole: a name outside the ANSI code page or longer than the
        // record's path is still the file it names.
        UINT length = DragQueryFileW(drop, static_cast<UINT>(i), nullptr, 0);
        std::wstring path(length + 1, L'\0');
        DragQueryFileW(drop, static_cast<UINT>(i), &path[0], length + 1);
        path.resize(length);
        paths.push_back(path);
    }
    probeFiles(paths, true);
}

void mainDialog::checkDll()
{
    probeStartupFiles();
    BatchFile file = batchFileFor(toWide(dllName));
    file.shown = fn;
    queueFiles({file});
    sources.push_back(file.path);
}

// The files of the command line, once. A drop or an Open that comes before their posted message
// queues its files after them: the command line was first.
void mainDialog::probeStartupFiles()
{
    if (startupFiles.empty())
        return;
    std::vector<std::wstring> names;
    names.swap(startupFiles);
    probeFiles(fullPaths(names), true);
}

void mainDialog::probeFiles(const std::vector<std::wstring>& paths, bool expandFolders)
{
    probeStartupFiles();
    // Batch indexes of the new files start after those queued already.
    std::vector<BatchFile> files;
    std::vector<BatchFolder> folders;
    batchFilesFor(paths, expandFolders, batch ? batchFiles.size() : 0, &files, &folders);
    if (files.empty()) {
        if (folders.empty())
            return;
        if (!batch) {
            // Only folders without a library: their summaries, at once.
            clearList();
            for (const BatchFolder& folder : folders)
                results.addSummary(folderSummary(folder, {}), folder.shown);
        } else {
            // During a batch they come after the files queued before them.
            for (const BatchFolder& folder : folders)
                folderRuns.push_back({folder, false});
        }
    } else {
        queueFiles(files);
        for (const BatchFolder& folder : folders)
            folderRuns.push_back({folder, false});
    }
    // Each path as it was given: F5 scans a folder anew.
    sources.insert(sources.end(), paths.begin(), paths.end());
}

void mainDialog::probeAgain()
{
    if (batch || sources.empty())
        return;
    std::vector<std::wstring> again = sources;
    // The old workers end with their pool; the new batch starts new ones, which load every
    // file as it is now.
    workers.reset();
    probeFiles(again, true);
}

void mainDialog::openFolder()
{
    rpGetDirectoryName dialog(this);
    rpStrncpy(dialog.title, "プラグインのフォルダを選んでください", sizeof dialog.title);
    rpStrncpy(dialog.initialDir, lastFolder.c_str(), sizeof dialog.initialDir);
    char path[MAX_PATH] = "";
    // The folder dialog has no owner: the window is held while it is open, as a modal dialog
    // of its own would hold it.
    EnableWindow(hwnd, FALSE);
    bool chosen = dialog.run(path, -1) && path[0];
    EnableWindow(hwnd, TRUE);
    SetForegroundWindow(hwnd);
    if (!chosen)
        return;
    lastFolder = path;
    probeFiles({toWide(path)}, true);
}

void mainDialog::validateList()
{
    if (batch || sources.empty())
        return;
    // As F5 does, from what the list was made of, with the checks.
    std::vector<std::wstring> again = sources;
    validating = true;
    probeFiles(again, true);
    validating = false;
}

void mainDialog::queueFiles(const std::vector<BatchFile>& files)
{
    if (files.empty())
        return;
    if (!batch) {
        clearList();
        batchFiles.clear();
        finished.clear();
        folderRuns.clear();
        shownBlocks = 0;
        char text[300] = "";
        GetWindowTextA(hwnd, text, sizeof text);
        caption = text;
        // Workers started once the window was idle, or by this batch; they stay for the next one.
        if (!workers)
            workers = std::make_shared<WorkerPool>();
        BatchSettings settings = batchSettings;
        settings.validate = validating;
        validating = false;
        batch.reset(new ProbeBatch(hwnd, WM_BATCHEVENT, settings, workers));
        EnableWindow(GetDlgItem(hwnd, IDC_OPEN), FALSE);
        EnableWindow(GetDlgItem(hwnd, IDC_STOP), TRUE);
        // Setting the caption redraws the frame: it follows the batch a few times a second,
        // not with every block.
        SetTimer(hwnd, ProgressTimer, ProgressMs, nullptr);
    }
    batchFiles.insert(batchFiles.end(), files.begin(), files.end());
    batch->add(files);
    showProgress();
}

void mainDialog::batchEvent(BatchEvent* event)
{
    bool taken = takeBatchEvent(event);
    // The blocks that arrived meanwhile go into the list with this one.
    MSG msg;
    while (PeekMessageA(&msg, hwnd, WM_BATCHEVENT, WM_BATCHEVENT, PM_REMOVE))
        taken = takeBatchEvent(reinterpret_cast<BatchEvent*>(msg.lParam)) || taken;
    if (taken)
        showFinishedBlocks();
}

bool mainDialog::takeBatchEvent(BatchEvent* event)
{
    std::unique_ptr<BatchEvent> owned(event);
    if (!batch || !event || event->index < shownBlocks || event->index >= batchFiles.size())
        return false;  // from a batch that has ended
    finished[event->index] = std::move(owned);
    return true;
}

void mainDialog::showFinishedBlocks()
{
    std::vector<ResultList::NewBlock> group;
    std::vector<size_t> groupFiles;
    if (finished.count(shownBlocks)) {
        addDueSummaries(group, groupFiles);  // folders without a file that come before the next block
        for (auto next = finished.find(shownBlocks); next != finished.end(); next = finished.find(shownBlocks)) {
            BatchEvent& block = *next->second;
            const BatchFile& file = batchFiles[block.index];
            ResultList::NewBlock added;
            added.file = listedFile(file, block);
            // Read now, while the file is the one just probed; cheap (no hash).
            added.file.facts = readFileFacts(file.path);
            const std::vector<Finding> findings = validationFindings(block);
            added.lines = std::move(block.lines);
            for (const Finding& finding : findings) {
                added.lines.push_back(findingLine(finding));
                ++added.file.findings;
            }
            groupFiles.push_back(group.size());
            group.push_back(std::move(added));
            finished.erase(next);
            ++shownBlocks;
            addDueSummaries(group, groupFiles);
        }
    }
    if (!group.empty()) {
        // The record follows every shown file in turn, as it did when they came one by one.
        for (size_t shown : results.addBlocks(group))
            followRecord(results.files()[shown]);
    }
    if (batch && shownBlocks >= batch->queued())
        endBatch();
}

void mainDialog::stopBatch()
{
    if (!batch)
        return;
    batch->stop();
    // The blocks the workers posted before they ended are in the queue: take them now (the
    // last of them ends the batch when every queued file had been started).
    MSG msg;
    while (PeekMessageA(&msg, hwnd, WM_BATCHEVENT, WM_BATCHEVENT, PM_REMOVE))
        batchEvent(reinterpret_cast<BatchEvent*>(msg.lParam));
    if (!batch)
        return;
    // The batch ends with the files it had started; the others are dropped, and a folder's
    // summary counts the files of it that were started.
    size_t started = batch->started();
    batchFiles.resize(started);
    for (FolderRun& run : folderRuns) {
        BatchFolder& folder = run.folder;
        if (folder.first + folder.count > started)
            folder.count = folder.first < started ? started - folder.first : 0;
    }
    showFinishedBlocks();
    if (batch)
        endBatch();
}

void mainDialog::addDueSummaries(std::vector<ResultList::NewBlock>& group, const std::vector<size_t>& groupFiles)
{
    // During a batch the record's files are the batch's, in order: those listed already, then
    // the group's.
    const std::vector<ListedFile>& listed = results.files();
    const size_t known = listed.size() + groupFiles.size();
    for (FolderRun& run : folderRuns) {
        const BatchFolder& folder = run.folder;
        if (run.summarized || folder.first + folder.count > shownBlocks || folder.first + folder.count > known)
            continue;
        run.summarized = true;
        std::vector<ListedFile> files;
        for (size_t i = folder.first; i < folder.first + folder.count; ++i)
            files.push_back(i < listed.size() ? listed[i] : group[groupFiles[i - listed.size()]].file);
        ResultList::NewBlock summary;
        summary.lines = folderSummary(folder, files);
        summary.isSummary = true;
        summary.folder = folder.shown;
        group.push_back(std::move(summary));
    }
}

void mainDialog::followRecord(const ListedFile& file)
{
    rpStrncpy(dllName, file.path.c_str(), sizeof dllName);
    rpStrncpy(fn, file.shown.c_str(), sizeof fn);
    clearMenu();
    if (file.hasResult) {
        const ProbeResult& result = file.result;
        if (result.answers & ProbeAnsweredIds) {
            aid = result.aid;
            pid = result.pid;
        }
        if (result.answers & ProbeAnsweredName)
            rpStrncpy(pname, result.pname.c_str(), sizeof pname);
        if (result.answers & ProbeAnsweredType)
            ptype = result.ptype;
        for (size_t i = 0; i < result.strings.size(); ++i) {
            if (addMenu(result.strings[i].c_str()) && i < result.extensions.size() && !result.extensions[i].empty())
                addMenuExtension(result.extensions[i].c_str());
        }
    }
}

void mainDialog::applyFilter()
{
    if (!filterEdit || !problemsOnly)
        return;
    std::string text;
    filterEdit->getText(text);
    results.setFilter(text, problemsOnly->getCheck() == BST_CHECKED);
    // HTML copy takes the last plug-in the list shows; with none shown it has nothing.
    if (const ListedFile* last = results.lastShownFile())
        followRecord(*last);
    else
        clearMenu();
    showFacts();
}

void mainDialog::showFacts()
{
    if (!statusLine || !listBox)
        return;
    const ResultList::Block* block = results.blockAtLine(listBox->getCurSel());
    std::string text;
    if (block && block->file < 0) {
        text = block->folder;
    } else if (block) {
        const ListedFile& file = results.files()[static_cast<size_t>(block->file)];
        const FileFacts& facts = file.facts;
        text = file.path;
        if (!facts.found) {
            text += "   ファイルが見つかりません";
        } else {
            text += facts.bitness ? "   " + std::to_string(facts.bitness) + "ビット" : std::string("   ビット数不明");
            text += facts.fileVersion.empty() ? std::string("   バージョン情報なし") : "   バージョン " + facts.fileVersion;
            if (!facts.company.empty())
                text += "   " + fromWide(facts.company);
            text += "   " + groupedNumber(facts.size) + " バイト   " + localTimestamp(facts.modified);
        }
    }
    replaceControlCharacters(&text[0]);
    statusLine->setText(text.c_str());
}

void mainDialog::endBatch()
{
    // A stopped batch's folders, with the files that were started.
    std::vector<ResultList::NewBlock> group;
    addDueSummaries(group, {});
    results.addBlocks(group);
    KillTimer(hwnd, ProgressTimer);
    progress.clear();
    if (batch)
        batch->stop();
    batch.reset();
    finished.clear();
    SetWindowTextA(hwnd, caption.c_str());
    EnableWindow(GetDlgItem(hwnd, IDC_OPEN), TRUE);
    // The focus leaves the Stop button before it is disabled, or it would be lost.
    if (GetFocus() == GetDlgItem(hwnd, IDC_STOP))
        SetControl(listBox->hwnd, true);
    EnableWindow(GetDlgItem(hwnd, IDC_STOP), FALSE);
}

void mainDialog::showProgress()
{
    if (!batch)
        return;
    // The files being probed: started, and not yet in the list or waiting for an earlier one.
    std::string names;
    size_t more = 0;
    const size_t started = std::min(batch->started(), batchFiles.size());
    for (size_t i = shownBlocks; i < started; ++i) {
        if (finished.count(i))
            continue;
        const std::string& name = batchFiles[i].shown;
        if (more == 0 && (names.empty() || names.size() + name.size() + 2 <= ProgressNamesSize))
            names += (names.empty() ? "" : ", ") + name;
        else
            ++more;
    }
    if (more)
        names += ", ほか " + std::to_string(more) + " 件";
    replaceControlCharacters(&names[0]);
    char text[400 + ProgressNamesSize];
    formatBounded(text, sizeof text, names.empty() ? "%s  [%u/%u]" : "%s  [%u/%u] %s", caption.c_str(),
                  static_cast<unsigned>(shownBlocks), static_cast<unsigned>(batch->queued()), names.c_str());
    if (progress != text) {
        progress = text;
        SetWindowTextA(hwnd, text);
    }
}

void mainDialog::dataCopy()
{
    rpMemoryStream stream;
    rpClipText clipboard(this, CF_TEXT);  // owned by the dialog while open
    int count = listBox ? listBox->count() : 0;
    if (count <= 0)
        return;

    stream.wopen();
    writeListLines(stream);
    stream.close();

    // The text normally fits the fixed buffer; a longer report (many dropped files) is read
    // into one of its own size, so that no line is lost.
    int size = stream.dataSize;
    char fixed[ReportSize];
    std::vector<char> large;
    char* text = fixed;
    if (size + 1 > ReportSize) {
        large.assign(static_cast<size_t>(size) + 1, 0);
        text = large.data();
    }
    stream.ropen();
    int got = 0;
    stream.read(text, size, &got);
    text[got] = 0;
    dbout("buf=[%s]\n", text);
    clipboard.putData(text, got + 1, 0);
    stream.releaseHeap();
}

void mainDialog::writeListLines(rpMemoryStream& stream)
{
    int count = listBox ? listBox->count() : 0;
    for (int i = 0; i < count; ++i) {
        // A line longer than the line buffer is cut at a whole character.
        char line[ListLineSize] = "";
        if (listBox->getText(i, line, sizeof line) < 0)
            continue;
        stream.putsln(line);
    }
}

void mainDialog::saveList()
{
    static const char* const filters[] = {"テキスト (*.txt)", "*.txt", "HTML (*.html)", "*.html", nullptr};
    rpGetSaveFileName dialog(this);
    dialog.setFilters(filters);
    rpStrncpy(dialog.initialDir, saveDialogFolder.c_str(), sizeof dialog.initialDir);
    // Without an extension, so that the chosen type's is added (a typed one decides the type).
    rpStrncpy(dialog.fileBuf, suggestedName().c_str(), rpGetFileName::MaxFile);
    char path[rpGetFileName::MaxFile] = "";
    if (!dialog.run(path))
        return;
    saveDialogFolder = dialog.initialDir;
    const size_t length = std::strlen(path);
    auto endsWith = [&](const char* ext) {
        size_t n = std::strlen(ext);
        return length >= n && lstrcmpiA(path + length - n, ext) == 0;
    };
    // The name's extension decides; without one of the two, the chosen filter does.
    const bool html = endsWith(".html") || endsWith(".htm") || (!endsWith(".txt") && dialog.ofn.nFilterIndex == 2);

    std::string bytes;
    if (html) {
        bytes = htmlReport(INSPECTOR_TITLE, results.shownFiles(), results.shownSummaries());
    } else {
        // The text of Copy, byte for byte.
        rpMemoryStream stream;
        stream.wopen();
        writeListLines(stream);
        stream.close();
        bytes.assign(static_cast<size_t>(stream.dataSize), '\0');
        int got = 0;
        stream.ropen();
        if (!bytes.empty())
            stream.read(&bytes[0], stream.dataSize, &got);
        bytes.resize(static_cast<size_t>(got));
        stream.releaseHeap();
    }
    DWORD error = saveWhole(path, bytes);
    if (error != 0) {
        std::string reason = systemMessageLine(error);
        char text[ListLineSize];
        formatBounded(text, sizeof text, "保存できませんでした: %s\r\n%s", path, reason.c_str() + 2);
        MessageBoxA(hwnd, text, INSPECTOR_TITLE, MB_OK | MB_ICONERROR);
    }
}

std::string mainDialog::suggestedName() const
{
    // The folder of the list's first folder batch: its last name, without a trailing backslash.
    for (const ResultList::Block& block : results.blocks()) {
        if (block.file >= 0)
            continue;
        std::string folder = block.folder;
        while (!folder.empty() && rpLastBackslash(folder.c_str()) == &folder[folder.size() - 1])
            folder.pop_back();
        const char* last = rpLastBackslash(folder.c_str());
        std::string name = last ? std::string(last + 1) : folder;
        // A drive's root ("C:") has no name of its own.
        if (!name.empty() && name.find(':') == std::string::npos)
            return name;
        break;
    }
    return "plugins";
}

void mainDialog::dataCopy2()
{
    rpMemoryStream stream;
    rpClipText clipboard(this, CF_TEXT);  // owned by the dialog while open
    stream.reserve(ReportSize);
    stream.wopen();
    const char* type = typeName[ptype >= 0 && ptype < 8 ? ptype : 0];
    for (int i = 0; i < nmenu && i < MenuMax; ++i) {
        stream.putsln("<tr>");
        stream.formatln("<td rowspan=1>%s</td>", type);
        stream.formatln("<td rowspan=1>%s</td>", fn);
        // A collected string may be longer than the stream's format buffer: written as it is,
        // so the cell keeps both the whole string and its closing tag.
        stream.puts("<td >");
        stream.puts(menu[i]);
        stream.putsln("</td>");
        stream.formatln("<td rowspan=1>%s", pname);
        stream.putsln("</td></tr>");
    }
    stream.close();

    int size = stream.dataSize;
    char* text = reinterpret_cast<char*>(stream.dataAddress());
    std::vector<char> large;
    if (!text || size + 1 > stream.headSize) {
        // The rows did not fit the head block (or it could not be had): the rest lies in the
        // stream's pages, so read the whole text back into one block of its own size.
        large.assign(static_cast<size_t>(size) + 1, 0);
        stream.ropen();
        int got = 0;
        if (size > 0)
            stream.read(large.data(), size, &got);
        size = got;
        text = large.data();
    }
    text[size] = 0;
    dbout("mfsize %d %x\n", size, static_cast<unsigned>(reinterpret_cast<uintptr_t>(text)));
    clipboard.putData(text, size + 1, 0);
    stream.releaseHeap();
}
