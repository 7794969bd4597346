#include "recordingclass.h"

#include <algorithm>

namespace testsupport {

std::vector<UINT>& classSeen()
{
    static std::vector<UINT> seen;
    return seen;
}

LRESULT CALLBACK recordingClassProc(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    classSeen().push_back(msg);
    return DefWindowProcA(h, msg, w, l);
}

void registerRecordingClass()
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = recordingClassProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = RecClass;
    RegisterClassExA(&wc);
}

bool seenByClass(UINT msg)
{
    const std::vector<UINT>& seen = classSeen();
    return std::find(seen.begin(), seen.end(), msg) != seen.end();
}

}  // namespace testsupport
