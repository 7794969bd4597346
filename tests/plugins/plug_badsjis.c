// A Command plug-in whose second menu string ends in a Shift-JIS lead byte without its trail
// byte (a text cut in the middle of a character).
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xBAD5u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void) { return "Bad text"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }

const char* __cdecl MQEnumString(int index)
{
    return index == 0 ? "Whole" : index == 1 ? "Cut \x82" : 0;
}
