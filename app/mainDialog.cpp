// The main dialog: commands, file choice, drops and the two report copies.
#include "mainDialog.h"

#include "probe.h"
#include "resource.h"
#include "rpClipboard.h"
#include "rpFileDialog.h"
#include "rpMemoryStream.h"
#include "rpApp.h"
#include "rpPathname.h"
#include "rpStrings.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int ListLineSize = 1000;    // one list line read back, terminator included
constexpr int ReportSize = 20000;     // the report text, terminator included

// Holds the list's drawing while a batch of probes adds its lines: otherwise every added line
// redraws the list and its scroll bar at once, which costs far more than the probes themselves.
// The list is repainted when the batch ends.
class ListBatch {
public:
    explicit ListBatch(rpListBox* listBox) : list_(listBox ? listBox->hwnd : nullptr)
    {
        if (list_)
            SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    }
    ~ListBatch()
    {
        if (list_) {
            SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(list_, nullptr, TRUE);
        }
    }
    ListBatch(const ListBatch&) = delete;
    ListBatch& operator=(const ListBatch&) = delete;

private:
    HWND list_;  // not owned
};

}  // namespace

mainDialog::mainDialog() : rpDialogModal(nullptr, "MainDialog"), listBox(nullptr) {}

bool mainDialog::command(int id, int code)
{
    switch (id) {
    case IDC_OPEN:
        if (getFile()) {
            ListBatch batch(listBox);
            clearList();
            checkDll();
        }
        return true;
    case IDC_CLEAR:
        clearList();
        return true;
    case IDC_COPY:
        dataCopy();
        return true;
    case IDC_COPYHTML:
        dataCopy2();
        return true;
    case IDOK:
        // Enter where no button takes it: the dialog stays, or the list would be lost. Esc, the
        // Close button and the close box still end it (IDCANCEL).
        return true;
    default:
        return rpDialogModal::command(id, code);
    }
}

void mainDialog::onCreate()
{
    moveCenter();
    // The item exists, so the object binds to it at once and the template's style (unsorted)
    // stays; the style given here would apply only to a list box created by the object.
    listBox = new rpListBox(this, "ListBox", IDC_RESULTS,
                            WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_SORT);
    DragAcceptFiles(hwnd, TRUE);
    // The system gives the first control of the template, the Close button, the focus, where
    // Enter or Space would end the dialog; the list takes it once the dialog is on screen.
    SetControl(listBox->hwnd, false);
    // Files named on the command line (dropped on the program's icon, Send To) are probed once
    // the dialog is on screen; without them nothing changes.
    if (App.argc > 1)
        PostMessageA(hwnd, WM_PROBEARGS, 0, 0);
}

bool mainDialog::other(rpEvent& e)
{
    if (e.msg == WM_PROBEARGS) {
        probeArguments(App.argc, App.argv);
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

void mainDialog::probeArguments(int argc, char** argv)
{
    ListBatch batch(listBox);
    clearList();
    for (int i = 1; i < argc; ++i) {
        if (!argv[i] || !argv[i][0])
            continue;
        // A relative name is taken against the current directory, as the shell would.
        rpPathname pathname;
        probeFile(pathname.storeName(argv[i]) == 0 ? pathname.path : argv[i]);
    }
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
    bool hasLines = SendMessageA(listBox->hwnd, LB_GETCOUNT, 0, 0) > 0;
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuA(menu, MF_STRING | (hasLines ? 0 : MF_GRAYED), IDC_COPY, "コピー");
    AppendMenuA(menu, MF_STRING | (nmenu > 0 ? 0 : MF_GRAYED), IDC_COPYHTML, "HTMLコピー");
    AppendMenuA(menu, MF_STRING, IDC_CLEAR, "クリア");
    // The chosen item reaches command() as WM_COMMAND, like the button of the same id.
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
    DestroyMenu(menu);
}

void mainDialog::clearList()
{
    if (listBox)
        SendMessageA(listBox->hwnd, LB_RESETCONTENT, 0, 0);
}

bool mainDialog::getFile()
{
    static const char* const filters[] = {"プラグイン", "*.dll", "全てのファイル", "*.*", nullptr};
    rpGetOpenFileName dialog(this);
    dialog.setFilters(filters);
    char path[ProbeTextSize];
    if (dialog.run(path, nullptr) != 1)
        return false;
    rpStrncpy(dllName, path, sizeof dllName);
    dialog.getFileTitle(fn, sizeof fn);
    return true;
}

void mainDialog::dropFiles(HDROP drop, int count, rpPoint* point, bool inClient)
{
    ListBatch batch(listBox);
    clearList();
    for (int i = 0; i < count; ++i) {
        // Read whole, so that a path too long for the record is reported rather than cut.
        UINT length = DragQueryFileA(drop, static_cast<UINT>(i), nullptr, 0);
        std::vector<char> path(length + 1, 0);
        DragQueryFileA(drop, static_cast<UINT>(i), path.data(), length + 1);
        probeFile(path.data());
    }
}

void mainDialog::probeFile(const char* path)
{
    rpPathname pathname;
    bool split = pathname.storeName(path) == 0 && pathname.filePos;
    // A name that cannot be split is shown as given.
    rpStrncpy(fn, split ? pathname.filePos : path, sizeof fn);
    if (std::strlen(path) >= sizeof dllName) {
        // The record cannot hold the path, and a cut path could name another file: report the
        // system's code for a name that is too long instead of loading anything.
        dllName[0] = 0;
        probeDll(listBox ? listBox->hwnd : nullptr, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    rpStrncpy(dllName, path, sizeof dllName);
    checkDll();
}

void mainDialog::checkDll()
{
    probeDll(listBox ? listBox->hwnd : nullptr);
}

void mainDialog::dataCopy()
{
    rpMemoryStream stream;
    rpClipText clipboard(this, CF_TEXT);  // owned by the dialog while open
    HWND list = listBox ? listBox->hwnd : nullptr;
    int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    if (count <= 0)
        return;

    stream.wopen();
    std::vector<char> longLine;
    for (int i = 0; i < count; ++i) {
        char line[ListLineSize] = "";
        LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0)
            continue;
        if (length < ListLineSize) {
            SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line));
        } else {
            // A line longer than the line buffer is cut at a whole character.
            longLine.assign(static_cast<size_t>(length) + 1, 0);
            SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(longLine.data()));
            rpStrncpy(line, longLine.data(), sizeof line);
        }
        stream.putsln(line);
    }
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
