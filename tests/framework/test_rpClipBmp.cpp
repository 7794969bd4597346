// The bitmap clipboard against the real clipboard, with CF_DIB blocks placed by the tests and
// by rpClipBmp itself.
#include "rpClipBmp.h"
#include "rpDiBitmap.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {
using Bitmap = std::unique_ptr<rpDiBitmap>;
using Bytes = std::vector<unsigned char>;

// Places a CF_DIB block on the emptied clipboard: a 40-byte header, `extra` DWORDs (masks,
// colour table), then the pixels. Returns the block.
Bytes placeDib(int width, int height, int bits, DWORD compression, std::vector<DWORD> extra,
               const Bytes& pixels, DWORD clrUsed = 0)
{
    BITMAPINFOHEADER head = {sizeof head, width, height, 1, WORD(bits), compression, 0, 0, 0,
                             clrUsed, 0};
    Bytes block(sizeof head + 4 * extra.size());
    std::memcpy(block.data(), &head, sizeof head);
    if (!extra.empty())
        std::memcpy(block.data() + sizeof head, extra.data(), 4 * extra.size());
    block.insert(block.end(), pixels.begin(), pixels.end());
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, block.size());
        std::memcpy(GlobalLock(handle), block.data(), block.size());
        GlobalUnlock(handle);
        SetClipboardData(CF_DIB, handle);
        CloseClipboard();
    }
    return block;
}

Bytes readDib()
{
    Bytes bytes;
    rpClipboard clip(nullptr, CF_DIB);
    bytes.resize(static_cast<size_t>(std::max(clip.getData(nullptr, 0, 0), 0)));
    clip.getData(bytes.data(), static_cast<int>(bytes.size()), 0);
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
    std::vector<DWORD> table;
    for (int i = 0; i < count; ++i)
        table.push_back(static_cast<DWORD>(0x00010203 * (i + 1)));
    return table;
}
}  // namespace

TEST(ClipBmp, EverySupportedDepthIsReadWithTableAndPixels)
{
    const int cases[][4] = {// width, height, bits, stride
                            {3, 2, 1, 4}, {9, 3, 4, 8}, {3, 2, 8, 4}, {5, 2, 24, 16}, {2, 3, 32, 8}};
    rpClipBmp clip;
    ASSERT_EQ(clip.format, CF_DIB);
    for (const auto& c : cases) {
        SCOPED_TRACE(c[2]);
        const int entries = c[2] <= 8 ? 1 << c[2] : 0;
        Bytes pixels = sequence(static_cast<size_t>(c[3] * c[1]), c[2]);
        placeDib(c[0], c[1], c[2], BI_RGB, palette(entries), pixels);
        Bitmap bmp(clip.getData());
        ASSERT_NE(bmp, nullptr);
        EXPECT_FALSE(clip.isOpen);
        EXPECT_EQ(bmp->width, c[0]);
        EXPECT_EQ(bmp->bits, c[2]);
        EXPECT_EQ(bmp->headerSize, 40 + 4 * entries);
        ASSERT_EQ(bmp->imageSize, static_cast<int>(pixels.size()));
        EXPECT_EQ(std::memcmp(bmp->data, pixels.data(), pixels.size()), 0);
        EXPECT_EQ(std::memcmp(bmp->infoBuf.colors, palette(entries).data(), 4 * entries), 0);
    }
}

TEST(ClipBmp, BitFieldMasksAreKeptAndTheCopyReadsAsPlainRgb)
{
    const std::vector<DWORD> masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    Bytes pixels = sequence(16, 7);
    Bytes block = placeDib(2, 2, 32, BI_BITFIELDS, masks, pixels);
    rpClipBmp clip;
    Bitmap bmp(clip.getData());
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->header->biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(std::memcmp(bmp->infoBuf.colors, masks.data(), 12), 0);
    EXPECT_EQ(std::memcmp(bmp->data, pixels.data(), 16), 0);
    Bytes after = readDib();  // the clipboard's block is left as it was
    ASSERT_GE(after.size(), block.size());
    EXPECT_EQ(std::memcmp(after.data(), block.data(), block.size()), 0);
}

TEST(ClipBmp, UnsupportedOrDamagedBlocksGiveNull)
{
    rpClipBmp clip;
    const Bytes pixels = sequence(16, 1);
    placeDib(2, 2, 16, BI_RGB, {}, pixels);
    EXPECT_EQ(clip.getData(), nullptr);
    placeDib(2, 2, 2, BI_RGB, palette(4), pixels);
    EXPECT_EQ(clip.getData(), nullptr);
    placeDib(2, 2, 32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, pixels);  // would be misread
    EXPECT_EQ(clip.getData(), nullptr);
    placeDib(4, 2, 8, BI_RLE8, palette(256), pixels);
    EXPECT_EQ(clip.getData(), nullptr);
    placeDib(64, 64, 24, BI_RGB, {}, pixels);  // shorter than the header says
    EXPECT_EQ(clip.getData(), nullptr);
    placeDib(0, 2, 24, BI_RGB, {}, pixels);
    EXPECT_EQ(clip.getData(), nullptr);
    rpClipText text(nullptr, CF_TEXT);
    ASSERT_EQ(text.putData("x", 2, 0), 0);
    EXPECT_EQ(clip.getData(), nullptr);
    EXPECT_FALSE(clip.isOpen);
}

TEST(ClipBmp, ShortColourTablesAndTopDownRowsAreReadSafely)
{
    rpClipBmp clip;
    Bytes pixels = sequence(8, 3);
    placeDib(3, 2, 8, BI_RGB, palette(2), pixels, 2);  // pixels right after two colours
    Bitmap bmp(clip.getData());
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(std::memcmp(bmp->data, pixels.data(), 8), 0);
    EXPECT_EQ(std::memcmp(bmp->infoBuf.colors, palette(2).data(), 8), 0);
    EXPECT_EQ(bmp->header->biClrUsed, 0u);

    placeDib(1, -4, 24, BI_RGB, {}, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0});
    Bitmap flipped(clip.getData());
    ASSERT_NE(flipped, nullptr);
    EXPECT_EQ(flipped->header->biHeight, 4);
    unsigned char line[4];
    for (int y = 0; y < 4; ++y) {
        ASSERT_EQ(flipped->getLine(line, y), 0);
        EXPECT_EQ(line[0], 1 + 3 * y);  // the first stored row is the top one
    }
}

TEST(ClipBmp, PutDataPlacesOneBlockThatReadsBack)
{
    // An 8-bit bitmap 3 pixels wide: rows of 4 bytes after a 256-entry table.
    rpDiBitmap bmp(3, 2, 8);
    bmp.setMonoPalette();
    for (int i = 0; i < bmp.imageSize; ++i)
        bmp.data[i] = static_cast<unsigned char>(40 + i);
    rpClipText text(nullptr, CF_TEXT);
    ASSERT_EQ(text.putData("keep", 5, 0), 0);
    rpClipBmp clip;
    ASSERT_EQ(clip.putData(&bmp, false), 0);  // the argument decides, not the field
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_FALSE(clip.isOpen);
    Bytes raw = readDib();
    ASSERT_GE(raw.size(), 1072u);
    EXPECT_EQ(std::memcmp(raw.data(), &bmp.infoBuf, 1064), 0);
    EXPECT_EQ(std::memcmp(raw.data() + 1064, bmp.data, 8), 0);
    Bitmap back(clip.getData());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::memcmp(&back->infoBuf, &bmp.infoBuf, 1064), 0);
    EXPECT_EQ(std::memcmp(back->data, bmp.data, 8), 0);

    Bitmap rgb(bmp.setTo32bit());
    ASSERT_EQ(clip.putData(rgb.get(), true), 0);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    Bitmap rgbBack(clip.getData());
    ASSERT_NE(rgbBack, nullptr);
    EXPECT_EQ(std::memcmp(rgbBack->data, rgb->data, static_cast<size_t>(rgb->imageSize)), 0);

    rpDiBitmap noPixels(1, 1, 24, nullptr, false);
    EXPECT_EQ(clip.putData(&noPixels, true), -1);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
}
