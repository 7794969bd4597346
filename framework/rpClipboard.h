// rpClipboard: a short-lived handle on the system clipboard for one format. Each data operation
// opens the clipboard when needed and closes it before returning; the destructor closes it if it
// is still open. rpClipText adds reading of NUL-terminated text. Owns nothing but the open state.
#ifndef RP_CLIPBOARD_H
#define RP_CLIPBOARD_H

#include "rpObject.h"

#include <windows.h>

class rpWin;

class rpClipboard : public rpObject {
public:
    // window may be null (the clipboard then has no owner window while open).
    rpClipboard(rpWin* window, int format);
    ~rpClipboard() override;
    rpClipboard(const rpClipboard&) = delete;
    rpClipboard& operator=(const rpClipboard&) = delete;

    // Opens the clipboard for this object (OpenClipboard). A non-null window replaces the owner
    // window. Returns 0 (also when already open through this object) or the system error code.
    int open(rpWin* window = nullptr);
    // Opens the clipboard if needed and empties it (EmptyClipboard); it stays open.
    // Returns 0 or the system error code.
    int empty();
    // Closes the clipboard if this object has it open. Returns 0 or the system error code.
    int close();
    // Ends an operation: closes the clipboard, keeping in lastError the error the operation
    // recorded before (or, when there was none, the close's). Returns lastError.
    int closeKeepingError();

    // The clipboard's data handle for format (0: the format field); null when the clipboard is
    // not open through this object or holds no such data. The handle belongs to the clipboard.
    HANDLE getHandle(int format = 0);
    // Copies the clipboard's data of format (0: the format field) into dst and returns its size
    // in bytes. A size of 0 or less (or a null dst) only measures. -1 when the format is absent,
    // the clipboard cannot be opened, or dst is too small (lastError 8).
    int getData(void* dst, int size, int format = 0);
    // SetClipboardData on the already open clipboard; on success the clipboard owns handle.
    // Returns 0 or the system error code (also kept in lastError).
    int putHandle(void* handle, int format = 0);
    // Places size bytes from src on the clipboard in format (0: the format field), emptying it
    // first when emptyFirst is set. Returns 0, the system error code, or -1 for bad arguments.
    int putData(const void* src, int size, int format = 0);
    // Empties the clipboard and announces format (0: the format field) for delayed rendering.
    // The clipboard stays open; close() or the destructor closes it. Returns 0 or the error code.
    int putDelay(int format = 0);

    int format;         // format used when a call passes 0 (CF_TEXT, CF_DIB, ...)
    rpWin* window;      // owner window while open; not owned, may be null
    bool isOpen;        // the clipboard is open through this object
    bool emptyFirst;    // putData empties the clipboard first (true after construction)
};

// Text clipboard: reads NUL-terminated text in the object's format (normally CF_TEXT).
class rpClipText : public rpClipboard {
public:
    rpClipText(rpWin* window, int format);
    ~rpClipText() override;

    // Hides the raw getData (reach it as rpClipboard::getData), so getData(nullptr, 0) is
    // unambiguous.
    // Copies the clipboard text with its NUL into dst and returns its length without the NUL.
    // A size of 0 or less (or a null dst) only measures; a dst shorter than length + 1 gives -1
    // and lastError 8. -1 also when there is no text or the clipboard cannot be opened.
    int getData(char* dst, int size);
};

#endif
