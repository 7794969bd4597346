#include "inspectorprocess.h"

#include "testsupport.h"

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
    std::string exe = inspectorPath();
    std::string commandLine = "\"" + exe + "\"" + arguments();
    ASSERT_TRUE(startProcess(exe, commandLine, binDir().c_str(), &process)) << exe << " error " << GetLastError();
    WaitForInputIdle(process.hProcess, 10000);
    DWORD start = GetTickCount();
    while (!window && GetTickCount() - start < 15000) {
        WindowSearch search{process.dwProcessId, nullptr};
        EnumWindows(collectInspector, reinterpret_cast<LPARAM>(&search));
        window = search.found;
        if (!window)
            Sleep(50);
    }
    ASSERT_NE(window, nullptr) << "the inspector's window did not appear";
}

void InspectorProcess::TearDown()
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
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(50)) {
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

}  // namespace testsupport
