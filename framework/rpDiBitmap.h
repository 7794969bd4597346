// rpDiBitmap: an image in the device-independent bitmap layout - a BITMAPINFOHEADER with its
// colour table (kept inside the object) and an owned pixel buffer of bottom-up rows padded to
// four bytes. Conversions to other depths return new bitmaps that the caller owns.
#ifndef RP_DIBITMAP_H
#define RP_DIBITMAP_H

#include "rpObject.h"

#include <windows.h>

class rpDiBitmap : public rpObject {
public:
    // Header storage: the header followed by room for a full 256-entry colour table.
    struct InfoStorage {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    };

    // Calls init with the same arguments; check lastError afterwards.
    rpDiBitmap(int width, int height, int bits, const BITMAPINFO* source = nullptr,
               bool allocate = true);
    ~rpDiBitmap() override;
    rpDiBitmap(const rpDiBitmap&) = delete;
    rpDiBitmap& operator=(const rpDiBitmap&) = delete;

    // (Re)initialises for width x height pixels of bits per pixel (1, 4, 8, 15, 16, 24, 32).
    // With a source header, its first 40 bytes replace the header (and give width, height and
    // planes x bit count); for 8 bits or fewer the colour table after the source's header
    // (biSize bytes) is copied (biClrUsed entries when that field is set, else the full table);
    // above 8 bits with BI_BITFIELDS the three masks are copied into the header block, which
    // then takes 52 bytes. A source header under 40 bytes is refused (-1). Allocates the pixel
    // buffer when allocate is true (contents undefined). Sets and returns lastError: 0, -1 for
    // an unsupported depth or a negative size (top-down bitmaps are not held), 8 when the
    // buffer cannot be had.
    int init(int width, int height, int bits, const BITMAPINFO* source, bool allocate);

    // A new bitmap with the same header, colour table and pixels, owned by the caller; null when
    // this bitmap has no pixels or the copy cannot be allocated.
    rpDiBitmap* copy();

    // Row y counts from the top. Each copies stride bytes; -1 (nothing copied) for a row outside
    // the bitmap or a bitmap without pixels, else 0.
    int getLine(unsigned char* dst, int y);
    int putLine(const unsigned char* src, int y);

    // 4-bit rows <-> one value per byte. packLineN reads 2 x stride values (the first of each
    // pair is the high nibble); unpackLineN writes 2 x ceil(width / 2) values.
    int packLineN(int y, const unsigned char* src);
    int unpackLineN(unsigned char* dst, int y);
    // 1-bit rows <-> one value per byte (non-zero is 1). packLineB reads width values, the first
    // in the most significant bit; the bits after the last pixel of a partial byte are written 0.
    // unpackLineB writes 8 x ceil(width / 8) values.
    int packLineB(int y, const unsigned char* src);
    int unpackLineB(unsigned char* dst, int y);

    // Palette access in COLORREF form (0x00BBGGRR). Each returns the number of entries handled.
    int putPalette(const unsigned long* table);
    int getPalette(unsigned long* out, bool unused = false);
    // Copies colors entries of the other bitmap's colour table into this one and returns colors;
    // 0 above 8 bits.
    int importPalette(const rpDiBitmap* other);
    // Stores count entries (all when negative, at most colors); 0 when table is null or above
    // 8 bits.
    int importPalette(const unsigned long* table, int count);
    // Grey ramp for the depth (2, 16 or 256 entries); colors becomes 0 above 8 bits.
    int setMonoPalette();

    // Depth conversions. Each returns this bitmap when it already has the target depth (do not
    // delete it then), a new bitmap owned by the caller, or null (unsupported source, no
    // pixels, or no memory - then lastError is 8).
    rpDiBitmap* upto8bit();    // from 1 or 4 bits; indices and palette kept
    rpDiBitmap* setTo4bit();   // from 1 or 8 bits; 8-bit indices keep their low nibble
    rpDiBitmap* setTo24bit();  // from 1, 4, 8, 15, 16 or 32 bits
    rpDiBitmap* setTo32bit();  // from 1, 4, 8, 15, 16 or 24 bits; the fourth byte is 0xFF

    InfoStorage infoBuf;         // header and colour table; zero-filled by init
    BITMAPINFO* info;            // points into infoBuf
    BITMAPINFOHEADER* header;    // points into infoBuf; with headerSize, the header block
    unsigned char* data;         // pixel buffer, owned; null when none was allocated
    int width;
    int height;
    int bits;                    // bits per pixel
    int imageSize;               // stride x height
    int headerSize;              // 40 + 4 x colors, or 52 with bit-field masks
    int stride;                  // bytes per stored row, a multiple of 4
    int colors;                  // colour entries in use: 2, 16, 256, or 0 above 8 bits

private:
    unsigned char* row(int y);
    // Bit-field mask number index (red, green, blue), kept where the colour table starts.
    DWORD colorMask(int index) const;
    // Colour indices of row y, one per byte (1, 4 and 8 bits); dst holds width + 8 values.
    bool readIndices(int y, unsigned char* dst);
    // A new bitmap of the same size for a conversion, or null with lastError 8.
    rpDiBitmap* makeTarget(int targetBits);
    // Writes row y of target (24 or 32 bits) from this bitmap's pixels.
    bool convertRow(rpDiBitmap* target, int y, unsigned char* work);
    rpDiBitmap* toTrueColor(int targetBits);
};

#endif
