// A Command plug-in that closes its worker's pipe to the window and then works on for eight
// seconds, so that the pipe is closed by a process that still runs.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"
#include "hostile.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0700u;
    *secondId = 0x0004u;
}

const char* __cdecl MQGetPlugInName(void)
{
    CloseHandle(hostilePipe());
    Sleep(8000);
    return "Closed";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
