// A small GUI program on the framework's process entry, started by the application tests.
// Usage: rpapphost.exe [--dump FILE] [--exit N] [anything]
//   --dump FILE  writes what the entry set up (arguments, App, Module, the process mutex)
//   --exit N     ends the message loop with the quit code N (default 0)
#include "rpApp.h"
#include "rpSync.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void dbout(const char*, ...) {}

int rpApp::main()
{
    const char* dump = nullptr;
    int code = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0)
            dump = argv[i + 1];
        else if (std::strcmp(argv[i], "--exit") == 0)
            code = std::atoi(argv[i + 1]);
    }
    if (dump) {
        if (FILE* f = std::fopen(dump, "wb")) {
            std::fprintf(f, "argc=%d\n", argc);
            for (int i = 0; i < argc; ++i)
                std::fprintf(f, "[%s]\n", argv[i]);
            std::fprintf(f, "pApp=%d Module=%d mutex=%d handle=%d owner=%d name=%s\n", pApp == &App,
                         Module == &App, threadMutex != nullptr && threadMutex->csReady,
                         handle == GetModuleHandleA(nullptr), owner ? 1 : 0, moduleName.c_str());
            std::fclose(f);
        }
    }
    PostQuitMessage(code);
    return 0;
}
