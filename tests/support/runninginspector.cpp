#include "runninginspector.h"

#include "testsupport.h"

#include "rpRegistry.h"

#include <shlobj.h>

#include <cstring>

namespace testsupport {

namespace {

// The inspector's main dialog among the top-level windows of the process.
struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK collectInspector(HWND h, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    char name[16] = {};
    GetClassNameA(h, name, sizeof name);
    if (owner == search->processId && lstrcmpA(name, "#32770") == 0 && IsWindowVisible(h) && GetDlgItem(h, 260)) {
        search->found = h;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string inspectorPath()
{
    return binDir() + "..\\plugin-inspector.exe";
}

std::string crlfBlock(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

void InspectorProcess::SetUp()
{
    rpRegKey::deleteTree(HKEY_CURRENT_USER, InspectorSettingsKey);
    start();
}

void InspectorProcess::TearDown()
{
    end();
    rpRegKey::deleteTree(HKEY_CURRENT_USER, InspectorSettingsKey);
}

void InspectorProcess::startAgain()
{
    end();
    process = {};
    window = nullptr;
    start();
}

void InspectorProcess::start()
{
    std::string exe = executable();
    std::string commandLine = "\"" + exe + "\"" + arguments();
    ASSERT_TRUE(startProcess(exe, commandLine, binDir().c_str(), &process)) << exe << " error " << GetLastError();
    WaitForInputIdle(process.hProcess, 10000 * testsupport::slowdown());
    DWORD start = GetTickCount();
    while (!window && GetTickCount() - start < 15000 * testsupport::slowdown()) {
        WindowSearch search{process.dwProcessId, nullptr};
        EnumWindows(collectInspector, reinterpret_cast<LPARAM>(&search));
        window = search.found;
        if (!window)
            Sleep(50);
    }
    ASSERT_NE(window, nullptr) << "the inspector's window did not appear";
}

void InspectorProcess::end()
{
    if (process.hProcess) {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

LRESULT InspectorProcess::waitForLines(LRESULT count)
{
    HWND list = GetDlgItem(window, 260);
    LRESULT now = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000 * testsupport::slowdown(); Sleep(50)) {
        now = SendMessageA(list, LB_GETCOUNT, 0, 0);
        if (now == count)
            break;
    }
    return now;
}

void InspectorProcess::click(int id)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

void InspectorProcess::clickAndWait(int id)
{
    DWORD_PTR ignored;
    SendMessageTimeoutA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)),
                        SMTO_NORMAL, 20000, &ignored);
}

void InspectorProcess::closeAndExpectExitCode0()
{
    click(IDCANCEL);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 15000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

bool InspectorProcess::dropFiles(const std::vector<std::wstring>& files)
{
    std::wstring names;
    for (const std::wstring& file : files)
        names += file + L'\0';
    names += L'\0';
    size_t size = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
    std::vector<char> block(size, 0);
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->pt = {20, 20};
    header->fWide = TRUE;
    std::memcpy(block.data() + sizeof(DROPFILES), names.data(), names.size() * sizeof(wchar_t));

    // The block lives in the inspector's memory; its fixed address serves as the drop handle.
    HANDLE target = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process.dwProcessId);
    if (!target)
        return false;
    void* remote = VirtualAllocEx(target, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    bool written = remote && WriteProcessMemory(target, remote, block.data(), size, nullptr);
    CloseHandle(target);
    DWORD_PTR answer = 0;
    return written && SendMessageTimeoutW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0, SMTO_NORMAL, 20000, &answer);
}

std::string InspectorProcess::copiedList()
{
    setClipboardText("<nothing copied>");
    clickAndWait(122);
    return clipboardText();
}

std::string InspectorProcess::caption()
{
    char text[800] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

void InspectorProcess::pressKey(WORD key, bool control, bool shift)
{
    SetForegroundWindow(window);
    std::vector<INPUT> keys;
    auto add = [&](WORD vk, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        keys.push_back(input);
    };
    if (control)
        add(VK_CONTROL, false);
    if (shift)
        add(VK_SHIFT, false);
    add(key, false);
    add(key, true);
    if (shift)
        add(VK_SHIFT, true);
    if (control)
        add(VK_CONTROL, true);
    SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

HWND InspectorProcess::focus()
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(process.dwThreadId, &info);
    return info.hwndFocus;
}

bool InspectorProcess::waitForCaption(const std::string& text)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000 * testsupport::slowdown(); Sleep(20)) {
        if (caption().find(text) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace testsupport
