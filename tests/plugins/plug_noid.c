// A library that offers a name and a type but no MQGetPlugInID.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

const char* __cdecl MQGetPlugInName(void) { return "No ID"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
