// A Command plug-in whose enumeration gives one string and then overflows the stack.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0BADu;
    *secondId = 0x0003u;
}

const char* __cdecl MQGetPlugInName(void) { return "Overflow"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }

// Recurses until the stack runs out; the impossible limit keeps the compiler from calling it
// endless.
static int descend(volatile int depth)
{
    volatile char pad[4096];
    pad[0] = (char)depth;
    if (depth == -1)
        return 0;
    return descend(depth + 1) + pad[0];
}

const char* __cdecl MQEnumString(int index)
{
    if (index == 0)
        return "最初";
    return descend(0) ? "unreachable" : 0;
}
