// A Command plug-in that writes to standard output and standard error in every way a plug-in
// can: the C runtime's printf and fprintf, WriteFile on the standard handles, and WriteFile on
// every file handle it can find in its process.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

#include <stdio.h>
#include <string.h>

static void writeTo(HANDLE handle, const char* text)
{
    DWORD written = 0;
    WriteFile(handle, text, (DWORD)strlen(text), &written, NULL);
}

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    UINT_PTR value;
    printf("PLUGIN-OUTPUT printf\n");
    fflush(stdout);
    fprintf(stderr, "PLUGIN-OUTPUT fprintf\n");
    fflush(stderr);
    writeTo(GetStdHandle(STD_OUTPUT_HANDLE), "PLUGIN-OUTPUT stdout\r\n");
    writeTo(GetStdHandle(STD_ERROR_HANDLE), "PLUGIN-OUTPUT stderr\r\n");
    for (value = 4; value < 0x2000; value += 4) {
        if (GetFileType((HANDLE)value) == FILE_TYPE_DISK)
            writeTo((HANDLE)value, "PLUGIN-OUTPUT handle\r\n");
    }
    *firstId = 0x0DA7u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void) { return "Output"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Print" : 0; }
