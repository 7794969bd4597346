// The bitmap clipboard: CF_DIB blocks to and from rpDiBitmap.
#include "rpClipBmp.h"

#include "rpDiBitmap.h"

#include <cstring>
#include <new>

namespace {
constexpr SIZE_T HeaderBytes = sizeof(BITMAPINFOHEADER);

DWORD readDword(const unsigned char* p)
{
    DWORD value;
    std::memcpy(&value, p, sizeof value);
    return value;
}
}  // namespace

rpClipBmp::rpClipBmp(rpWin* window) : rpClipboard(window, CF_DIB) {}

rpClipBmp::~rpClipBmp()
{
    if (isOpen)
        close();
}

rpDiBitmap* rpClipBmp::getData()
{
    open();
    HANDLE handle = getHandle(CF_DIB);
    if (!handle) {
        close();
        return nullptr;
    }
    dbout("rpDiBitmap*rpClipBmp::getData() %x\n",
          static_cast<unsigned>(reinterpret_cast<UINT_PTR>(handle)));
    rpDiBitmap* bitmap = nullptr;
    if (const auto* block = static_cast<const unsigned char*>(GlobalLock(handle))) {
        bitmap = fromBlock(block, GlobalSize(handle));
        GlobalUnlock(handle);
    }
    close();
    return bitmap;
}

rpDiBitmap* rpClipBmp::fromBlock(const unsigned char* block, SIZE_T blockSize)
{
    if (blockSize < HeaderBytes)
        return nullptr;
    BITMAPINFOHEADER head;
    std::memcpy(&head, block, HeaderBytes);
    if (head.biSize < HeaderBytes || head.biSize > blockSize)
        return nullptr;
    const int depth = head.biPlanes * head.biBitCount;
    dbout("bitlen %d\n", depth);

    // Entries stored after the header: the colour table (biClrUsed of them when set) and, for
    // bit fields with a plain 40-byte header, the three masks before it.
    int entries;
    switch (depth) {
    case 1: entries = 2; break;
    case 4: entries = 16; break;
    case 8: entries = 256; break;
    case 24:
    case 32: entries = 0; break;
    default: return nullptr;
    }
    const bool bitFields = head.biCompression == BI_BITFIELDS;
    if (head.biCompression != BI_RGB && !(depth == 32 && bitFields))
        return nullptr;
    if (head.biClrUsed > 256 || (depth <= 8 && head.biClrUsed > DWORD(entries)))
        return nullptr;
    const SIZE_T tableEntries = head.biClrUsed ? head.biClrUsed : SIZE_T(entries);
    SIZE_T masksOffset = head.biSize;
    SIZE_T tableOffset = head.biSize;
    if (bitFields) {
        // Larger headers carry the masks in their own fields, right after the first 40 bytes.
        if (head.biSize == HeaderBytes)
            tableOffset += 12;
        else if (head.biSize >= HeaderBytes + 12)
            masksOffset = HeaderBytes;
        else
            return nullptr;
        if (tableOffset > blockSize)
            return nullptr;
        // Masks other than the usual 8-8-8 layout would be misread once marked BI_RGB.
        if (readDword(block + masksOffset) != 0x00FF0000 ||
            readDword(block + masksOffset + 4) != 0x0000FF00 ||
            readDword(block + masksOffset + 8) != 0x000000FF)
            return nullptr;
    }
    const SIZE_T pixelOffset = tableOffset + 4 * tableEntries;

    const bool topDown = head.biHeight < 0;
    if (head.biWidth <= 0 || head.biHeight == 0 || head.biHeight == LONG(0x80000000))
        return nullptr;
    const int height = topDown ? -head.biHeight : head.biHeight;
    auto* bitmap = new (std::nothrow) rpDiBitmap(head.biWidth, height, depth, nullptr, true);
    if (!bitmap)
        return nullptr;
    if (bitmap->lastError != 0 || pixelOffset > blockSize ||
        blockSize - pixelOffset < SIZE_T(bitmap->imageSize)) {
        delete bitmap;
        return nullptr;
    }
    dbout("ylen %d %d %d %d\n", bitmap->width, head.biHeight, bitmap->stride, bitmap->imageSize);
    dbout("headsize buflen %d %d\n", bitmap->headerSize, static_cast<int>(blockSize));

    // The header as stored, made to describe what this bitmap holds: a 40-byte header, a full
    // colour table, bottom-up rows, no compression.
    std::memcpy(bitmap->header, &head, HeaderBytes);
    bitmap->header->biSize = HeaderBytes;
    bitmap->header->biHeight = height;
    bitmap->header->biClrUsed = 0;
    bitmap->header->biCompression = BI_RGB;
    if (bitFields)
        std::memcpy(bitmap->infoBuf.colors, block + masksOffset, 12);
    if (depth <= 8)
        std::memcpy(bitmap->infoBuf.colors, block + tableOffset, 4 * tableEntries);

    const unsigned char* pixels = block + pixelOffset;
    if (!topDown) {
        std::memcpy(bitmap->data, pixels, static_cast<size_t>(bitmap->imageSize));
    } else {
        const size_t stride = static_cast<size_t>(bitmap->stride);
        for (int y = 0; y < height; ++y)
            bitmap->putLine(pixels + static_cast<size_t>(y) * stride, y);
    }
    return bitmap;
}

int rpClipBmp::putData(const rpDiBitmap* bitmap, bool emptyFirst)
{
    if (!bitmap || !bitmap->data || bitmap->headerSize <= 0) {
        lastError = -1;
        return -1;
    }
    if (open() != 0)
        return lastError;
    if (emptyFirst)
        empty();
    const SIZE_T headerSize = static_cast<SIZE_T>(bitmap->headerSize);
    const SIZE_T imageSize = static_cast<SIZE_T>(bitmap->imageSize);
    // The clipboard takes movable global memory.
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, headerSize + imageSize);
    auto* bytes = block ? static_cast<unsigned char*>(GlobalLock(block)) : nullptr;
    if (!bytes) {
        DWORD code = GetLastError();
        lastError = static_cast<int>(code ? code : ERROR_NOT_ENOUGH_MEMORY);
        if (block)
            GlobalFree(block);
    } else {
        std::memcpy(bytes, &bitmap->infoBuf, headerSize);
        std::memcpy(bytes + headerSize, bitmap->data, imageSize);
        GlobalUnlock(block);
        if (putHandle(block, 0) != 0)
            GlobalFree(block);
    }
    return closeKeepingError();
}
