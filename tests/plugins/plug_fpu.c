// A Command plug-in whose name question switches the floating-point rounding to "toward zero"
// (x87 and SSE alike) and leaves it so.
#define PLUGIN_BUILD
#include <float.h>
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xF0F0u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    _controlfp(_RC_CHOP, _MCW_RC);
    return "Rounding";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Chop" : 0; }
