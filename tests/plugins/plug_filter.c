// A Command plug-in that installs an unhandled-exception filter of its own in its code and
// leaves it installed when it is released.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

static LONG WINAPI ownFilter(EXCEPTION_POINTERS* info)
{
    (void)info;
    return EXCEPTION_EXECUTE_HANDLER;
}

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xF117u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    SetUnhandledExceptionFilter(ownFilter);
    return "Filter";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Catch" : 0; }
