// Loaded modules.
#include "rpModule.h"

#include "rpSync.h"

#include <cstdlib>

rpModule* Module = nullptr;

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
    HINSTANCE h = LoadLibraryA(path ? path : pathname.path);
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
