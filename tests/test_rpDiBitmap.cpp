// The device-independent bitmap: layout, rows, packing, palettes and depth conversions.
#include "rpDiBitmap.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bitmap = std::unique_ptr<rpDiBitmap>;

// Colour index of pixel (x, y) in the test images: a pattern that differs in every row.
int indexAt(int x, int y, int colorCount)
{
    return (x * 7 + y * 3 + x * y) % colorCount;
}

// A palette whose entries all differ: red = i, green = 255 - i, blue = i * 5.
unsigned long paletteEntry(int i)
{
    return RGB(i, 255 - i, (i * 5) & 0xFF);
}

// A 1-, 4- or 8-bit bitmap filled with indexAt() through the packing operations, with the
// distinct palette.
Bitmap indexedBitmap(int width, int height, int bits)
{
    Bitmap bmp(new rpDiBitmap(width, height, bits));
    std::vector<unsigned long> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = paletteEntry(i);
    bmp->putPalette(table.data());
    std::vector<unsigned char> values(static_cast<size_t>(bmp->stride) * 8, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            values[x] = static_cast<unsigned char>(indexAt(x, y, bmp->colors));
        if (bits == 1)
            bmp->packLineB(y, values.data());
        else if (bits == 4)
            bmp->packLineN(y, values.data());
        else
            bmp->putLine(values.data(), y);
    }
    return bmp;
}

// The index of pixel (x, y) read straight from the bottom-up buffer.
int storedIndex(rpDiBitmap& bmp, int x, int y)
{
    const unsigned char* row = bmp.data + (bmp.height - 1 - y) * bmp.stride;
    switch (bmp.bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    default: return row[x];
    }
}

// Blue, green, red of pixel (x, y) of a 24- or 32-bit bitmap as a COLORREF.
unsigned long storedColor(rpDiBitmap& bmp, int x, int y)
{
    const unsigned char* p = bmp.data + (bmp.height - 1 - y) * bmp.stride + x * (bmp.bits / 8);
    return RGB(p[2], p[1], p[0]);
}

}  // namespace

TEST(DiBitmapLayout, StrideColorsAndSizesFollowTheDepth)
{
    struct Case {
        int width, height, bits, stride, colors;
    } cases[] = {
        {3, 2, 1, 4, 2},   {33, 1, 1, 8, 2},  {5, 1, 4, 4, 16}, {9, 2, 4, 8, 16},
        {3, 2, 8, 4, 256}, {4, 1, 8, 4, 256}, {3, 1, 15, 8, 0}, {3, 1, 16, 8, 0},
        {10, 1, 24, 32, 0}, {1, 1, 24, 4, 0}, {1, 1, 32, 4, 0}, {0, 3, 24, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits);
        rpDiBitmap bmp(c.width, c.height, c.bits);
        ASSERT_EQ(bmp.lastError, 0);
        EXPECT_EQ(bmp.stride, c.stride);
        EXPECT_EQ(bmp.colors, c.colors);
        EXPECT_EQ(bmp.headerSize, 40 + 4 * c.colors);
        EXPECT_EQ(bmp.imageSize, c.stride * c.height);
        EXPECT_NE(bmp.data, nullptr);
        EXPECT_EQ(bmp.header->biSize, 40u);
        EXPECT_EQ(bmp.header->biWidth, c.width);
        EXPECT_EQ(bmp.header->biHeight, c.height);
        EXPECT_EQ(bmp.header->biPlanes, 1);
        EXPECT_EQ(bmp.header->biBitCount, c.bits);
        EXPECT_EQ(bmp.header->biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(bmp.header->biClrUsed, 0u);
    }
    rpDiBitmap bmp(3, 2, 1);
    EXPECT_STREQ(bmp.name(), "rpDiBitmap");
    EXPECT_EQ(sizeof bmp.infoBuf, 1064u);
    EXPECT_EQ(static_cast<void*>(bmp.header), static_cast<void*>(&bmp.infoBuf));
    EXPECT_EQ(static_cast<void*>(bmp.info), static_cast<void*>(&bmp.infoBuf));
}

TEST(DiBitmapLayout, UnsupportedDepthsAndTopDownSizesAreRefused)
{
    for (int bits : {0, 2, 3, 12, 48}) {
        rpDiBitmap bmp(4, 4, bits);
        EXPECT_EQ(bmp.lastError, -1) << bits;
        EXPECT_EQ(bmp.data, nullptr);
        EXPECT_EQ(bmp.imageSize, 0);
        EXPECT_EQ(bmp.copy(), nullptr);
    }
    rpDiBitmap topDown(4, -4, 24);
    EXPECT_EQ(topDown.lastError, -1);
    EXPECT_EQ(topDown.data, nullptr);
    rpDiBitmap negativeWidth(-4, 4, 8);
    EXPECT_EQ(negativeWidth.lastError, -1);
    EXPECT_EQ(negativeWidth.data, nullptr);
    // A buffer larger than the address arithmetic allows is reported as lack of memory.
    rpDiBitmap huge(100000, 100000, 32);
    EXPECT_EQ(huge.lastError, 8);
    EXPECT_EQ(huge.data, nullptr);
    // Without allocation the layout is set up but there is no buffer.
    rpDiBitmap bare(3, 2, 1, nullptr, false);
    EXPECT_EQ(bare.lastError, 0);
    EXPECT_EQ(bare.imageSize, 8);
    EXPECT_EQ(bare.data, nullptr);
    unsigned char line[4];
    EXPECT_EQ(bare.getLine(line, 0), -1);
    EXPECT_EQ(bare.setTo24bit(), nullptr);
}

TEST(DiBitmapLayout, SourceHeaderGivesSizeDepthAndColourTable)
{
    rpDiBitmap::InfoStorage source = {};
    source.header.biSize = sizeof(BITMAPINFOHEADER);
    source.header.biWidth = 7;
    source.header.biHeight = 3;
    source.header.biPlanes = 1;
    source.header.biBitCount = 8;
    for (int i = 0; i < 256; ++i)
        source.colors[i] = RGBQUAD{BYTE(i), BYTE(i ^ 0x55), BYTE(255 - i), BYTE(i)};
    auto* info = reinterpret_cast<BITMAPINFO*>(&source);

    rpDiBitmap bmp(1, 1, 24, info, true);
    ASSERT_EQ(bmp.lastError, 0);
    EXPECT_EQ(bmp.width, 7);
    EXPECT_EQ(bmp.height, 3);
    EXPECT_EQ(bmp.bits, 8);
    EXPECT_EQ(bmp.colors, 256);
    EXPECT_EQ(bmp.stride, 8);
    EXPECT_EQ(std::memcmp(bmp.infoBuf.colors, source.colors, 1024), 0);

    // A source that declares two used colours supplies only those two.
    source.header.biClrUsed = 2;
    rpDiBitmap partial(1, 1, 24, info, true);
    EXPECT_EQ(std::memcmp(partial.infoBuf.colors, source.colors, 8), 0);
    unsigned long table[256];
    ASSERT_EQ(partial.getPalette(table), 256);
    EXPECT_EQ(table[2], 0u);
    EXPECT_EQ(table[255], 0u);
    EXPECT_EQ(partial.header->biClrUsed, 0u);

    // Planes times bit count gives the depth.
    source.header.biPlanes = 4;
    source.header.biBitCount = 1;
    rpDiBitmap planar(1, 1, 24, info, true);
    EXPECT_EQ(planar.bits, 4);
    EXPECT_EQ(planar.colors, 16);
}

TEST(DiBitmapRows, RowZeroIsStoredLast)
{
    rpDiBitmap bmp(3, 3, 8);
    ASSERT_EQ(bmp.stride, 4);
    for (int y = 0; y < 3; ++y) {
        unsigned char line[4] = {BYTE(y), BYTE(10 + y), BYTE(20 + y), 0xEE};
        ASSERT_EQ(bmp.putLine(line, y), 0);
    }
    EXPECT_EQ(bmp.data[8], 0);   // row 0 at data + (height - 1) * stride
    EXPECT_EQ(bmp.data[0], 2);   // row 2 first in memory
    EXPECT_EQ(bmp.data[11], 0xEE);
    unsigned char line[4];
    ASSERT_EQ(bmp.getLine(line, 1), 0);
    EXPECT_EQ(line[1], 11);
    EXPECT_EQ(std::memcmp(line, bmp.data + 4, 4), 0);

    std::memset(line, 0x77, sizeof line);
    EXPECT_EQ(bmp.getLine(line, 3), -1);
    EXPECT_EQ(bmp.getLine(line, -1), -1);
    EXPECT_EQ(bmp.putLine(line, 3), -1);
    EXPECT_EQ(line[0], 0x77);
}

TEST(DiBitmapRows, FourBitRowsPackAndUnpackByNibble)
{
    rpDiBitmap bmp(3, 1, 4);
    const unsigned char values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(bmp.packLineN(0, values), 0);
    EXPECT_EQ(bmp.data[0], 0x12);
    EXPECT_EQ(bmp.data[1], 0x34);
    EXPECT_EQ(bmp.data[3], 0x78);  // the whole stride is written

    unsigned char out[8];
    std::memset(out, 0xAA, sizeof out);
    ASSERT_EQ(bmp.unpackLineN(out, 0), 0);
    const unsigned char expected[4] = {1, 2, 3, 4};  // an odd width also gives the last low nibble
    EXPECT_EQ(std::memcmp(out, expected, 4), 0);
    EXPECT_EQ(out[4], 0xAA);
}

TEST(DiBitmapRows, OneBitRowsPackFromTheMostSignificantBit)
{
    rpDiBitmap bmp(8, 1, 1);
    const unsigned char values[8] = {1, 0, 0, 0, 0, 0, 0, 2};
    ASSERT_EQ(bmp.packLineB(0, values), 0);
    EXPECT_EQ(bmp.data[0], 0x81);

    // A partial last byte gets its pixels in the high bits and zero after them.
    rpDiBitmap partial(11, 1, 1);
    std::memset(partial.data, 0xFF, static_cast<size_t>(partial.imageSize));
    const unsigned char eleven[11] = {0, 1, 0, 1, 0, 1, 0, 1, 1, 0, 1};
    ASSERT_EQ(partial.packLineB(0, eleven), 0);
    EXPECT_EQ(partial.data[0], 0x55);
    EXPECT_EQ(partial.data[1], 0xA0);
    EXPECT_EQ(partial.data[2], 0xFF);  // row padding is left alone

    rpDiBitmap three(3, 1, 1);
    three.data[0] = 0xA5;
    unsigned char out[9];
    std::memset(out, 0xCC, sizeof out);
    ASSERT_EQ(three.unpackLineB(out, 0), 0);
    const unsigned char expected[8] = {1, 0, 1, 0, 0, 1, 0, 1};
    EXPECT_EQ(std::memcmp(out, expected, 8), 0);
    EXPECT_EQ(out[8], 0xCC);
}

TEST(DiBitmapPalette, ColorRefsMapToRgbQuads)
{
    rpDiBitmap bmp(1, 1, 1);
    bmp.infoBuf.colors[0].rgbReserved = 0x99;
    unsigned long table[2] = {0x00123456, 0x00FFFFFF};
    EXPECT_EQ(bmp.putPalette(table), 2);
    EXPECT_EQ(bmp.infoBuf.colors[0].rgbRed, 0x56);
    EXPECT_EQ(bmp.infoBuf.colors[0].rgbGreen, 0x34);
    EXPECT_EQ(bmp.infoBuf.colors[0].rgbBlue, 0x12);
    EXPECT_EQ(bmp.infoBuf.colors[0].rgbReserved, 0x99);
    unsigned long out[2] = {};
    EXPECT_EQ(bmp.getPalette(out, true), 2);
    EXPECT_EQ(out[0], 0x00123456u);
    EXPECT_EQ(out[1], 0x00FFFFFFu);
}

TEST(DiBitmapPalette, ImportIsLimitedToTheTable)
{
    std::vector<unsigned long> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = paletteEntry(i);
    rpDiBitmap four(2, 2, 4);
    EXPECT_EQ(four.importPalette(table.data(), -1), 16);
    EXPECT_EQ(four.importPalette(table.data(), 100), 16);
    EXPECT_EQ(four.importPalette(table.data(), 3), 3);
    EXPECT_EQ(four.importPalette(static_cast<const unsigned long*>(nullptr), 3), 0);
    unsigned long out[16];
    four.getPalette(out);
    EXPECT_EQ(out[15], paletteEntry(15));
    rpDiBitmap deep(2, 2, 24);
    EXPECT_EQ(deep.importPalette(table.data(), -1), 0);
    EXPECT_EQ(deep.importPalette(&four), 0);

    // From another bitmap, as many entries as both tables hold.
    rpDiBitmap eight(2, 2, 8);
    EXPECT_EQ(eight.importPalette(&four), 16);
    unsigned long big[256];
    eight.getPalette(big);
    EXPECT_EQ(big[15], paletteEntry(15));
    EXPECT_EQ(big[16], 0u);
    EXPECT_EQ(four.importPalette(&eight), 16);
}

TEST(DiBitmapPalette, MonoPalettesAreGreyRamps)
{
    rpDiBitmap four(1, 1, 4);
    ASSERT_EQ(four.setMonoPalette(), 16);
    unsigned long out[256];
    four.getPalette(out);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(out[1], RGB(17, 17, 17));
    EXPECT_EQ(out[15], RGB(255, 255, 255));
    rpDiBitmap one(1, 1, 1);
    ASSERT_EQ(one.setMonoPalette(), 2);
    one.getPalette(out);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(out[1], RGB(255, 255, 255));
    rpDiBitmap eight(1, 1, 8);
    ASSERT_EQ(eight.setMonoPalette(), 256);
    eight.getPalette(out);
    EXPECT_EQ(out[200], RGB(200, 200, 200));
    rpDiBitmap deep(1, 1, 32);
    EXPECT_EQ(deep.setMonoPalette(), 0);
    EXPECT_EQ(deep.headerSize, 40);
}

TEST(DiBitmapCopy, CopyIsAnIndependentTwin)
{
    Bitmap bmp = indexedBitmap(13, 5, 4);
    bmp->header->biXPelsPerMeter = 2835;
    Bitmap twin(bmp->copy());
    ASSERT_NE(twin, nullptr);
    EXPECT_NE(twin->data, bmp->data);
    EXPECT_EQ(twin->width, 13);
    EXPECT_EQ(twin->bits, 4);
    EXPECT_EQ(std::memcmp(&twin->infoBuf, &bmp->infoBuf, static_cast<size_t>(bmp->headerSize)), 0);
    EXPECT_EQ(std::memcmp(twin->data, bmp->data, static_cast<size_t>(bmp->imageSize)), 0);
    bmp->data[0] ^= 0xFF;
    EXPECT_NE(twin->data[0], bmp->data[0]);
}

TEST(DiBitmapConvert, SameDepthReturnsTheSameObjectAndDeepSourcesAreRefused)
{
    rpDiBitmap eight(2, 2, 8), four(2, 2, 4), b24(2, 2, 24), b32(2, 2, 32), b16(2, 2, 16);
    EXPECT_EQ(eight.upto8bit(), &eight);
    EXPECT_EQ(four.setTo4bit(), &four);
    EXPECT_EQ(b24.setTo24bit(), &b24);
    EXPECT_EQ(b32.setTo32bit(), &b32);
    b24.lastError = 1234;
    EXPECT_EQ(b24.upto8bit(), nullptr);
    EXPECT_EQ(b24.setTo4bit(), nullptr);
    EXPECT_EQ(b24.lastError, 1234);
    EXPECT_EQ(b16.upto8bit(), nullptr);
    EXPECT_EQ(b16.setTo4bit(), nullptr);
}

TEST(DiBitmapConvert, IndexedBitmapsKeepEveryPixelThroughEveryConversion)
{
    // Widths that leave partial bytes and odd nibbles; the top row is the last in memory, where
    // an overrun would go past the buffer.
    for (int bits : {1, 4, 8}) {
        for (int width : {1, 3, 9, 13, 17}) {
            SCOPED_TRACE(testing::Message() << "bits " << bits << " width " << width);
            const int height = 3;
            Bitmap src = indexedBitmap(width, height, bits);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(storedIndex(*src, x, y), indexAt(x, y, src->colors));

            Bitmap b24(src->setTo24bit());
            Bitmap b32(src->setTo32bit());
            ASSERT_NE(b24, nullptr);
            ASSERT_NE(b32, nullptr);
            EXPECT_EQ(src->lastError, 0);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    unsigned long color = paletteEntry(indexAt(x, y, src->colors));
                    ASSERT_EQ(storedColor(*b24, x, y), color) << x << "," << y;
                    ASSERT_EQ(storedColor(*b32, x, y), color) << x << "," << y;
                    ASSERT_EQ(b32->data[(height - 1 - y) * b32->stride + 4 * x + 3], 0xFF);
                }
            }

            if (bits < 8) {
                Bitmap up(src->upto8bit());
                ASSERT_NE(up, nullptr);
                EXPECT_EQ(up->bits, 8);
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; ++x)
                        ASSERT_EQ(storedIndex(*up, x, y), indexAt(x, y, src->colors));
                    for (int x = width; x < up->stride; ++x)
                        ASSERT_EQ(up->data[(height - 1 - y) * up->stride + x], 0);
                }
                unsigned long palette[256];
                up->getPalette(palette);
                for (int i = 0; i < 256; ++i)
                    ASSERT_EQ(palette[i], i < src->colors ? paletteEntry(i) : 0u) << i;
            }
            if (bits != 4) {
                // 8-bit indices above 15 keep their low nibble.
                Bitmap nib(src->setTo4bit());
                ASSERT_NE(nib, nullptr);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        ASSERT_EQ(storedIndex(*nib, x, y), indexAt(x, y, src->colors) & 0x0F);
                unsigned long palette[16];
                nib->getPalette(palette);
                int copied = src->colors < 16 ? src->colors : 16;
                for (int i = 0; i < 16; ++i)
                    ASSERT_EQ(palette[i], i < copied ? paletteEntry(i) : 0u) << i;
                // And back up: the same indices as before.
                Bitmap back(nib->upto8bit());
                ASSERT_NE(back, nullptr);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        ASSERT_EQ(storedIndex(*back, x, y), indexAt(x, y, src->colors) & 0x0F);
            }
        }
    }
}

TEST(DiBitmapConvert, BlackAndWhiteOneBitBecomesBlackAndWhitePixels)
{
    rpDiBitmap mono(2, 1, 1);
    mono.setMonoPalette();
    const unsigned char values[2] = {0, 1};
    mono.packLineB(0, values);
    Bitmap rgb(mono.setTo24bit());
    ASSERT_NE(rgb, nullptr);
    const unsigned char expected[6] = {0, 0, 0, 255, 255, 255};
    EXPECT_EQ(std::memcmp(rgb->data, expected, 6), 0);
}

TEST(DiBitmapConvert, TrueColourRoundTripsPixelForPixel)
{
    rpDiBitmap b24(5, 3, 24);
    for (int i = 0; i < b24.imageSize; ++i)
        b24.data[i] = static_cast<unsigned char>(i * 37 + 11);
    Bitmap b32(b24.setTo32bit());
    ASSERT_NE(b32, nullptr);
    EXPECT_EQ(b32->stride, 20);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const unsigned char* s = b24.data + y * b24.stride + 3 * x;
            const unsigned char* d = b32->data + y * b32->stride + 4 * x;
            ASSERT_EQ(std::memcmp(s, d, 3), 0);
            ASSERT_EQ(d[3], 0xFF);
        }
    Bitmap back(b32->setTo24bit());
    ASSERT_NE(back, nullptr);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(std::memcmp(back->data + y * 16, b24.data + y * 16, 15), 0);
}

TEST(DiBitmapConvert, SixteenBitPixelsAreDecoded)
{
    // 5-5-5 by default.
    rpDiBitmap b16(5, 1, 16);
    const WORD pixels[5] = {0x7C00, 0x03E0, 0x001F, 0x7FFF, 0x0421};
    std::memcpy(b16.data, pixels, sizeof pixels);
    Bitmap rgb(b16.setTo32bit());
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(storedColor(*rgb, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(storedColor(*rgb, 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(storedColor(*rgb, 2, 0), RGB(0, 0, 255));
    EXPECT_EQ(storedColor(*rgb, 3, 0), RGB(255, 255, 255));
    EXPECT_EQ(storedColor(*rgb, 4, 0), RGB(8, 8, 8));

    // 5-6-5 through bit fields whose masks follow the header.
    b16.header->biCompression = BI_BITFIELDS;
    const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(b16.infoBuf.colors, masks, sizeof masks);
    const WORD wide[2] = {0xF800, 0x07E0};
    std::memcpy(b16.data, wide, sizeof wide);
    Bitmap rgb565(b16.setTo24bit());
    ASSERT_NE(rgb565, nullptr);
    EXPECT_EQ(storedColor(*rgb565, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(storedColor(*rgb565, 1, 0), RGB(0, 255, 0));

    // Bit fields without masks cannot be decoded.
    std::memset(b16.infoBuf.colors, 0, sizeof masks);
    EXPECT_EQ(b16.setTo24bit(), nullptr);
    rpDiBitmap b15(1, 1, 15);
    std::memcpy(b15.data, pixels, 2);
    Bitmap from15(b15.setTo24bit());
    ASSERT_NE(from15, nullptr);
    EXPECT_EQ(storedColor(*from15, 0, 0), RGB(255, 0, 0));
}
