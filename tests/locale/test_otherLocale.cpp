// The real inspector started under a locale whose ANSI code page is not 932: the executable's
// manifest asks for the Japanese code page, so its Shift-JIS texts still reach the controls as
// the right characters. Under Wine a program takes its locale from the process that starts it,
// so CTest runs this program itself under LANG=C.UTF-8, with --other-code-page.
#include "runninginspector.h"
#include "resource.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The text of a window of the other process as the system holds it (UTF-16).
std::wstring wideText(HWND h)
{
    wchar_t text[300] = L"";
    SendMessageW(h, WM_GETTEXT, 300, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring fromShiftJis(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(932, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(n > 0 ? n - 1 : 0);
    return wide;
}

class InspectorUnderAnotherLocale : public testsupport::InspectorProcess {
protected:
    std::string arguments() override { return " plug_command.dll"; }
};

TEST_F(InspectorUnderAnotherLocale, ShowsItsJapaneseTextsAsTheRightCharacters)
{
    // A program without the manifest entry started the same way gets the other code page.
    std::string acpcheck = testsupport::binDir() + "acpcheck.exe";
    PROCESS_INFORMATION check = {};
    ASSERT_TRUE(testsupport::startProcess(acpcheck, "acpcheck.exe", nullptr, &check));
    ASSERT_EQ(WaitForSingleObject(check.hProcess, 20000), WAIT_OBJECT_0);
    DWORD checkCode = 0;
    GetExitCodeProcess(check.hProcess, &checkCode);
    CloseHandle(check.hThread);
    CloseHandle(check.hProcess);
    ASSERT_EQ(checkCode, 1u) << "a program without the manifest entry got code page 932";

    const std::vector<std::string> lines = {
        "",
        "プラグイン  plug_command.dll",
        "  プラグインID  12ab34cd  00000007",
        "  名称= [テストコマンド]",
        "  タイプ=  Command",
        "  メニュー[0]= [表示(&V)]",
        "  メニュー[1]= [Second item]",
        "  メニュー[2]= [三番目]",
    };
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lines.size())), static_cast<LRESULT>(lines.size()));
    EXPECT_EQ(wideText(window), fromShiftJis(INSPECTOR_CAPTION));
    EXPECT_EQ(wideText(GetDlgItem(window, IDCANCEL)), fromShiftJis("閉じる"));
    EXPECT_EQ(wideText(GetDlgItem(window, IDC_OPEN)), fromShiftJis("開く"));
    EXPECT_EQ(wideText(GetDlgItem(window, IDC_COPY)), fromShiftJis("コピー"));
    EXPECT_EQ(wideText(GetDlgItem(window, IDC_BANNER)), fromShiftJis(INSPECTOR_BANNER));
    // The list box of another process answers LB_GETTEXT in UTF-16.
    HWND list = GetDlgItem(window, IDC_RESULTS);
    for (size_t i = 0; i < lines.size(); ++i) {
        wchar_t line[300] = L"";
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
        EXPECT_EQ(std::wstring(line), fromShiftJis(lines[i])) << i;
    }
    closeAndExpectExitCode0();
}

}  // namespace
