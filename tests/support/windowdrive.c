/* Drives a running inspector from another process, for the run script:
 *   windowdrive drop FILE...   waits for the inspector's window and drops the files on it
 *   windowdrive idle           waits (up to 2 minutes) until no batch runs: no progress in the caption
 *   windowdrive size W H       makes the window W x H pixels, at 20, 20
 *   windowdrive filter TEXT    types TEXT into the filter box
 *   windowdrive click ID       clicks the button (or check box) with the id
 *   windowdrive select N       selects line N of the list (from 0), as a click would
 *   windowdrive rect           prints the window's screen rectangle: left top width height
 *   windowdrive close          presses the Close button
 * The drop is built as the shell builds one: a DROPFILES block with the ANSI names, placed in
 * the inspector's own memory and sent as WM_DROPFILES. Exit code 0 on success, 1 otherwise. */
#include <windows.h>
#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The inspector's main dialog: a dialog-class top-level window with Open, Copy and the list. */
static BOOL CALLBACK findInspector(HWND h, LPARAM found)
{
    char name[16] = "";
    GetClassNameA(h, name, sizeof name);
    if (strcmp(name, "#32770") == 0 && IsWindowVisible(h) && GetDlgItem(h, 120) && GetDlgItem(h, 122) &&
        GetDlgItem(h, 260)) {
        *(HWND*)found = h;
        return FALSE;
    }
    return TRUE;
}

static HWND waitForInspector(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = NULL;
        EnumWindows(findInspector, (LPARAM)&found);
        if (found)
            return found;
        if (GetTickCount() - start > timeoutMs)
            return NULL;
        Sleep(100);
    }
}

/* Waits until the window's thread has handled everything posted to it before. */
static void settle(HWND h)
{
    DWORD_PTR ignored;
    SendMessageTimeoutA(h, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
}

static int drop(HWND h, int count, char** files)
{
    size_t size = sizeof(DROPFILES) + 1;
    for (int i = 0; i < count; ++i)
        size += strlen(files[i]) + 1;
    char* block = (char*)calloc(1, size);
    if (!block)
        return 1;
    DROPFILES* header = (DROPFILES*)block;
    header->pFiles = sizeof(DROPFILES);
    header->pt.x = 20;
    header->pt.y = 20;
    header->fNC = FALSE;
    header->fWide = FALSE;
    char* p = block + sizeof(DROPFILES);
    for (int i = 0; i < count; ++i) {
        size_t n = strlen(files[i]) + 1;
        memcpy(p, files[i], n);
        p += n;
    }
    *p = 0;

    DWORD processId = 0;
    GetWindowThreadProcessId(h, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ, FALSE, processId);
    void* remote = process ? VirtualAllocEx(process, NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : NULL;
    int result = 1;
    if (remote && WriteProcessMemory(process, remote, block, size, NULL)) {
        /* The block is a fixed allocation, so its address serves as the drop handle. Sent, so
         * that it is freed only after the inspector has read it. */
        DWORD_PTR answer;
        if (SendMessageTimeoutA(h, WM_DROPFILES, (WPARAM)remote, 0, SMTO_NORMAL, 60000, &answer))
            result = 0;
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (process)
        CloseHandle(process);
    free(block);
    return result;
}

/* Waits until the caption shows no progress ("[done/all]"). */
static int idle(HWND h)
{
    DWORD start = GetTickCount();
    for (;;) {
        char caption[800] = "";
        settle(h);
        GetWindowTextA(h, caption, sizeof caption);
        if (!strchr(caption, '['))
            return 0;
        if (GetTickCount() - start > 120000)
            return 1;
        Sleep(200);
    }
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: windowdrive drop FILE... | idle | size W H | filter TEXT | click ID | select N | rect | close\n");
        return 1;
    }
    HWND h = waitForInspector(30000);
    if (!h) {
        fprintf(stderr, "windowdrive: no inspector window\n");
        return 1;
    }
    if (strcmp(argv[1], "drop") == 0)
        return drop(h, argc - 2, argv + 2);
    if (strcmp(argv[1], "idle") == 0)
        return idle(h);
    if (strcmp(argv[1], "size") == 0 && argc == 4) {
        SetWindowPos(h, NULL, 20, 20, atoi(argv[2]), atoi(argv[3]), SWP_NOZORDER | SWP_NOACTIVATE);
        settle(h);
        return 0;
    }
    if (strcmp(argv[1], "filter") == 0 && argc == 3) {
        SendMessageA(GetDlgItem(h, 131), WM_SETTEXT, 0, (LPARAM)argv[2]);
        return 0;
    }
    if (strcmp(argv[1], "click") == 0 && argc == 3) {
        SendMessageA(GetDlgItem(h, atoi(argv[2])), BM_CLICK, 0, 0);
        settle(h);
        return 0;
    }
    if (strcmp(argv[1], "select") == 0 && argc == 3) {
        HWND list = GetDlgItem(h, 260);
        SendMessageA(list, LB_SETCURSEL, (WPARAM)atoi(argv[2]), 0);
        SendMessageA(h, WM_COMMAND, MAKEWPARAM(260, LBN_SELCHANGE), (LPARAM)list);
        return 0;
    }
    if (strcmp(argv[1], "rect") == 0) {
        RECT r;
        settle(h);
        GetWindowRect(h, &r);
        printf("%ld %ld %ld %ld\n", (long)r.left, (long)r.top, (long)(r.right - r.left), (long)(r.bottom - r.top));
        return 0;
    }
    if (strcmp(argv[1], "close") == 0) {
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(h, IDCANCEL));
        return 0;
    }
    fprintf(stderr, "windowdrive: unknown command %s\n", argv[1]);
    return 1;
}
