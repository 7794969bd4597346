// The process entry, and execApp, which calls the application's body rpApp::main (defined by
// the application). Kept apart from the framework library so that test programs can link it.
#include "rpApp.h"
#include "rpSync.h"

#include <windows.h>

int rpApp::execApp()
{
    int result = main();
    if (result == 0)
        result = run();
    terminal(result);
    return result;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    pApp = &App;
    // The process mutex lives until the process ends.
    rpThreadMutex* mutex = new rpThreadMutex;
    App.threadMutex = mutex;
    mutex->create();
    App.startup002(instance, commandLine, showCommand);
    int result = App.startup(App.argc, App.argv, App.envp);
    if (result != 0)
        App.terminal(result);
    else
        result = App.execApp();
    App.freeArgs();
    return result;
}
