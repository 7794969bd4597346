// A Command plug-in that deletes the file named by the environment variable RP_TEST_DELETE
// when it is asked for its name: a file probed before it in the same batch is gone before that
// file's result is written.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xDE1Eu;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("RP_TEST_DELETE", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        DeleteFileA(path);
    return "Deleter";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
