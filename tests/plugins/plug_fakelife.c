// A Command plug-in that keeps changing the published length of its worker's lines for twenty
// seconds while it is asked for its name, without adding a line: the length runs through the
// first bytes of a line announced as 4,095 bytes long, which is never whole. It looks busy, and
// is silent.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"
#include "hostile.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0700u;
    *secondId = 0x0005u;
}

const char* __cdecl MQGetPlugInName(void)
{
    HostileBlock* block = hostileBlock();
    DWORD start = GetTickCount();
    LONG whole = block ? block->committed : 0;
    LONG step = 1;
    if (!block)
        return "Fake life";
    block->data[whole] = (char)0xFF;
    block->data[whole + 1] = 0x0F;
    while (GetTickCount() - start < 20000) {
        InterlockedExchange(&block->committed, whole + step);
        step = step % 1000 + 1;
        Sleep(10);
    }
    InterlockedExchange(&block->committed, whole);
    return "Fake life";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
