// Loaded modules.
#include "rpModule.h"

#include "rpSync.h"

#include <cstdlib>
#include <string>

rpModule* Module = nullptr;

namespace {

// Runs a load with the system's error boxes (a damaged or foreign file, a drive without media)
// kept off the screen for this thread; the caller's error mode comes back afterwards, and the
// load's error code survives the restoring.
template <typename Load>
HMODULE loadQuietly(Load load)
{
    DWORD previous = GetThreadErrorMode();
    BOOL quiet = SetThreadErrorMode(previous | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr);
    HMODULE h = load();
    DWORD error = GetLastError();
    if (quiet)
        SetThreadErrorMode(previous, nullptr);
    SetLastError(error);
    return h;
}

// LoadLibraryA of exactly the file named: the loader appends ".dll" to a name without an
// extension, so such a name gets a trailing "." (which the loader takes as "no extension").
HMODULE loadExactly(const char* path)
{
    if (!path)
        path = "";
    std::string name = path;
    // Whether the file name (after the last separator) has a dot; a trail byte may equal '\\'
    // but never '.', so only separators need the character-wise walk.
    bool dotted = false;
    for (const char* p = path; *p; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            ++p;
            continue;
        }
        if (*p == '\\' || *p == '/' || *p == ':')
            dotted = false;
        else if (*p == '.')
            dotted = true;
    }
    if (!name.empty() && !dotted)
        name += '.';
    return loadQuietly([&] { return LoadLibraryA(name.c_str()); });
}

// The same for a UTF-16 path.
HMODULE loadExactly(const wchar_t* path)
{
    std::wstring name = path ? path : L"";
    size_t fileName = name.find_last_of(L"\\/:");
    fileName = fileName == std::wstring::npos ? 0 : fileName + 1;
    if (!name.empty() && name.find(L'.', fileName) == std::wstring::npos)
        name += L'.';
    return loadQuietly([&] { return LoadLibraryW(name.c_str()); });
}

}  // namespace

rpModule::rpModule() : rpObject("rpModule")
{
    _init();
}

rpModule::rpModule(const char* path) : rpModule()
{
    storePathname0(path);
}

rpModule::~rpModule()
{
    if (owner)
        unload();
}

void rpModule::_init()
{
    handle = nullptr;
    accelerators = nullptr;
    threadMutex = nullptr;
    mainWindow = nullptr;
}

int rpModule::load(const char* path)
{
    lastError = 0;
    if (handle)
        return 0;
    return takeLoaded(loadExactly(path ? path : pathname.path));
}

int rpModule::loadWide(const wchar_t* path)
{
    if (!path)
        return load(static_cast<const char*>(nullptr));
    lastError = 0;
    if (handle)
        return 0;
    return takeLoaded(loadExactly(path));
}

int rpModule::takeLoaded(HINSTANCE h)
{
    if (h) {
        handle = h;
        owner = true;
        lastError = 0;
    } else {
        lastError = static_cast<int>(GetLastError());
    }
    return lastError;
}

void rpModule::unload()
{
    if (!handle)
        return;
    if (!FreeLibrary(handle)) {
        // Releasing a handle we hold cannot fail unless memory is corrupt: stop here.
        dbout("Assertion failed: FreeLibrary(handle()), file rpModule, line 89\n");
        std::abort();
    }
    handle = nullptr;
    owner = false;
}

int rpModule::storePathname0(const char* path)
{
    pathname.storeName(path);
    moduleName = pathname.name();
    return 0;
}

int rpModule::storePathname(const char* path)
{
    unload();
    return storePathname0(path);
}

int rpModule::msgBox(const char* text, int type, const char* caption)
{
    return MessageBoxA(nullptr, text, caption ? caption : moduleName.c_str(), static_cast<UINT>(type));
}

void rpModule::threadLock()
{
    if (threadMutex)
        threadMutex->lock();
}

void rpModule::threadUnlock()
{
    if (threadMutex)
        threadMutex->unlock();
}

void rpModule::appendDialog(rpDialogModeless*) {}

void rpModule::removeDialog(rpDialogModeless*) {}

int rpModule::MsgTransaction(MSG&)
{
    return 0;
}
