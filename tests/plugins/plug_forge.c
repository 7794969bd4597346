// A Command plug-in that answers its own request in its worker's stead with a record that no
// probe can produce: a type value without the answer that the type was asked.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"
#include "hostile.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0700u;
    *secondId = 0x0002u;
}

const char* __cdecl MQGetPlugInName(void)
{
    HostileBlock* block = hostileBlock();
    if (block)
        hostileRecord((DWORD)block->taken, 0x0700u, 0x0002u, 0x7FFFFFFFu, 3);
    return "Forge";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
