// A minimal dialog program, the start-up baseline of the benchmark: it initialises the common
// controls, shows one modal dialog from its template and ends when the dialog is closed.
#include <windows.h>
#include <commctrl.h>

namespace {

INT_PTR CALLBACK miniProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    InitCommonControls();
    INT_PTR result = DialogBoxParamA(instance, "MiniDialog", nullptr, miniProc, 0);
    return result == -1 ? 1 : 0;
}
