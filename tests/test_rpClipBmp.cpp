// The bitmap clipboard against the real clipboard: CF_DIB blocks placed by the tests and by
// rpClipBmp itself.
#include "rpClipBmp.h"
#include "rpDiBitmap.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bitmap = std::unique_ptr<rpDiBitmap>;
using Bytes = std::vector<unsigned char>;

// A CF_DIB block: a 40-byte header, `extra` DWORDs (masks, colour table), then the pixels.
Bytes dibBlock(int width, int height, int bits, DWORD compression,
               const std::vector<DWORD>& extra, const Bytes& pixels, DWORD clrUsed = 0)
{
    BITMAPINFOHEADER head = {};
    head.biSize = sizeof head;
    head.biWidth = width;
    head.biHeight = height;
    head.biPlanes = 1;
    head.biBitCount = static_cast<WORD>(bits);
    head.biCompression = compression;
    head.biClrUsed = clrUsed;
    Bytes block(sizeof head + 4 * extra.size());
    std::memcpy(block.data(), &head, sizeof head);
    if (!extra.empty())
        std::memcpy(block.data() + sizeof head, extra.data(), 4 * extra.size());
    block.insert(block.end(), pixels.begin(), pixels.end());
    return block;
}

// Empties the clipboard and places one block in format, as another program would.
void placeRaw(UINT format, const Bytes& bytes)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    ASSERT_NE(SetClipboardData(format, block), nullptr);
    CloseClipboard();
}

Bytes readRaw(UINT format)
{
    Bytes bytes;
    if (OpenClipboard(nullptr)) {
        if (HANDLE h = GetClipboardData(format)) {
            auto* p = static_cast<const unsigned char*>(GlobalLock(h));
            bytes.assign(p, p + GlobalSize(h));
            GlobalUnlock(h);
        }
        CloseClipboard();
    }
    return bytes;
}

Bytes sequence(size_t count, int seed)
{
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>(i * 13 + static_cast<size_t>(seed));
    return bytes;
}

std::vector<DWORD> palette(int count)
{
    std::vector<DWORD> table(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        table[static_cast<size_t>(i)] = static_cast<DWORD>(0x00010203 * (i + 1));
    return table;
}

class ClipBmpTest : public testing::Test {
protected:
    void SetUp() override { testsupport::clearDbout(); }
};

}  // namespace

TEST_F(ClipBmpTest, IndexedAndTrueColourBlocksAreReadWithTableAndPixels)
{
    struct Case {
        int width, height, bits, entries, stride;
    } cases[] = {
        {3, 2, 1, 2, 4}, {9, 3, 4, 16, 8}, {3, 2, 8, 256, 4}, {5, 2, 24, 0, 16}, {2, 3, 32, 0, 8},
    };
    rpClipBmp clip;
    EXPECT_EQ(clip.format, CF_DIB);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        std::vector<DWORD> table = palette(c.entries);
        Bytes pixels = sequence(static_cast<size_t>(c.stride * c.height), c.bits);
        placeRaw(CF_DIB, dibBlock(c.width, c.height, c.bits, BI_RGB, table, pixels));

        Bitmap bmp(clip.getData());
        ASSERT_NE(bmp, nullptr);
        EXPECT_FALSE(clip.isOpen);
        EXPECT_EQ(bmp->lastError, 0);
        EXPECT_EQ(bmp->width, c.width);
        EXPECT_EQ(bmp->height, c.height);
        EXPECT_EQ(bmp->bits, c.bits);
        EXPECT_EQ(bmp->stride, c.stride);
        EXPECT_EQ(bmp->headerSize, 40 + 4 * c.entries);
        EXPECT_EQ(bmp->header->biBitCount, c.bits);
        ASSERT_EQ(bmp->imageSize, static_cast<int>(pixels.size()));
        EXPECT_EQ(std::memcmp(bmp->data, pixels.data(), pixels.size()), 0);
        if (c.entries) {
            EXPECT_EQ(std::memcmp(bmp->infoBuf.colors, table.data(), 4 * table.size()), 0);
        }
    }
    const auto& log = testsupport::dboutLog();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0].rfind("rpDiBitmap*rpClipBmp::getData() ", 0), 0u);
    EXPECT_EQ(log[1], "bitlen 1\n");
}

TEST_F(ClipBmpTest, ThirtyTwoBitBitFieldsKeepTheirMasksAndReadAsPlainRgb)
{
    const std::vector<DWORD> masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    Bytes pixels = sequence(2 * 4 * 2, 7);
    Bytes block = dibBlock(2, 2, 32, BI_BITFIELDS, masks, pixels);
    placeRaw(CF_DIB, block);

    rpClipBmp clip;
    Bitmap bmp(clip.getData());
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->header->biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(std::memcmp(bmp->infoBuf.colors, masks.data(), 12), 0);
    EXPECT_EQ(std::memcmp(bmp->data, pixels.data(), pixels.size()), 0);
    // The clipboard's own block is untouched.
    Bytes after = readRaw(CF_DIB);
    ASSERT_GE(after.size(), block.size());
    EXPECT_EQ(std::memcmp(after.data(), block.data(), block.size()), 0);

    // Masks in another order would be misread as plain RGB.
    placeRaw(CF_DIB, dibBlock(2, 2, 32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, pixels));
    EXPECT_EQ(clip.getData(), nullptr);
}

TEST_F(ClipBmpTest, UnsupportedOrDamagedBlocksGiveNull)
{
    rpClipBmp clip;
    // 16 bits and other depths.
    placeRaw(CF_DIB, dibBlock(2, 2, 16, BI_RGB, {}, sequence(8, 1)));
    EXPECT_EQ(clip.getData(), nullptr);
    placeRaw(CF_DIB, dibBlock(2, 2, 2, BI_RGB, palette(4), sequence(8, 1)));
    EXPECT_EQ(clip.getData(), nullptr);
    // Run-length compressed pixels are not rows.
    placeRaw(CF_DIB, dibBlock(4, 2, 8, BI_RLE8, palette(256), sequence(8, 1)));
    EXPECT_EQ(clip.getData(), nullptr);
    // A block shorter than its header says.
    placeRaw(CF_DIB, dibBlock(64, 64, 24, BI_RGB, {}, sequence(100, 1)));
    EXPECT_EQ(clip.getData(), nullptr);
    placeRaw(CF_DIB, Bytes(20, 0));
    EXPECT_EQ(clip.getData(), nullptr);
    // Empty sizes.
    placeRaw(CF_DIB, dibBlock(0, 2, 24, BI_RGB, {}, sequence(8, 1)));
    EXPECT_EQ(clip.getData(), nullptr);
    EXPECT_FALSE(clip.isOpen);
    // No bitmap at all.
    rpClipText text(nullptr, CF_TEXT);
    ASSERT_EQ(text.putData("x", 2, 0), 0);
    EXPECT_EQ(clip.getData(), nullptr);
    EXPECT_FALSE(clip.isOpen);
}

TEST_F(ClipBmpTest, ShortColourTableAndTopDownRowsAreReadSafely)
{
    rpClipBmp clip;
    // Two used colours: the pixels start right after them.
    Bytes pixels = sequence(8, 3);
    placeRaw(CF_DIB, dibBlock(3, 2, 8, BI_RGB, palette(2), pixels, 2));
    Bitmap bmp(clip.getData());
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(std::memcmp(bmp->data, pixels.data(), 8), 0);
    EXPECT_EQ(std::memcmp(bmp->infoBuf.colors, palette(2).data(), 8), 0);
    EXPECT_EQ(bmp->header->biClrUsed, 0u);
    unsigned long table[256];
    bmp->getPalette(table);
    EXPECT_EQ(table[2], 0u);

    // Top-down: the first stored row is the top one; the copy is bottom-up.
    Bytes rows = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
    placeRaw(CF_DIB, dibBlock(1, -4, 24, BI_RGB, {}, rows));
    Bitmap flipped(clip.getData());
    ASSERT_NE(flipped, nullptr);
    EXPECT_EQ(flipped->height, 4);
    EXPECT_EQ(flipped->header->biHeight, 4);
    unsigned char line[4];
    for (int y = 0; y < 4; ++y) {
        ASSERT_EQ(flipped->getLine(line, y), 0);
        EXPECT_EQ(line[0], 1 + 3 * y);
    }
}

TEST_F(ClipBmpTest, PutDataPlacesHeaderAndPixelsAsOneBlockThatReadsBack)
{
    // An 8-bit bitmap 3 pixels wide: rows of 4 bytes and a 256-entry table.
    rpDiBitmap bmp(3, 2, 8);
    bmp.setMonoPalette();
    for (int i = 0; i < bmp.imageSize; ++i)
        bmp.data[i] = static_cast<unsigned char>(40 + i);
    rpClipBmp clip;
    ASSERT_EQ(clip.putData(&bmp, true), 0);
    EXPECT_FALSE(clip.isOpen);

    Bytes raw = readRaw(CF_DIB);
    ASSERT_GE(raw.size(), 1064u + 8u);
    EXPECT_EQ(std::memcmp(raw.data(), &bmp.infoBuf, 1064), 0);
    EXPECT_EQ(std::memcmp(raw.data() + 1064, bmp.data, 8), 0);

    Bitmap back(clip.getData());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->stride, 4);
    EXPECT_EQ(back->colors, 256);
    EXPECT_EQ(std::memcmp(&back->infoBuf, &bmp.infoBuf, 1064), 0);
    EXPECT_EQ(std::memcmp(back->data, bmp.data, 8), 0);

    // Converted pixels survive the trip too.
    Bitmap rgb(bmp.setTo32bit());
    ASSERT_NE(rgb, nullptr);
    ASSERT_EQ(clip.putData(rgb.get(), true), 0);
    Bitmap rgbBack(clip.getData());
    ASSERT_NE(rgbBack, nullptr);
    EXPECT_EQ(rgbBack->bits, 32);
    EXPECT_EQ(std::memcmp(rgbBack->data, rgb->data, static_cast<size_t>(rgb->imageSize)), 0);
}

TEST_F(ClipBmpTest, PutDataEmptiesOnlyWhenAsked)
{
    rpDiBitmap bmp(1, 1, 24);
    std::memset(bmp.data, 0x42, 4);
    rpClipText text(nullptr, CF_TEXT);
    rpClipBmp clip;

    ASSERT_EQ(text.putData("keep", 5, 0), 0);
    clip.emptyFirst = true;  // the field is not what decides
    ASSERT_EQ(clip.putData(&bmp, false), 0);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));

    ASSERT_EQ(clip.putData(&bmp, true), 0);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));

    rpDiBitmap noPixels(1, 1, 24, nullptr, false);
    EXPECT_EQ(clip.putData(&noPixels, true), -1);
    EXPECT_EQ(clip.putData(nullptr, true), -1);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
}
