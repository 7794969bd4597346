// The device-independent bitmap: layout, rows, packing, palettes and depth conversions.
#include "rpDiBitmap.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {
using Bitmap = std::unique_ptr<rpDiBitmap>;

int indexAt(int x, int y, int colorCount) { return (x * 7 + y * 3 + x * y) % colorCount; }
unsigned long entry(int i) { return RGB(i, 255 - i, (i * 5) & 0xFF); }

// A 1-, 4- or 8-bit bitmap holding indexAt() (written through the packing operations) and a
// palette of distinct entries.
Bitmap indexedBitmap(int width, int height, int bits)
{
    Bitmap bmp(new rpDiBitmap(width, height, bits));
    std::vector<unsigned long> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = entry(i);
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

// Pixel (x, y) read straight from the bottom-up buffer: an index, or a COLORREF above 8 bits.
unsigned long pixel(const rpDiBitmap& bmp, int x, int y)
{
    const unsigned char* row = bmp.data + (bmp.height - 1 - y) * bmp.stride;
    switch (bmp.bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    case 8: return row[x];
    default: {
        const unsigned char* p = row + x * (bmp.bits / 8);
        return RGB(p[2], p[1], p[0]);
    }
    }
}
}  // namespace

TEST(DiBitmap, LayoutFollowsTheDepthTable)
{
    const int cases[][5] = {// width, height, bits, stride, colors
                            {3, 2, 1, 4, 2},   {33, 1, 1, 8, 2},  {5, 1, 4, 4, 16},
                            {3, 2, 8, 4, 256}, {3, 1, 16, 8, 0},  {3, 1, 15, 8, 0},
                            {10, 1, 24, 32, 0}, {1, 1, 32, 4, 0}};
    for (const auto& c : cases) {
        rpDiBitmap bmp(c[0], c[1], c[2]);
        SCOPED_TRACE(c[2]);
        ASSERT_EQ(bmp.lastError, 0);
        EXPECT_EQ(bmp.stride, c[3]);
        EXPECT_EQ(bmp.colors, c[4]);
        EXPECT_EQ(bmp.headerSize, 40 + 4 * c[4]);
        EXPECT_EQ(bmp.imageSize, c[3] * c[1]);
        EXPECT_NE(bmp.data, nullptr);
        EXPECT_EQ(bmp.header->biSize, 40u);
        EXPECT_EQ(bmp.header->biHeight, c[1]);
        EXPECT_EQ(bmp.header->biBitCount, c[2]);
    }
    EXPECT_EQ(sizeof(rpDiBitmap::InfoStorage), 1064u);

    // Unsupported depths, top-down or negative sizes, sizes beyond memory: no pixel buffer.
    const int refused[][4] = {{4, 4, 2, -1}, {4, 4, 12, -1}, {4, -4, 24, -1}, {-4, 4, 8, -1},
                              {100000, 100000, 32, 8}};
    for (const auto& r : refused) {
        rpDiBitmap bmp(r[0], r[1], r[2]);
        EXPECT_EQ(bmp.lastError, r[3]);
        EXPECT_EQ(bmp.data, nullptr);
        EXPECT_EQ(bmp.copy(), nullptr);
        EXPECT_EQ(bmp.bits == 24 ? bmp.setTo32bit() : bmp.setTo24bit(), nullptr);
        unsigned char line[4];
        EXPECT_EQ(bmp.getLine(line, 0), -1);
    }
}

TEST(DiBitmap, SourceHeaderGivesSizeDepthAndAtMostItsUsedColours)
{
    rpDiBitmap::InfoStorage source = {};
    source.header = {sizeof(BITMAPINFOHEADER), 7, 3, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i)
        source.colors[i] = RGBQUAD{BYTE(i), BYTE(i ^ 0x55), BYTE(255 - i), 0};
    rpDiBitmap bmp(1, 1, 24, reinterpret_cast<BITMAPINFO*>(&source), true);
    EXPECT_EQ(bmp.width, 7);
    EXPECT_EQ(bmp.height, 3);
    EXPECT_EQ(bmp.stride, 8);
    EXPECT_EQ(bmp.colors, 256);
    EXPECT_EQ(std::memcmp(bmp.infoBuf.colors, source.colors, 1024), 0);

    source.header.biClrUsed = 2;
    bmp.init(1, 1, 24, reinterpret_cast<BITMAPINFO*>(&source), true);
    unsigned long table[256];
    ASSERT_EQ(bmp.getPalette(table), 256);
    EXPECT_EQ(table[1], RGB(254, 1 ^ 0x55, 1));
    EXPECT_EQ(table[2], 0u);
    EXPECT_EQ(bmp.header->biClrUsed, 0u);  // the table held is the full one
}

TEST(DiBitmap, SourceMasksAndColourTableAreReadWhereTheHeaderPutsThem)
{
    // 5-6-5 bit fields: the masks follow a 40-byte header and travel with copies.
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } fields = {{40, 2, 1, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0}, {0xF800, 0x07E0, 0x001F}};
    rpDiBitmap b16(1, 1, 24, reinterpret_cast<BITMAPINFO*>(&fields), true);
    std::memcpy(b16.data, "\x00\xF8\xE0\x07", 4);
    Bitmap twin(b16.copy());
    Bitmap rgb(twin->setTo24bit());
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(pixel(*rgb, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(pixel(*rgb, 1, 0), RGB(0, 255, 0));

    // A V5 header (124 bytes, a mask at byte 40), then the colour table.
    unsigned char v5[124 + 8] = {};
    *reinterpret_cast<BITMAPINFOHEADER*>(v5) = {124, 3, 1, 1, 1, BI_RGB, 0, 0, 0, 0, 0};
    v5[42] = 0xFF;
    std::memcpy(v5 + 128, "\x01\x02\x03", 3);
    rpDiBitmap mono(1, 1, 24, reinterpret_cast<BITMAPINFO*>(v5), true);
    EXPECT_EQ(mono.header->biSize, 40u);  // the header block it holds
    unsigned long table[2];
    ASSERT_EQ(mono.getPalette(table), 2);
    EXPECT_EQ(table[0], 0u);
    EXPECT_EQ(table[1], RGB(3, 2, 1));
}

TEST(DiBitmap, RowsAreBottomUpAndPackedFromTheHighBits)
{
    rpDiBitmap bmp(3, 3, 8);
    for (int y = 0; y < 3; ++y) {
        unsigned char line[4] = {BYTE(y), BYTE(10 + y), BYTE(20 + y), 0xEE};
        ASSERT_EQ(bmp.putLine(line, y), 0);
    }
    EXPECT_EQ(bmp.data[8], 0);  // row 0 is the last in memory
    EXPECT_EQ(bmp.data[0], 2);
    unsigned char line[4] = {7, 7, 7, 7};
    EXPECT_EQ(bmp.getLine(line, 3), -1);
    EXPECT_EQ(bmp.putLine(line, -1), -1);
    ASSERT_EQ(bmp.getLine(line, 1), 0);
    EXPECT_EQ(std::memcmp(line, bmp.data + 4, 4), 0);

    rpDiBitmap nib(3, 1, 4);
    const unsigned char values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    nib.packLineN(0, values);
    EXPECT_EQ(nib.data[0], 0x12);
    EXPECT_EQ(nib.data[3], 0x78);  // the whole stride is written
    unsigned char out[10];
    std::memset(out, 0xAA, sizeof out);
    nib.unpackLineN(out, 0);
    EXPECT_EQ(std::memcmp(out, "\1\2\3\4\xAA", 5), 0);

    rpDiBitmap bitRow(11, 1, 1);
    std::memset(bitRow.data, 0xFF, 4);
    const unsigned char bitsIn[11] = {1, 0, 0, 0, 0, 0, 0, 2, 1, 0, 1};
    bitRow.packLineB(0, bitsIn);
    EXPECT_EQ(std::memcmp(bitRow.data, "\x81\xA0\xFF", 3), 0);  // partial byte zero-filled
    std::memset(out, 0xAA, sizeof out);
    rpDiBitmap three(3, 1, 1);
    three.data[0] = 0xA5;
    three.unpackLineB(out, 0);
    EXPECT_EQ(std::memcmp(out, "\1\0\1\0\0\1\0\1\xAA", 9), 0);
}

TEST(DiBitmap, PalettesTravelAsColorRefs)
{
    rpDiBitmap one(1, 1, 1);
    one.infoBuf.colors[0].rgbReserved = 0x99;
    const unsigned long table[2] = {0x00123456, 0x00FFFFFF};
    EXPECT_EQ(one.putPalette(table), 2);
    EXPECT_EQ(one.infoBuf.colors[0].rgbRed, 0x56);
    EXPECT_EQ(one.infoBuf.colors[0].rgbBlue, 0x12);
    EXPECT_EQ(one.infoBuf.colors[0].rgbReserved, 0x99);
    unsigned long out[256];
    EXPECT_EQ(one.getPalette(out), 2);
    EXPECT_EQ(out[0], 0x00123456u);

    std::vector<unsigned long> big(256, 0x00ABCDEF);
    rpDiBitmap four(2, 2, 4), eight(2, 2, 8), deep(2, 2, 24);
    EXPECT_EQ(four.importPalette(big.data(), -1), 16);
    EXPECT_EQ(four.importPalette(big.data(), 100), 16);
    EXPECT_EQ(deep.importPalette(big.data(), -1), 0);
    eight.putPalette(big.data());
    EXPECT_EQ(eight.importPalette(&four), 256);  // the whole table of this bitmap
    eight.getPalette(out);
    EXPECT_EQ(out[15], 0x00ABCDEFu);
    EXPECT_EQ(out[16], 0u);  // four's unused entries are black
    EXPECT_EQ(four.importPalette(&eight), 16);

    EXPECT_EQ(four.setMonoPalette(), 16);
    four.getPalette(out);
    EXPECT_EQ(out[1], RGB(17, 17, 17));
    EXPECT_EQ(out[15], RGB(255, 255, 255));
    EXPECT_EQ(deep.setMonoPalette(), 0);
    EXPECT_EQ(deep.headerSize, 40);
}

TEST(DiBitmap, CopyAndSameDepthConversions)
{
    Bitmap bmp = indexedBitmap(13, 5, 4);
    Bitmap twin(bmp->copy());
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(std::memcmp(&twin->infoBuf, &bmp->infoBuf, 104), 0);
    EXPECT_EQ(std::memcmp(twin->data, bmp->data, static_cast<size_t>(bmp->imageSize)), 0);
    EXPECT_NE(twin->data, bmp->data);

    rpDiBitmap eight(2, 2, 8), b24(2, 2, 24), b32(2, 2, 32);
    EXPECT_EQ(eight.upto8bit(), &eight);
    EXPECT_EQ(bmp->setTo4bit(), bmp.get());
    EXPECT_EQ(b24.setTo24bit(), &b24);
    EXPECT_EQ(b32.setTo32bit(), &b32);
    b24.lastError = 1234;
    EXPECT_EQ(b24.upto8bit(), nullptr);
    EXPECT_EQ(b24.setTo4bit(), nullptr);
    EXPECT_EQ(b24.lastError, 1234);
}

TEST(DiBitmap, EveryConversionKeepsEveryPixel)
{
    // Partial bytes and odd nibbles; the top row is last in memory, where an overrun would end
    // up past the buffer.
    for (int bits : {1, 4, 8}) {
        for (int width : {1, 3, 9, 13, 17}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
            Bitmap src = indexedBitmap(width, 3, bits);
            const int n = src->colors;
            Bitmap b24(src->setTo24bit()), b32(src->setTo32bit());
            Bitmap up(bits < 8 ? src->upto8bit() : src->copy());
            Bitmap nib(bits != 4 ? src->setTo4bit() : src->copy());
            Bitmap back(nib->upto8bit());
            ASSERT_TRUE(b24 && b32 && up && nib && back);
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < width; ++x) {
                    int index = indexAt(x, y, n);
                    ASSERT_EQ(pixel(*src, x, y), unsigned(index));
                    ASSERT_EQ(pixel(*b24, x, y), entry(index));
                    ASSERT_EQ(pixel(*b32, x, y), entry(index));
                    ASSERT_EQ(b32->data[(2 - y) * b32->stride + 4 * x + 3], 0xFF);
                    ASSERT_EQ(pixel(*up, x, y), unsigned(index));
                    ASSERT_EQ(pixel(*nib, x, y), unsigned(index & 0x0F));  // low nibble kept
                    ASSERT_EQ(pixel(*back, x, y), unsigned(index & 0x0F));
                }
                for (int x = width; x < up->stride; ++x)
                    ASSERT_EQ(up->data[(2 - y) * up->stride + x], 0);
            }
            unsigned long palette[256];
            up->getPalette(palette);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(palette[i], i < n ? entry(i) : 0u);
            nib->getPalette(palette);
            EXPECT_EQ(palette[n < 16 ? n - 1 : 15], entry(n < 16 ? n - 1 : 15));
        }
    }
}

TEST(DiBitmap, TrueColourAndSixteenBitPixelsConvert)
{
    rpDiBitmap b24(5, 3, 24);
    for (int i = 0; i < b24.imageSize; ++i)
        b24.data[i] = static_cast<unsigned char>(i * 37 + 11);
    Bitmap b32(b24.setTo32bit());
    ASSERT_NE(b32, nullptr);
    Bitmap back(b32->setTo24bit());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            ASSERT_EQ(pixel(*b32, x, y), pixel(b24, x, y));
            ASSERT_EQ(pixel(*back, x, y), pixel(b24, x, y));
        }

    // 5-5-5 by default; bit fields with masks after the header; none without masks.
    rpDiBitmap b16(5, 1, 16);
    std::memcpy(b16.data, "\x00\x7C\xE0\x03\x1F\x00\xFF\x7F\x21\x04", 10);
    Bitmap rgb(b16.setTo32bit());
    ASSERT_NE(rgb, nullptr);
    const unsigned long expected[5] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255),
                                       RGB(255, 255, 255), RGB(8, 8, 8)};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(pixel(*rgb, x, 0), expected[x]);
    b16.header->biCompression = BI_BITFIELDS;
    const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(b16.infoBuf.colors, masks, sizeof masks);
    std::memcpy(b16.data, "\x00\xF8\xE0\x07", 4);
    Bitmap rgb565(b16.setTo24bit());
    ASSERT_NE(rgb565, nullptr);
    EXPECT_EQ(pixel(*rgb565, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(pixel(*rgb565, 1, 0), RGB(0, 255, 0));
    std::memset(b16.infoBuf.colors, 0, sizeof masks);
    EXPECT_EQ(b16.setTo24bit(), nullptr);
}
