// rpClipBmp: moves device-independent bitmaps between the program and the clipboard as CF_DIB
// blocks (header, colour table or masks, pixels). Bitmaps it returns belong to the caller.
#ifndef RP_CLIPBMP_H
#define RP_CLIPBMP_H

#include "rpClipboard.h"

class rpDiBitmap;

class rpClipBmp : public rpClipboard {
public:
    // Works with CF_DIB; window may be null.
    explicit rpClipBmp(rpWin* window = nullptr);
    ~rpClipBmp() override;

    // Hides the raw getData (reach it as rpClipboard::getData).
    // A new bottom-up bitmap made from the clipboard's CF_DIB block, owned by the caller; null
    // when there is none, its depth is not 1, 4, 8, 24 or 32, it is compressed (other than
    // 32-bit bit fields with the standard masks), or the block is shorter than its header says.
    // A top-down block is accepted and its rows are turned over.
    rpDiBitmap* getData();
    // Places the bitmap's header block and pixels as one block in the object's format, emptying
    // the clipboard first when emptyFirst is true. Returns 0, the system error code, or -1 for a
    // bitmap without pixels.
    int putData(const rpDiBitmap* bitmap, bool emptyFirst);

private:
    // The bitmap described by a locked CF_DIB block of blockSize bytes, or null.
    rpDiBitmap* fromBlock(const unsigned char* block, SIZE_T blockSize);
};

#endif
