// An Object plug-in without MQEnumString.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x55555555u;
    *secondId = 0x66666666u;
}

const char* __cdecl MQGetPlugInName(void) { return "No menu"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_OBJECT; }
const char* __cdecl MQEnumFileType(int index) { return index == 0 ? "unreached" : 0; }
