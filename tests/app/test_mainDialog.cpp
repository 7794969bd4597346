// The inspector's main dialog in this process: its template, its commands, real drops through
// WM_DROPFILES, the Open button with the real file dialog, and both report copies through the
// real clipboard.
#include "mainDialog.h"

#include "filedialogdriver.h"
#include "runninginspector.h"
#include "loadFailure.h"
#include "modaldriver.h"
#include "probe.h"
#include "resource.h"
#include "rpApp.h"
#include "testsupport.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::wide;
using testsupport::readFile;
using testsupport::clipboardText;
using testsupport::setClipboardText;

using Lines = std::vector<std::string>;

// ---- Dialog helpers.

Lines listLines(HWND list)
{
    Lines lines;
    int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::vector<char> text(SendMessageA(list, LB_GETTEXTLEN, i, 0) + 1);
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        lines.push_back(text.data());
    }
    return lines;
}

std::string joinCrLf(const Lines& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// Drops files on a window the way the shell does: a movable global DROPFILES block with the
// ANSI names, sent as WM_DROPFILES. The receiver frees it (DragFinish).
void dropOn(HWND window, const std::vector<std::string>& files)
{
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& f : files)
        size += f.size() + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    ASSERT_NE(block, nullptr);
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->pt = {30, 60};
    header->fNC = FALSE;
    header->fWide = FALSE;
    char* p = reinterpret_cast<char*>(header) + sizeof(DROPFILES);
    for (const std::string& f : files) {
        std::memcpy(p, f.c_str(), f.size() + 1);
        p += f.size() + 1;
    }
    GlobalUnlock(block);
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
}

void sendCommand(HWND window, int id)
{
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

// Dispatches messages until the dialog's batch has shown every block (or 30 s pass).
bool waitForBatch(mainDialog& dialog)
{
    for (DWORD start = GetTickCount(); dialog.batchRunning(); Sleep(5)) {
        if (GetTickCount() - start > 30000)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

class MainDialogTest : public testing::Test {
protected:
    void TearDown() override { testsupport::cancelPending(); }

    // Runs the main dialog modally, its workers being the real inspector of this build; steps
    // run inside its modal loop with the live dialog, then the Close button ends it. Files in
    // startup are the dialog's start-up files. Returns what run() returned.
    int runDialog(std::function<void(mainDialog& dialog, HWND window, HWND list)> steps,
                  const std::vector<std::wstring>& startup = {})
    {
        mainDialog* dialog = new mainDialog();
        dialog->batchSettings.executable = wide(testsupport::inspectorPath());
        dialog->startupFiles = startup;
        bool ran = false;
        testsupport::runLater(50, [&] {
            ran = true;
            HWND window = dialog->hwnd;
            steps(*dialog, window, GetDlgItem(window, IDC_RESULTS));
            sendCommand(window, IDCANCEL);
        });
        int result = dialog->run();
        EXPECT_TRUE(ran);
        return result;
    }

    // Drops files and waits until their batch is done.
    void dropAndWait(mainDialog& dialog, const std::vector<std::string>& files)
    {
        dropOn(dialog.hwnd, files);
        EXPECT_TRUE(waitForBatch(dialog));
    }

    std::string fixture(const char* name) { return testsupport::fixturePath(name); }
    testsupport::ModalGuard guard{15000};
};

// ---- The template.

// Reads a WORD-aligned string or ordinal of a dialog template; ordinals come back as "#n".
std::wstring templateText(const WORD*& p)
{
    if (*p == 0xFFFF) {
        std::wstring ordinal = L"#" + std::to_wstring(p[1]);
        p += 2;
        return ordinal;
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(p));
    p += text.size() + 1;
    return text;
}

std::wstring wide(const char* sjis)
{
    wchar_t buffer[200] = {};
    MultiByteToWideChar(932, 0, sjis, -1, buffer, 200);
    return buffer;
}

TEST(MainDialogTemplate, IsResizableWithItsControlsInTabOrder)
{
    HRSRC found = FindResourceA(nullptr, "MainDialog", MAKEINTRESOURCEA(5));
    ASSERT_NE(found, nullptr);
    const auto* dlg = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, found)));
    EXPECT_EQ(dlg->style, 0x90CF00C0u);  // with WS_THICKFRAME, WS_MINIMIZEBOX and WS_MAXIMIZEBOX
    EXPECT_EQ(dlg->x, 0);
    EXPECT_EQ(dlg->y, 0);
    EXPECT_EQ(dlg->cx, 300);
    EXPECT_EQ(dlg->cy, 260);
    ASSERT_EQ(dlg->cdit, 10);
    const WORD* p = reinterpret_cast<const WORD*>(dlg + 1);
    EXPECT_EQ(templateText(p), L"");  // no menu
    EXPECT_EQ(templateText(p), L"");  // the default dialog class
    EXPECT_EQ(templateText(p), wide(INSPECTOR_TITLE "  " RP_VERSION_TEXT));
    EXPECT_EQ(*p++, 9);
    EXPECT_EQ(templateText(p), wide("ＭＳ Ｐゴシック"));

    struct Item {
        DWORD style;
        short x, y, cx, cy;
        WORD id;
        const wchar_t* cls;
        const char* text;
    } expected[] = {
        // The list (with WS_HSCROLL), the filter, then the buttons: the tab order.
        {0x50B10101, 20, 52, 250, 146, 260, L"LISTBOX", ""},
        {0x50000080, 20, 39, 36, 8, 130, L"STATIC", "絞り込み:"},
        {0x50810080, 58, 37, 150, 12, 131, L"EDIT", ""},
        {0x50010003, 214, 38, 56, 10, 132, L"BUTTON", "問題のみ"},
        {0x50010000, 20, 20, 48, 14, 120, L"BUTTON", "開く"},
        {0x58010000, 72, 20, 48, 14, 124, L"BUTTON", "中止"},
        {0x50010000, 160, 20, 48, 14, 122, L"BUTTON", "コピー"},
        {0x50010000, 200, 220, 50, 14, IDCANCEL, L"BUTTON", "閉じる"},
        {0x50008080, 20, 201, 250, 10, 133, L"STATIC", ""},
        {0x50020000, 40, 220, 100, 11, 100, L"STATIC", INSPECTOR_BANNER},
    };
    for (const Item& want : expected) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        EXPECT_EQ(item->style, want.style) << item->id;
        EXPECT_EQ(item->dwExtendedStyle, 0u);
        EXPECT_EQ(item->x, want.x);
        EXPECT_EQ(item->y, want.y);
        EXPECT_EQ(item->cx, want.cx);
        EXPECT_EQ(item->cy, want.cy);
        EXPECT_EQ(item->id, want.id);
        p = reinterpret_cast<const WORD*>(item + 1);
        std::wstring cls = templateText(p);
        // Either the predefined class's ordinal or its name.
        const wchar_t* ordinal = want.id == 260                             ? L"#131"
                                 : want.id == 131                           ? L"#129"
                                 : want.id == 100 || want.id == 130 || want.id == 133 ? L"#130"
                                                                            : L"#128";
        EXPECT_TRUE(lstrcmpiW(cls.c_str(), want.cls) == 0 || cls == ordinal) << item->id;
        EXPECT_EQ(templateText(p), wide(want.text));
        p += 1 + *p / sizeof(WORD);  // creation data
    }
}

// ---- The dialog.

TEST_F(MainDialogTest, OpensCentredWithTheCaptionAnUnsortedListAndAcceptsFiles)
{
    int result = runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        char caption[200] = "";
        GetWindowTextA(window, caption, sizeof caption);
        EXPECT_STREQ(caption, INSPECTOR_TITLE "  " RP_VERSION_TEXT);

        RECT r;
        GetWindowRect(window, &r);
        EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXFULLSCREEN) - (r.right - r.left)) / 2);
        EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYFULLSCREEN) - (r.bottom - r.top)) / 2);

        ASSERT_NE(dialog.listBox, nullptr);
        EXPECT_EQ(dialog.listBox->hwnd, list);
        EXPECT_EQ(rpWin::GetWin(list), dialog.listBox);
        EXPECT_EQ(GetWindowLongPtrA(list, GWL_STYLE) & LBS_SORT, 0);
        EXPECT_NE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);

        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("b"));
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("a"));
        EXPECT_EQ(listLines(list), (Lines{"b", "a"}));
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(MainDialogTest, DroppedFilesAreProbedInOrderAndCopyTakesAllWhileHtmlTakesTheLast)
{
    testsupport::TempDir temp;
    std::string text = temp.writeFile("notes.txt", "plain text\r\n");
    std::string folder = temp.file("folder.dll");
    CreateDirectoryA(folder.c_str(), nullptr);

    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("earlier line"));
        dropAndWait(dialog, {fixture("plug_command.dll"), text, folder, fixture("plug_import.dll")});
        Lines lines = listLines(list);
        ASSERT_GE(lines.size(), 15u);
        EXPECT_EQ(lines[0], "");  // cleared once: the earlier line is gone
        EXPECT_EQ(lines[1], "プラグイン  plug_command.dll");
        EXPECT_EQ(lines[8], "");
        EXPECT_EQ(lines[9], "プラグイン  notes.txt");
        EXPECT_EQ(lines[10], "load error 193");
        EXPECT_EQ(lines[11], "  WindowsのDLLではありません");
        // A dropped folder is a folder batch: this one holds no library, so its summary only,
        // in its place among the files.
        EXPECT_EQ(Lines(lines.begin() + 12, lines.begin() + 17),
                  (Lines{"", "フォルダ  " + folder, "  ファイル数= 0", "  読み込みエラー= 0", "  異常終了= 0"}));
        EXPECT_EQ(lines[17], "");
        EXPECT_EQ(lines[18], "プラグイン  plug_import.dll");
        EXPECT_EQ(lines.size(), 19u + 5u);
        EXPECT_EQ(std::string(dllName), fixture("plug_import.dll"));
        EXPECT_STREQ(fn, "plug_import.dll");

        ASSERT_TRUE(setClipboardText("before"));
        sendCommand(window, IDC_COPY);
        EXPECT_EQ(clipboardText(), joinCrLf(lines));

        sendCommand(window, IDC_COPYHTML);
        std::string html = clipboardText();
        EXPECT_EQ(html.rfind("<tr>\r\n<td rowspan=1>Import</td>\r\n<td rowspan=1>plug_import.dll</td>\r\n", 0), 0u);
        EXPECT_EQ(html.find("plug_command"), std::string::npos);
    });
}

TEST_F(MainDialogTest, HtmlCopyGivesSixLinesPerCollectedString)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND) {
        dropAndWait(dialog, {fixture("plug_command.dll")});
        sendCommand(window, IDC_COPYHTML);
        std::string expected;
        for (const char* item : {"表示(&V)", "Second item", "三番目"}) {
            expected += "<tr>\r\n<td rowspan=1>Command</td>\r\n<td rowspan=1>plug_command.dll</td>\r\n";
            expected += std::string("<td >") + item + "</td>\r\n<td rowspan=1>テストコマンド\r\n</td></tr>\r\n";
        }
        EXPECT_EQ(clipboardText(), expected);
    });
}

TEST_F(MainDialogTest, CopyOfAnEmptyListLeavesTheClipboardAloneAndHtmlOfNothingIsEmpty)
{
    testsupport::TempDir temp;
    std::string text = temp.writeFile("notes.txt", "plain text\r\n");
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        ASSERT_TRUE(setClipboardText("keep me"));
        sendCommand(window, IDC_COPY);
        EXPECT_EQ(clipboardText(), "keep me");

        dropAndWait(dialog, {text});  // a load error: nothing collected
        sendCommand(window, IDC_COPYHTML);
        EXPECT_EQ(clipboardText(), "");
    });
}

TEST_F(MainDialogTest, ClearCommandEmptiesTheListButKeepsTheRecord)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        dropAndWait(dialog, {fixture("plug_command.dll")});
        ASSERT_EQ(nmenu, 3);
        sendCommand(window, IDC_CLEAR);
        EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
        EXPECT_EQ(nmenu, 3);
        EXPECT_STREQ(pname, "テストコマンド");
    });
}

TEST_F(MainDialogTest, OpenButtonProbesTheChosenFileAndCancelKeepsTheList)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("kept"));
        bool answered = false;
        testsupport::answerFileDialog("", true, &answered);
        sendCommand(window, IDC_OPEN);
        EXPECT_TRUE(answered);
        EXPECT_FALSE(dialog.batchRunning());
        EXPECT_EQ(listLines(list), (Lines{"kept"}));

        answered = false;
        testsupport::answerFileDialog(fixture("plug_import.dll"), false, &answered);
        sendCommand(window, IDC_OPEN);
        EXPECT_TRUE(answered);
        EXPECT_TRUE(waitForBatch(dialog));
        Lines lines = listLines(list);
        ASSERT_EQ(lines.size(), 7u);
        EXPECT_EQ(lines[1], "プラグイン  plug_import.dll");
        EXPECT_EQ(lines[6], "  ファイルタイプ[1]= [Text file] [*.txt]");
        EXPECT_EQ(lstrcmpiA(dllName, fixture("plug_import.dll").c_str()), 0);
        EXPECT_STREQ(fn, "plug_import.dll");
    });
}

TEST_F(MainDialogTest, ReportsLongerThanTheTextBufferAreCopiedWhole)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        dropAndWait(dialog, {fixture("plug_endless.dll"), fixture("plug_oversized.dll")});
        Lines lines = listLines(list);
        std::string expected = joinCrLf(lines);
        ASSERT_GT(expected.size(), 20000u);
        sendCommand(window, IDC_COPY);
        EXPECT_EQ(clipboardText(), expected);

        sendCommand(window, IDC_COPYHTML);
        std::string html = clipboardText();
        EXPECT_GT(html.size(), 20000u);
        size_t rows = 0;
        for (size_t at = html.find("<tr>\r\n"); at != std::string::npos; at = html.find("<tr>\r\n", at + 1))
            ++rows;
        EXPECT_EQ(rows, static_cast<size_t>(nmenu));
        EXPECT_EQ(html.substr(html.size() - 12), "</td></tr>\r\n");
        EXPECT_NE(html.find(std::string("<td >") + menu[nmenu - 1] + "</td>"), std::string::npos);
    });
}

TEST_F(MainDialogTest, ACopyWhileAnotherProgramHoldsTheClipboardFailsSilently)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        dropAndWait(dialog, {fixture("plug_command.dll")});
        ASSERT_TRUE(setClipboardText("held"));

        // Another thread with a window of its own (standing in for another program) keeps the
        // clipboard open.
        HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread holder([&] {
            HWND owner = CreateWindowExA(0, "Static", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
            bool held = OpenClipboard(owner) != 0;
            EXPECT_TRUE(held);
            SetEvent(opened);
            WaitForSingleObject(release, 10000);
            if (held)
                CloseClipboard();
            DestroyWindow(owner);
        });
        WaitForSingleObject(opened, 5000);
        sendCommand(window, IDC_COPY);
        sendCommand(window, IDC_COPYHTML);
        SetEvent(release);
        holder.join();
        CloseHandle(opened);
        CloseHandle(release);
        EXPECT_EQ(clipboardText(), "held");

        sendCommand(window, IDC_COPY);
        EXPECT_EQ(clipboardText(), joinCrLf(listLines(list)));
    });
}

TEST_F(MainDialogTest, EnterKeepsTheDialogAndTheListStartsWithTheFocus)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        dropAndWait(dialog, {fixture("plug_command.dll")});
        testsupport::pumpMessages(100);
        EXPECT_EQ(GetFocus(), list);
        // Enter and Space on the control that has the focus, through the dialog manager as the
        // modal loop would pass them (these steps run inside that loop, so it is not pumping),
        // and the IDOK command itself.
        HWND focus = GetFocus();
        for (WPARAM key : {VK_RETURN, VK_SPACE}) {
            PostMessageA(focus, WM_KEYDOWN, key, 1);
            PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(window, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        ASSERT_TRUE(IsWindowVisible(window));
        sendCommand(window, IDOK);
        ASSERT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 8);
    });
}

TEST_F(MainDialogTest, CopiesBelongToTheDialogAndLongStringsKeepTheirMarkup)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        dropAndWait(dialog, {fixture("plug_longstring.dll")});
        ASSERT_EQ(nmenu, 1);
        ASSERT_EQ(std::strlen(menu[0]), 9990u);
        sendCommand(window, IDC_COPYHTML);
        EXPECT_EQ(GetClipboardOwner(), window);
        std::string html = clipboardText();
        std::string cell = std::string("<td >") + menu[0] + "</td>\r\n";
        EXPECT_NE(html.find(cell), std::string::npos);
        EXPECT_EQ(html.substr(html.size() - 12), "</td></tr>\r\n");

        sendCommand(window, IDC_COPY);
        EXPECT_EQ(GetClipboardOwner(), window);
        EXPECT_EQ(clipboardText(), joinCrLf(listLines(list)));
    });
}

// ---- Size, sideways scrolling and the facts of a file.

RECT placeIn(HWND window, int id)
{
    RECT r = {};
    GetWindowRect(GetDlgItem(window, id), &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The widest of the list's lines in its font, measured here.
int widestLine(HWND list)
{
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (const std::string& line : listLines(list)) {
        SIZE size = {};
        GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    return widest;
}

// A larger window gives its room to the list (and the filter box); the buttons keep their places
// against their edges; the template's size is the least. The list scrolls sideways as far as its
// widest line, whatever lines it shows.
TEST_F(MainDialogTest, ResizesAroundTheListAndScrollsSidewaysToTheWidestLine)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), WS_THICKFRAME | WS_MAXIMIZEBOX);
        RECT start = {};
        GetWindowRect(window, &start);
        const int width = start.right - start.left, height = start.bottom - start.top;
        RECT startClient = {};
        GetClientRect(window, &startClient);
        std::map<int, RECT> before;
        for (int id : {IDC_RESULTS, IDCANCEL, IDC_OPEN, IDC_STOP, IDC_COPY, IDC_FILTER, IDC_PROBLEMS, IDC_STATUS, IDC_BANNER})
            before[id] = placeIn(window, id);
        // What each grows (right, bottom) and moves (left, top) by, of dx and dy.
        auto expectMoved = [&](int id, int left, int top, int right, int bottom, int dx, int dy) {
            RECT now = placeIn(window, id), was = before[id];
            EXPECT_EQ(now.left, was.left + left * dx) << id;
            EXPECT_EQ(now.top, was.top + top * dy) << id;
            EXPECT_EQ(now.right, was.right + right * dx) << id;
            EXPECT_EQ(now.bottom, was.bottom + bottom * dy) << id;
        };
        auto expectLayout = [&](int dx, int dy) {
            expectMoved(IDC_RESULTS, 0, 0, 1, 1, dx, dy);
            expectMoved(IDCANCEL, 1, 1, 1, 1, dx, dy);
            for (int id : {IDC_OPEN, IDC_STOP, IDC_COPY})
                expectMoved(id, 0, 0, 0, 0, dx, dy);
            expectMoved(IDC_FILTER, 0, 0, 1, 0, dx, dy);
            expectMoved(IDC_PROBLEMS, 1, 0, 1, 0, dx, dy);
            expectMoved(IDC_STATUS, 0, 1, 1, 1, dx, dy);
            expectMoved(IDC_BANNER, 0, 1, 0, 1, dx, dy);
        };
        SetWindowPos(window, nullptr, 0, 0, width + 240, height + 160, SWP_NOMOVE | SWP_NOZORDER);
        expectLayout(240, 160);
        SetWindowPos(window, nullptr, 0, 0, width / 2, height / 2, SWP_NOMOVE | SWP_NOZORDER);
        RECT least = {};
        GetWindowRect(window, &least);
        EXPECT_EQ(least.right - least.left, width);
        EXPECT_EQ(least.bottom - least.top, height);
        expectLayout(0, 0);
        // Maximised, the list keeps its margins to the window's right and bottom edges.
        ShowWindow(window, SW_MAXIMIZE);
        RECT client = {};
        GetClientRect(window, &client);
        EXPECT_GT(client.right, startClient.right);
        EXPECT_EQ(client.right - placeIn(window, IDC_RESULTS).right, startClient.right - before[IDC_RESULTS].right);
        EXPECT_EQ(client.bottom - placeIn(window, IDC_RESULTS).bottom, startClient.bottom - before[IDC_RESULTS].bottom);
        ShowWindow(window, SW_RESTORE);

        // Sideways: a line of 299 bytes is far wider than the list.
        dropAndWait(dialog, {fixture("plug_longstring.dll"), fixture("plug_command.dll")});
        const int widest = widestLine(list);
        RECT listClient = {};
        GetClientRect(list, &listClient);
        ASSERT_GT(widest, listClient.right);
        int extent = static_cast<int>(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
        EXPECT_GE(extent, widest);
        EXPECT_LE(extent, widest + 8);
        SCROLLINFO bar = {};
        bar.cbSize = sizeof bar;
        bar.fMask = SIF_RANGE;
        ASSERT_TRUE(GetScrollInfo(list, SB_HORZ, &bar));
        EXPECT_GE(bar.nMax + 1, widest);
        // Filtered to the command plug-in's block: the extent follows the lines shown.
        SetDlgItemTextA(window, IDC_FILTER, "plug_command");
        ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 8);
        const int narrower = widestLine(list);
        extent = static_cast<int>(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
        EXPECT_GE(extent, narrower);
        EXPECT_LE(extent, narrower + 8);
        SetDlgItemTextA(window, IDC_FILTER, "");
        EXPECT_GE(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), widest);
        sendCommand(window, IDC_CLEAR);
        EXPECT_EQ(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), 0);
    });
}

std::string grouped(ULONGLONG value)
{
    std::string digits = std::to_string(value), text;
    for (size_t i = 0; i < digits.size(); ++i)
        text += (i && (digits.size() - i) % 3 == 0 ? "," : "") + digits.substr(i, 1);
    return text;
}

// The status line under the list: the selected block's file, its bitness, version, company,
// size and date.
TEST_F(MainDialogTest, TheStatusLineShowsTheFactsOfTheSelectedBlocksFile)
{
    testsupport::TempDir temp;
    const std::string text = temp.writeFile("notes.dll", "not a library");
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        dropAndWait(dialog, {fixture("plug_versioned.dll"), text});
        auto select = [&](int line) {
            SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(line), 0);
            SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_RESULTS, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
            char status[1000] = "";
            GetDlgItemTextA(window, IDC_STATUS, status, sizeof status);
            return std::string(status);
        };
        auto dateOf = [](const std::string& path, ULONGLONG* size) {
            WIN32_FILE_ATTRIBUTE_DATA data = {};
            GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
            *size = data.nFileSizeLow;
            SYSTEMTIME utc = {}, local = {};
            FileTimeToSystemTime(&data.ftLastWriteTime, &utc);
            SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
            char date[32];
            std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                          local.wMinute, local.wSecond);
            return std::string(date);
        };
        ULONGLONG size = 0;
        std::string date = dateOf(fixture("plug_versioned.dll"), &size);
        EXPECT_EQ(select(3), fixture("plug_versioned.dll") + "   " + std::to_string(sizeof(void*) * 8) +
                                 "ビット   バージョン 2.5.0.17   テスト工房   " + grouped(size) + " バイト   " + date);
        date = dateOf(text, &size);
        EXPECT_EQ(select(static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0)) - 1),
                  text + "   ビット数不明   バージョン情報なし   13 バイト   " + date);
    });
}

// ---- Files named on the command line.

// This process's running children: the dialog's workers.
std::vector<DWORD> childProcesses()
{
    std::vector<DWORD> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return children;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId())
            children.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return children;
}

// The process that plug_whoami's block names ("worker 1234"), or 0.
DWORD whoamiWorker(HWND list)
{
    for (const std::string& line : listLines(list)) {
        size_t at = line.find("[worker ");
        if (at != std::string::npos)
            return static_cast<DWORD>(std::strtoul(line.c_str() + at + 8, nullptr, 10));
    }
    return 0;
}

// Once on screen and idle, the window starts its workers and a spare before any drop: the first
// batch is probed by a worker that ran before it, and after a plug-in that retires its worker
// the next file goes to the spare that was running already.
TEST_F(MainDialogTest, WorkersRunBeforeTheFirstDropAndASpareTakesOverARetiredOne)
{
    runDialog([&](mainDialog& dialog, HWND, HWND list) {
        dialog.batchSettings.workers = 1;  // one for the batch and a spare
        // Both idle and connected; the processes then running include them (and possibly one
        // of an earlier window that is still ending).
        auto waitForWorkers = [&](int count) {
            for (DWORD start = GetTickCount(); dialog.idleWorkers() < count && GetTickCount() - start < 10000;)
                testsupport::pumpMessages(50);
            return childProcesses();
        };
        std::vector<DWORD> before = waitForWorkers(2);
        ASSERT_EQ(dialog.idleWorkers(), 2);
        dropAndWait(dialog, {fixture("plug_whoami.dll")});
        DWORD first = whoamiWorker(list);
        EXPECT_NE(std::find(before.begin(), before.end(), first), before.end()) << first;

        before = waitForWorkers(2);
        dropAndWait(dialog, {fixture("plug_pin.dll"), fixture("plug_whoami.dll")});
        DWORD after = whoamiWorker(list);
        EXPECT_NE(after, first);  // the pinning plug-in retired the first worker
        EXPECT_NE(std::find(before.begin(), before.end(), after), before.end()) << after;
    });
}

TEST_F(MainDialogTest, CommandLineFilesAreProbedAtStartUpAsIfDropped)
{
    testsupport::TempDir temp;
    // A name with a blank and one whose double-byte characters end in 0x5C ("表", "ソ").
    std::string blank = temp.file("plug command.dll");
    std::string japanese = temp.file("表示ソフト.dll");
    ASSERT_TRUE(CopyFileA(fixture("plug_command.dll").c_str(), blank.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(fixture("plug_import.dll").c_str(), japanese.c_str(), FALSE));

    // The working folder of the tests holds the fixtures: a relative name is taken from there.
    runDialog([&](mainDialog& dialog, HWND, HWND list) {
        ASSERT_TRUE(waitForBatch(dialog));
        Lines lines = listLines(list);
        ASSERT_EQ(lines.size(), 8u + 7u + 7u);
        EXPECT_EQ(lines[1], "プラグイン  plug command.dll");
        EXPECT_EQ(lines[7], "  メニュー[2]= [三番目]");
        EXPECT_EQ(lines[9], "プラグイン  plug_underscore.dll");
        EXPECT_EQ(lines[10], "  プラグインID  0000abcd  00000005");
        EXPECT_EQ(lines[16], "プラグイン  表示ソフト.dll");
        EXPECT_EQ(lines[21], "  ファイルタイプ[1]= [Text file] [*.txt]");
        // The record describes the last file.
        EXPECT_EQ(std::string(dllName), japanese);
        EXPECT_STREQ(fn, "表示ソフト.dll");
        EXPECT_EQ(nmenu, 2);
    }, {wide(blank), L"plug_underscore.dll", wide(japanese)});
}

TEST_F(MainDialogTest, AnArgumentLongerThanAPathIsShownAsGivenWithALoadError)
{
    std::string longName = "C:\\" + std::string(380, 'a') + ".dll";
    runDialog([&](mainDialog& dialog, HWND, HWND list) {
        ASSERT_TRUE(waitForBatch(dialog));
        std::string shown = "プラグイン  " + longName;
        EXPECT_EQ(listLines(list), (Lines{"", shown.substr(0, ProbeTextSize - 1), "load error 206", systemMessageLine(206)}));
    }, {wide(longName)});
}

TEST_F(MainDialogTest, WithoutArgumentsNothingIsProbedAtStartUp)
{
    runDialog([&](mainDialog& dialog, HWND, HWND list) {
        testsupport::pumpMessages(200);
        EXPECT_FALSE(dialog.batchRunning());
        EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
    });
}

// ---- The list menu.

struct MenuItem {
    UINT id;
    std::string text;
    bool grayed;
    bool operator==(const MenuItem& o) const { return id == o.id && text == o.text && grayed == o.grayed; }
};

std::ostream& operator<<(std::ostream& out, const MenuItem& item)
{
    return out << item.id << " " << item.text << (item.grayed ? " (grayed)" : "");
}

// While a popup menu of this thread is open: its items, then the keys that choose item `choose`
// (0-based; -1 closes the menu with Esc). Runs from a step scheduled inside the menu's loop.
std::vector<MenuItem> readAndChoose(int choose)
{
    std::vector<MenuItem> items;
    HWND popup = FindWindowA("#32768", nullptr);
    EXPECT_NE(popup, nullptr) << "no popup menu is open";
    if (!popup)
        return items;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, 0x01E1 /* MN_GETHMENU */, 0, 0));
    for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
        char text[64] = "";
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        items.push_back({GetMenuItemID(menu, i), text, (state & MF_GRAYED) != 0});
    }
    if (choose < 0) {
        PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
        for (int i = 0; i <= choose; ++i)
            PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
    }
    return items;
}

// Opens the list menu with `open` and chooses item `choose` inside it; returns the items seen.
std::vector<MenuItem> useListMenu(std::function<void()> open, int choose)
{
    std::vector<MenuItem> seen;
    testsupport::runLater(100, [&] { seen = readAndChoose(choose); });
    open();  // returns when the menu has closed
    testsupport::pumpMessages(100);  // the chosen command arrives as a posted WM_COMMAND
    return seen;
}

TEST_F(MainDialogTest, ListMenuOffersTheCopiesClearAndStopAndSendsTheirCommands)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        dropAndWait(dialog, {fixture("plug_command.dll")});
        sendCommand(window, IDC_COPYHTML);
        std::string html = clipboardText();
        ASSERT_NE(html.find("三番目"), std::string::npos);
        Lines lines = listLines(list);

        // A right-click on the list: everything can be copied. HTML copy gives what the command does.
        ASSERT_TRUE(setClipboardText("before"));
        auto rightClick = [&] { SendMessageA(list, WM_RBUTTONUP, 0, MAKELPARAM(10, 10)); };
        std::vector<MenuItem> all = {{IDC_COPY, "コピー", false},     {IDC_COPYHTML, "HTMLコピー", false},
                                     {IDC_CLEAR, "クリア", false},     {IDC_STOP, "中止", true},
                                     {IDC_SAVE, "保存...", false},     {IDC_OPENFOLDER, "フォルダを開く...", false},
                                     {IDC_AGAIN, "再検査", false},
                                     {IDC_VALIDATE, "検証", false}};
        EXPECT_EQ(useListMenu(rightClick, 1), all);
        EXPECT_EQ(clipboardText(), html);

        // From the keyboard (Shift+F10 or the menu key send the position -1, -1): Copy.
        ASSERT_TRUE(setClipboardText("before"));
        auto keyboard = [&] { SendMessageA(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1); };
        EXPECT_EQ(useListMenu(keyboard, 0), all);
        EXPECT_EQ(clipboardText(), joinCrLf(lines));

        // Clear empties the list; the record stays, so only HTML copy has something left (and
        // there is nothing to probe again).
        useListMenu(rightClick, 2);
        EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
        std::vector<MenuItem> cleared = {{IDC_COPY, "コピー", true},     {IDC_COPYHTML, "HTMLコピー", false},
                                         {IDC_CLEAR, "クリア", false},   {IDC_STOP, "中止", true},
                                         {IDC_SAVE, "保存...", true},    {IDC_OPENFOLDER, "フォルダを開く...", false},
                                         {IDC_AGAIN, "再検査", true},
                                         {IDC_VALIDATE, "検証", true}};
        EXPECT_EQ(useListMenu(keyboard, -1), cleared);

        // A plug-in that gives no strings: the list has lines, HTML copy has nothing.
        dropAndWait(dialog, {fixture("plug_noid.dll")});
        std::vector<MenuItem> noStrings = {{IDC_COPY, "コピー", false},   {IDC_COPYHTML, "HTMLコピー", true},
                                           {IDC_CLEAR, "クリア", false},  {IDC_STOP, "中止", true},
                                           {IDC_SAVE, "保存...", false},  {IDC_OPENFOLDER, "フォルダを開く...", false},
                                           {IDC_AGAIN, "再検査", false},
                                           {IDC_VALIDATE, "検証", false}};
        ASSERT_TRUE(setClipboardText("kept"));
        EXPECT_EQ(useListMenu(keyboard, -1), noStrings);
        EXPECT_EQ(clipboardText(), "kept");
        EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
    });
}

// 検証 in the list menu probes the list's files again with the checks: each file's block as
// before, then a line for each finding; a plug-in without a fault has none.
TEST_F(MainDialogTest, ValidateProbesTheListsFilesAgainAndFollowsEachBlockWithItsFindings)
{
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        dropAndWait(dialog, {fixture("plug_command.dll"), fixture("plug_pin.dll")});
        const Lines listed = listLines(list);
        ASSERT_EQ(listed.size(), 8u + 6u);
        std::vector<MenuItem> items = useListMenu([&] { SendMessageA(list, WM_RBUTTONUP, 0, MAKELPARAM(10, 10)); }, 7);
        ASSERT_EQ(items.size(), 8u);
        EXPECT_EQ(items[7], (MenuItem{IDC_VALIDATE, "検証", false}));
        ASSERT_TRUE(waitForBatch(dialog));
        // A busy machine may make any load slow: that warning is not what this test is about.
        Lines shown;
        for (const std::string& line : listLines(list)) {
            if (line.rfind("  [警告] ", 0) != 0 || line.find(" ms かかります") == std::string::npos)
                shown.push_back(line);
        }
        Lines expected = listed;
        expected.push_back("  [エラー] 解放した後も DLL が読み込まれたままです (自分を固定したか参照が残っています)。"
                           "ファイルも使用中のままになります。自分への LoadLibrary や GET_MODULE_HANDLE_EX_FLAG_PIN をやめてください");
        EXPECT_EQ(shown, expected);

        // A finding makes the file one with a problem: 問題のみ keeps the pinning plug-in's block
        // (and the first one's only when a slow warning came after it).
        const Lines all = listLines(list);
        auto pinBlock = std::find(all.begin(), all.end(), listed[9]) - 1;  // from its blank line
        ASSERT_GE(pinBlock - all.begin(), 8);
        bool firstHasFindings = pinBlock - all.begin() > 8;
        SendMessageA(GetDlgItem(window, IDC_PROBLEMS), BM_CLICK, 0, 0);
        EXPECT_EQ(listLines(list), firstHasFindings ? all : Lines(pinBlock, all.end()));
    });
}

// ---- Folders and saving.

std::string utf8(const std::string& sjis)
{
    std::wstring text = wide(sjis.c_str());
    std::string out(text.size() * 3 + 1, '\0');
    out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], static_cast<int>(out.size()), nullptr, nullptr) - 1));
    return out;
}

BOOL CALLBACK findTree(HWND child, LPARAM found)
{
    char name[32] = "";
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "SysTreeView32") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// From inside the folder dialog's loop: selects folder in the browse dialog's tree and presses
// OK once the tree shows it selected, as a user would. Tries again until then, for up to 10 s
// (the tree fills itself while it opens).
void answerFolderDialog(const std::wstring& folder, DWORD deadline = GetTickCount() + 10000)
{
    testsupport::runLater(200, [=] {
        HWND browse = testsupport::findDialogWithButton(IDOK);
        HWND tree = nullptr;
        if (browse)
            EnumChildWindows(browse, findTree, reinterpret_cast<LPARAM>(&tree));
        wchar_t selected[MAX_PATH] = L"";
        if (tree) {
            SendMessageW(browse, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
            TVITEMW item = {};
            item.mask = TVIF_TEXT;
            item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
            item.pszText = selected;
            item.cchTextMax = MAX_PATH;
            if (item.hItem)
                SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        if (!tree || folder.compare(folder.size() - wcslen(selected), std::wstring::npos, selected) != 0 || !selected[0]) {
            if (static_cast<LONG>(GetTickCount() - deadline) < 0)
                answerFolderDialog(folder, deadline);
            return;
        }
        PostMessageA(browse, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(browse, IDOK)));
    });
}

// Presses `button` of the first message box that shows after the file dialog has gone (a box
// without the file-name box), for up to 8 s; its text goes to *text.
void answerBoxAfterFileDialog(int button, std::string* text, int* count, DWORD deadline = GetTickCount() + 8000)
{
    testsupport::runLater(50, [=] {
        HWND box = testsupport::findDialogWithButton(button);
        if (!box || GetDlgItem(box, testsupport::FileNameBox)) {
            if (static_cast<LONG>(GetTickCount() - deadline) < 0)
                answerBoxAfterFileDialog(button, text, count, deadline);
            return;
        }
        *text = testsupport::messageBoxText(box);
        ++*count;
        SendMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
    });
}

size_t rowsOf(const std::string& html)
{
    size_t rows = 0;
    for (size_t at = html.find("<tr><td>"); at != std::string::npos; at = html.find("<tr><td>", at + 1))
        ++rows;
    return rows;
}

// A folder from the list menu; Save suggests the folder's name, adds the chosen type's
// extension, and like Copy takes what the list shows: all of it, then what the filter leaves.
TEST_F(MainDialogTest, ListMenuProbesAChosenFolderAndSavesWhatTheListShowsAsTextAndHtml)
{
    testsupport::TempDir temp;
    const std::string tree = temp.file("collection");
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(fixture("plug_import.dll").c_str(), (tree + "\\imp.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(fixture("plug_command.dll").c_str(), (tree + "\\sub\\cmd.dll").c_str(), FALSE));
    temp.writeFile("collection\\broken.dll", "not a library");

    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        answerFolderDialog(wide(tree));
        useListMenu([&] { SendMessageA(list, WM_RBUTTONUP, 0, MAKELPARAM(10, 10)); }, 5);  // フォルダを開く...
        ASSERT_TRUE(waitForBatch(dialog));
        Lines lines = listLines(list);
        ASSERT_EQ(lines.size(), 4u + 7u + 8u + 8u);
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4), (Lines{"", "プラグイン  broken.dll", "load error 193", "  WindowsのDLLではありません"}));
        EXPECT_EQ(lines[5], "プラグイン  imp.dll");
        EXPECT_EQ(lines[12], "プラグイン  sub\\cmd.dll");
        EXPECT_EQ(Lines(lines.end() - 8, lines.end()), (Lines{"", "フォルダ  " + tree, "  ファイル数= 3", "  Import= 1", "  Command= 1",
                                                          "  読み込みエラー= 1", "  異常終了= 0", "  読み込みエラー: broken.dll (193)"}));

        // Text: the bytes of Copy, under the offered name with the text type's extension added.
        sendCommand(window, IDC_COPY);
        const std::string copied = clipboardText();
        bool answered = false;
        std::string offered;
        testsupport::answerFileDialog(temp.file("list"), false, &answered, &offered);
        sendCommand(window, IDC_SAVE);
        EXPECT_TRUE(answered);
        EXPECT_EQ(offered, "collection");
        EXPECT_EQ(readFile(temp.file("list.txt")), copied);

        // HTML, chosen by the name: a whole document in UTF-8, one row per file with its facts
        // (no version resource in these; the hash of broken.dll's 13 bytes), then the summary.
        testsupport::answerFileDialog(temp.file("list.html"));
        sendCommand(window, IDC_SAVE);
        const std::string html = readFile(temp.file("list.html"));
        EXPECT_EQ(html.rfind("<!DOCTYPE html>\r\n<html lang=\"ja\">\r\n<head>\r\n<meta charset=\"utf-8\">", 0), 0u) << html;
        const std::string end = "</ul>\r\n</body>\r\n</html>\r\n";
        ASSERT_GT(html.size(), end.size());
        EXPECT_EQ(html.substr(html.size() - end.size()), end);
        EXPECT_NE(html.find(utf8("<tr><td>broken.dll</td><td></td><td></td><td></td><td></td><td></td>"
                                 "<td>load error 193<br>WindowsのDLLではありません</td><td></td><td></td><td>13</td><td>")),
                  std::string::npos) << html;
        EXPECT_NE(html.find("<td>f6bb034ecdd65239971cf2fbc49cb6ecef0dc0a192e40c2884e68e3346503e69</td></tr>"), std::string::npos);
        EXPECT_NE(html.find(utf8("<tr><td>imp.dll</td><td>fedcba98</td><td>00000001</td><td>画像読み込み</td><td>Import</td>"
                                 "<td>ビットマップ画像 (*.bmp;*.dib)<br>Text file (*.txt)</td><td></td><td></td><td></td><td>")),
                  std::string::npos);
        EXPECT_NE(html.find(utf8("<td>Command</td><td>表示(&amp;V)<br>Second item<br>三番目</td>")), std::string::npos);
        EXPECT_NE(html.find(utf8("<h2>フォルダ  " + tree + "</h2>")), std::string::npos);
        EXPECT_NE(html.find(utf8("<li>読み込みエラー: broken.dll (193)</li>")), std::string::npos);
        EXPECT_EQ(rowsOf(html), 3u);
        EXPECT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, html.c_str(), static_cast<int>(html.size()), nullptr, 0), 0);

        // Filtered to the one block with "CMD" in a line: Copy and both saves take that block.
        SetDlgItemTextA(window, IDC_FILTER, "CMD");
        Lines shown = listLines(list);
        EXPECT_EQ(shown, Lines(lines.begin() + 11, lines.begin() + 19));
        sendCommand(window, IDC_COPY);
        EXPECT_EQ(clipboardText(), joinCrLf(shown));
        testsupport::answerFileDialog(temp.file("cmd.txt"));
        sendCommand(window, IDC_SAVE);
        EXPECT_EQ(readFile(temp.file("cmd.txt")), joinCrLf(shown));
        testsupport::answerFileDialog(temp.file("cmd.html"));
        sendCommand(window, IDC_SAVE);
        const std::string filtered = readFile(temp.file("cmd.html"));
        EXPECT_EQ(rowsOf(filtered), 1u);
        EXPECT_NE(filtered.find(utf8("<tr><td>sub\\cmd.dll</td>")), std::string::npos);
        EXPECT_EQ(filtered.find("<h2>"), std::string::npos);
    });
}

TEST_F(MainDialogTest, ASaveThatFailsSaysSoAndLeavesTheFileAsItWas)
{
    testsupport::TempDir temp;
    const std::string target = temp.writeFile("list.txt", "earlier contents");
    // Another program has the file open and lets no one replace it.
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    runDialog([&](mainDialog& dialog, HWND window, HWND list) {
        dropAndWait(dialog, {fixture("plug_command.dll")});
        int boxes = 0;
        std::string message;
        testsupport::answerFileDialog(target);
        testsupport::answerMessageBox(IDYES, nullptr, &boxes, 5000);  // replace the file: yes
        answerBoxAfterFileDialog(IDOK, &message, &boxes);
        sendCommand(window, IDC_SAVE);
        EXPECT_EQ(boxes, 2);
        EXPECT_EQ(message.rfind("保存できませんでした: " + target, 0), 0u) << message;
    });
    CloseHandle(held);
    EXPECT_EQ(readFile(target), "earlier contents");
    WIN32_FIND_DATAA found;
    HANDLE left = FindFirstFileA(temp.file("*.tmp").c_str(), &found);  // no temporary file beside it
    EXPECT_EQ(left, INVALID_HANDLE_VALUE) << found.cFileName;
    if (left != INVALID_HANDLE_VALUE)
        FindClose(left);
}

}  // namespace
