// A Command plug-in that answers its own request in its worker's stead with a well-formed
// record (its IDs, nothing else), so that the worker's real record arrives as one too many.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"
#include "hostile.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0700u;
    *secondId = 0x0003u;
}

const char* __cdecl MQGetPlugInName(void)
{
    HostileBlock* block = hostileBlock();
    if (block)
        hostileRecord((DWORD)block->taken, 0x0700u, 0x0003u, 0, 1);
    return "Extra";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
