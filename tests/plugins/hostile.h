/* What the hostile fixtures use to reach their worker's channel to the window, as a plug-in
   that wants to can: the pipe (the only pipe handle of the worker) and the shared block (named
   after the pipe, whose name is on the worker's command line). The layout is the worker
   protocol's: a message is a kind byte, a 32-bit little-endian length and the payload; the
   block starts with the taken request's sequence number, the published length of its lines,
   the record's size, then the lines. */
#ifndef FIXTURE_HOSTILE_H
#define FIXTURE_HOSTILE_H

#include <windows.h>

#include <string.h>
#include <wchar.h>

typedef struct {
    volatile LONG taken;
    volatile LONG committed;
    volatile LONG recordSize;
    char data[65536];
} HostileBlock;

/* The worker's end of its pipe to the window; null when none is found. */
static inline HANDLE hostilePipe(void)
{
    UINT_PTR value;
    for (value = 4; value < 0x2000; value += 4) {
        if (GetFileType((HANDLE)value) == FILE_TYPE_PIPE)
            return (HANDLE)value;
    }
    return NULL;
}

/* The worker's shared block, mapped; null when it cannot be opened. */
static inline HostileBlock* hostileBlock(void)
{
    const wchar_t* line = GetCommandLineW();
    const wchar_t* pipe = wcsstr(line, L"\\\\.\\pipe\\");
    wchar_t name[256] = L"Local\\";
    size_t length;
    HANDLE mapping;
    if (!pipe)
        return NULL;
    pipe += wcslen(L"\\\\.\\pipe\\");
    for (length = 0; pipe[length] && pipe[length] != L' ' && length < 200; ++length)
        name[6 + length] = pipe[length];
    wcscpy(name + 6 + length, L"-lines");
    mapping = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
    return mapping ? (HostileBlock*)MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(HostileBlock)) : NULL;
}

static inline void hostilePut(char** at, DWORD value)
{
    int i;
    for (i = 0; i < 4; ++i)
        *(*at)++ = (char)((value >> (8 * i)) & 0xFF);
}

/* Writes a Record message without strings to the pipe: the sequence it answers, the IDs, the
   type value and the answer bits, no name, and the facts of a probe that did not validate (25
   zero integers and two empty texts). */
static inline void hostileRecord(DWORD sequence, DWORD firstId, DWORD secondId, DWORD type, DWORD answers)
{
    char message[256];
    char* at = message + 5;
    DWORD written = 0;
    int fact;
    hostilePut(&at, sequence);
    hostilePut(&at, 0);         /* left behind: nothing */
    hostilePut(&at, firstId);
    hostilePut(&at, secondId);
    hostilePut(&at, type);
    hostilePut(&at, answers);
    hostilePut(&at, 0);         /* load error */
    hostilePut(&at, 0);         /* name: empty */
    hostilePut(&at, 0);         /* strings: none */
    for (fact = 0; fact < 25 + 2; ++fact)
        hostilePut(&at, 0);     /* facts: none; no debug runtime texts */
    message[0] = 'R';
    {
        char* length = message + 1;
        hostilePut(&length, (DWORD)(at - message - 5));
    }
    WriteFile(hostilePipe(), message, (DWORD)(at - message), &written, NULL);
}

#endif
