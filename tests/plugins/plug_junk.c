// A Command plug-in that writes bytes that are no message into its worker's pipe to the window
// while it is asked for its name.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"
#include "hostile.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0700u;
    *secondId = 0x0001u;
}

const char* __cdecl MQGetPlugInName(void)
{
    static const char junk[] = "not a message at all";
    DWORD written = 0;
    WriteFile(hostilePipe(), junk, sizeof junk - 1, &written, NULL);
    return "Junk";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
