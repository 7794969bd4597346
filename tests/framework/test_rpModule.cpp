// Modules: loading fixture libraries for real, failures with the system's codes, release at
// destruction only of what the object loaded, and the message-box caption.
#include "rpModule.h"
#include "rpSync.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::fixturePath;
using testsupport::TempDir;

namespace {
bool isLoaded(const char* name)
{
    return GetModuleHandleA(name) != nullptr;
}

// Presses OK on the first message box captioned `caption` that appears within twenty seconds,
// from a helper thread, as a user would.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(const std::string& caption) : caption_(caption)
    {
        thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    ~MessageBoxAnswerer()
    {
        WaitForSingleObject(thread_, 30000);
        CloseHandle(thread_);
    }
    bool found() const { return found_; }

private:
    static DWORD WINAPI run(LPVOID p)
    {
        auto* self = static_cast<MessageBoxAnswerer*>(p);
        for (int i = 0; i < 2000; ++i) {
            HWND box = FindWindowA("#32770", self->caption_.c_str());
            if (box) {
                self->found_ = true;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return 0;
            }
            Sleep(10);
        }
        return 0;
    }
    std::string caption_;
    HANDLE thread_;
    volatile bool found_ = false;
};
}  // namespace

TEST(ModuleTest, LoadsAndReleasesALibrary)
{
    std::string path = fixturePath("loadable.dll");
    {
        rpModule module;
        EXPECT_EQ(module.load(path.c_str()), 0);
        ASSERT_NE(module.handle, nullptr);
        EXPECT_TRUE(module.owner);
        EXPECT_NE(GetProcAddress(module.handle, "loadableMarker"), nullptr);
        EXPECT_TRUE(isLoaded("loadable.dll"));
        // A path given to load is not stored.
        EXPECT_EQ(module.moduleName, "");
        EXPECT_STREQ(module.pathname.path, "");
    }
    EXPECT_FALSE(isLoaded("loadable.dll"));
}

TEST(ModuleTest, SecondLoadKeepsTheFirstLibrary)
{
    rpModule module;
    ASSERT_EQ(module.load(fixturePath("loadable.dll").c_str()), 0);
    HINSTANCE first = module.handle;
    EXPECT_EQ(module.load(fixturePath("initfails.dll").c_str()), 0);
    EXPECT_EQ(module.handle, first);
    EXPECT_EQ(module.lastError, 0);
    module.unload();
    EXPECT_EQ(module.handle, nullptr);
    EXPECT_FALSE(module.owner);
    EXPECT_FALSE(isLoaded("loadable.dll"));
}

TEST(ModuleTest, LoadWithoutPathUsesTheStoredPathname)
{
    rpModule module(fixturePath("loadable.dll").c_str());
    EXPECT_EQ(module.moduleName, "loadable");
    EXPECT_EQ(module.handle, nullptr);
    EXPECT_EQ(module.load(nullptr), 0);
    EXPECT_NE(GetProcAddress(module.handle, "loadableMarker"), nullptr);

    // Storing another path releases the library first.
    EXPECT_EQ(module.storePathname("D:\\dir\\tool.dll"), 0);
    EXPECT_EQ(module.handle, nullptr);
    EXPECT_EQ(module.moduleName, "tool");
    EXPECT_FALSE(isLoaded("loadable.dll"));
}

TEST(ModuleTest, FailedLoadsReportTheSystemCode)
{
    TempDir temp;
    std::string text = temp.writeFile("notalibrary.dll", "This is plain text, not a program.\r\n");
    struct Case {
        std::string path;
        int code;
    } cases[] = {
        {text, ERROR_BAD_EXE_FORMAT},
        {fixturePath("initfails.dll"), ERROR_DLL_INIT_FAILED},
        {temp.file("missing.dll"), ERROR_MOD_NOT_FOUND},
    };
    for (const Case& c : cases) {
        rpModule module;
        EXPECT_EQ(module.load(c.path.c_str()), c.code) << c.path;
        EXPECT_EQ(module.lastError, c.code) << c.path;
        EXPECT_EQ(module.handle, nullptr);
        EXPECT_FALSE(module.owner);
    }
    EXPECT_FALSE(isLoaded("initfails.dll"));
}

TEST(ModuleTest, LoadsExactlyTheNamedFileAndShowsNoErrorBox)
{
    TempDir temp;
    // A name without an extension is that file, not the same name with ".dll".
    std::string bare = temp.file("realplug");
    ASSERT_TRUE(CopyFileA(fixturePath("loadable.dll").c_str(), bare.c_str(), FALSE));
    std::string readme = temp.writeFile("readme", "plain text\r\n");
    ASSERT_TRUE(CopyFileA(fixturePath("loadable.dll").c_str(), (readme + ".dll").c_str(), FALSE));

    SetThreadErrorMode(SEM_NOGPFAULTERRORBOX, nullptr);
    {
        rpModule module;
        ASSERT_EQ(module.load(bare.c_str()), 0);
        typedef DWORD (*ModeProc)();
        auto modeAtLoad = reinterpret_cast<ModeProc>(reinterpret_cast<void (*)()>(GetProcAddress(module.handle, "loadableErrorModeAtLoad")));
        ASSERT_NE(modeAtLoad, nullptr);
        EXPECT_EQ(modeAtLoad(), static_cast<DWORD>(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
    }
    EXPECT_EQ(GetThreadErrorMode(), static_cast<DWORD>(SEM_NOGPFAULTERRORBOX));
    SetThreadErrorMode(0, nullptr);

    rpModule text;
    EXPECT_EQ(text.load(readme.c_str()), ERROR_BAD_EXE_FORMAT);
}

TEST(ModuleTest, DestructionReleasesOnlyWhatTheObjectLoaded)
{
    std::string path = fixturePath("loadable.dll");
    HMODULE ours = LoadLibraryA(path.c_str());
    ASSERT_NE(ours, nullptr);
    {
        // A handle set from outside, as the application object's own instance is.
        rpModule borrowed;
        borrowed.handle = ours;
    }
    EXPECT_TRUE(isLoaded("loadable.dll"));
    {
        rpModule module;
        ASSERT_EQ(module.load(path.c_str()), 0);
        module.unload();
    }
    // Our own reference is still there: neither object released it.
    EXPECT_TRUE(isLoaded("loadable.dll"));
    FreeLibrary(ours);
    EXPECT_FALSE(isLoaded("loadable.dll"));
}

TEST(ModuleTest, MessageBoxCaptionDefaultsToTheModuleName)
{
    rpModule module("D:\\dir\\tool.dll");
    {
        MessageBoxAnswerer answer("tool");
        EXPECT_EQ(module.msgBox("text", MB_OK, nullptr), IDOK);
        EXPECT_TRUE(answer.found());
    }
    {
        MessageBoxAnswerer answer("own caption");
        EXPECT_EQ(module.msgBox("text", MB_OKCANCEL, "own caption"), IDOK);
        EXPECT_TRUE(answer.found());
    }
}

TEST(ModuleTest, ThreadLockUsesTheProcessMutexWhenThereIsOne)
{
    rpModule module;
    module.threadLock();
    module.threadUnlock();

    rpThreadMutex mutex;
    mutex.create();
    module.threadMutex = &mutex;
    module.threadLock();
    module.threadLock();
    EXPECT_EQ(mutex.lockCount, 2);
    module.threadUnlock();
    module.threadUnlock();
    EXPECT_EQ(mutex.lockCount, 0);
}
