// The edit-box control.
#include "rpEdit.h"

rpEdit::rpEdit(rpWin* parentWin, int controlIdValue, int styleBits)
    : rpControl(parentWin, "Edit", controlIdValue, styleBits)
{
}

rpEdit::~rpEdit() = default;

void rpEdit::setSel(int start, int end)
{
    SendMessageA(hwnd, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

void rpEdit::limitText(int bytes)
{
    SendMessageA(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(bytes), 0);
}

