#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
std::vector<std::string>& log()
{
    static std::vector<std::string> entries;
    return entries;
}

void removeTree(const std::string& dir)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = dir + "\\" + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(full);
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}
}  // namespace

// The framework's diagnostic sink, recording for the tests.
void dbout(const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    log().push_back(text);
}

namespace testsupport {

const std::vector<std::string>& dboutLog()
{
    return log();
}

void clearDbout()
{
    log().clear();
}

std::string binDir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\') + 1);
}

std::string fixturePath(const std::string& name)
{
    return binDir() + name;
}

std::string otherBitnessBinDir()
{
    // bin\ -> build\<preset>\ -> build\ ; then <other preset>\bin\.
    std::string dir = binDir();
    for (int i = 0; i < 2; ++i)
        dir = dir.substr(0, dir.find_last_of('\\', dir.size() - 2) + 1);
    return dir + (sizeof(void*) == 8 ? "win32\\bin\\" : "win64\\bin\\");
}

std::wstring wide(const std::string& ansi)
{
    std::wstring text(ansi.size() + 1, L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &text[0], static_cast<int>(text.size())) - 1));
    return text;
}

std::string readFile(const std::string& path)
{
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD got = 0;
    if (!bytes.empty())
        ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    CloseHandle(file);
    return bytes;
}

bool underEmulator()
{
#ifdef _WIN64
    return false;
#else
    char value[32];
    DWORD n = GetEnvironmentVariableA("RP_EMULATOR", value, sizeof value);
    return n > 0 && n < sizeof value && std::strcmp(value, "qemu-i386") == 0;
#endif
}

DWORD slowdown()
{
    return underEmulator() ? 4 : 1;
}

DWORD reportedFaultCode(DWORD code)
{
    if (!underEmulator())
        return code;
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_STACK_OVERFLOW:
        return EXCEPTION_ILLEGAL_INSTRUCTION;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return EXCEPTION_FLT_INVALID_OPERATION;
    default:
        return code;
    }
}

TempDir::TempDir()
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        char name[MAX_PATH + 64];
        std::snprintf(name, sizeof name, "%srptest_%lu_%u", base, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            break;
        }
    }
}

TempDir::~TempDir()
{
    removeTree(path_);
}

std::string TempDir::writeFile(const std::string& name, const std::string& bytes) const
{
    std::string full = file(name);
    HANDLE h = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }
    return full;
}

bool startProcess(const std::string& exe, const std::string& commandLine, const char* dir, PROCESS_INFORMATION* process)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back(0);
        if (CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir, &startup, process))
            return true;
        DWORD error = GetLastError();
        Sleep(300);
        SetLastError(error);
    }
    return false;
}

std::string clipboardText()
{
    bool opened = false;
    for (int tries = 0; tries < 50 && !(opened = OpenClipboard(nullptr)); ++tries)
        Sleep(20);
    if (!opened)
        return "<busy>";
    std::string text = "<none>";
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (const char* p = static_cast<const char*>(GlobalLock(h))) {
            text.assign(p, strnlen(p, GlobalSize(h)));
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

bool setClipboardText(const std::string& text)
{
    if (!OpenClipboard(nullptr))
        return false;
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    bool placed = false;
    if (block) {
        std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
        GlobalUnlock(block);
        placed = SetClipboardData(CF_TEXT, block) != nullptr;
        if (!placed)
            GlobalFree(block);
    }
    CloseClipboard();
    return placed;
}

void pumpMessages(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

}  // namespace testsupport

// Every test program starts here: byte-exact Shift-JIS round trips need code page 932. The
// program that checks the inspector under another locale is run with --other-code-page and needs
// the opposite.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    bool otherCodePage = argc > 1 && std::strcmp(argv[1], "--other-code-page") == 0;
    if (otherCodePage && GetACP() == 932) {
        std::fprintf(stderr, "The ANSI code page is 932: run this test under another locale (LANG=C.UTF-8).\n");
        return 1;
    }
    if (!otherCodePage && GetACP() != 932) {
        std::fprintf(stderr, "The ANSI code page is %u, not 932: run the tests with LANG=ja_JP.UTF-8.\n", GetACP());
        return 1;
    }
    return RUN_ALL_TESTS();
}
