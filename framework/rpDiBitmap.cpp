// Device-independent bitmap: layout, row access, 1- and 4-bit packing, palettes, conversions.
#include "rpDiBitmap.h"

#include <climits>
#include <cstring>
#include <new>

static_assert(sizeof(rpDiBitmap::InfoStorage) == 1064, "header plus 256 colour entries");

namespace {
constexpr int HeaderBytes = static_cast<int>(sizeof(BITMAPINFOHEADER));

// One colour channel of a packed pixel, scaled to 0..255.
unsigned char channel(DWORD pixel, DWORD mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (!(mask & (1u << shift)))
        ++shift;
    unsigned long long max = mask >> shift;
    unsigned long long value = (pixel & mask) >> shift;
    return static_cast<unsigned char>((value * 255 + max / 2) / max);
}
}  // namespace

rpDiBitmap::rpDiBitmap(int width, int height, int bits, const BITMAPINFO* source, bool allocate)
    : rpObject("rpDiBitmap"), infoBuf(), info(nullptr), header(nullptr), data(nullptr), width(0),
      height(0), bits(0), imageSize(0), headerSize(0), stride(0), colors(0)
{
    init(width, height, bits, source, allocate);
}

rpDiBitmap::~rpDiBitmap()
{
    delete[] data;
}

int rpDiBitmap::init(int width, int height, int bits, const BITMAPINFO* source, bool allocate)
{
    // A second init must not leak the first buffer.
    delete[] data;
    data = nullptr;
    imageSize = 0;
    stride = 0;
    colors = 0;
    headerSize = 0;
    lastError = 0;
    this->width = width;
    this->height = height;
    this->bits = bits;

    info = reinterpret_cast<BITMAPINFO*>(&infoBuf);
    header = &infoBuf.header;
    std::memset(&infoBuf, 0, sizeof infoBuf);
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = static_cast<WORD>(bits);

    if (source) {
        // A smaller (core) header has another layout; a larger one (V4, V5) starts like ours.
        if (source->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
            lastError = -1;
            return lastError;
        }
        std::memcpy(header, &source->bmiHeader, sizeof(BITMAPINFOHEADER));
        header->biSize = sizeof(BITMAPINFOHEADER);  // what infoBuf holds
        this->width = header->biWidth;
        this->height = header->biHeight;
        this->bits = header->biPlanes * header->biBitCount;
    }

    long long rowBytes;
    switch (this->bits) {
    case 1: rowBytes = (this->width + 7LL) / 8; colors = 2; break;
    case 4: rowBytes = (this->width + 1LL) / 2; colors = 16; break;
    case 8: rowBytes = this->width; colors = 256; break;
    case 15:
    case 16: rowBytes = this->width * 2LL; break;
    case 24: rowBytes = this->width * 3LL; break;
    case 32: rowBytes = this->width * 4LL; break;
    default: lastError = -1; return lastError;
    }
    // Rows are stored bottom-up with a positive height; top-down layouts are refused.
    if (this->width < 0 || this->height < 0) {
        colors = 0;
        lastError = -1;
        return lastError;
    }
    long long rowStride = (rowBytes + 3) / 4 * 4;
    long long total = rowStride * this->height;
    stride = rowStride > INT_MAX ? 0 : static_cast<int>(rowStride);
    headerSize = HeaderBytes + 4 * colors;

    const auto* sourceBytes = reinterpret_cast<const unsigned char*>(source);
    if (source && header->biCompression == BI_BITFIELDS && this->bits > 8) {
        // The masks follow a 40-byte header and are the next fields of a larger one: at byte 40
        // either way. They stay where our colour table starts, as part of the header block.
        std::memcpy(infoBuf.colors, sourceBytes + HeaderBytes, 12);
        headerSize += 12;
    }
    if (source && this->bits <= 8) {
        // A source that declares fewer entries holds no more than that; the rest stay black.
        int count = colors;
        if (source->bmiHeader.biClrUsed > 0 && source->bmiHeader.biClrUsed < DWORD(colors))
            count = static_cast<int>(source->bmiHeader.biClrUsed);
        // The table follows the source's header, whatever its size.
        std::memcpy(infoBuf.colors, sourceBytes + source->bmiHeader.biSize,
                    4 * static_cast<size_t>(count));
        // Our colour table is always the full one that headerSize describes.
        header->biClrUsed = 0;
    }

    if (total > INT_MAX) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return lastError;
    }
    imageSize = static_cast<int>(total);
    if (allocate) {
        data = new (std::nothrow) unsigned char[imageSize > 0 ? imageSize : 1];
        if (!data)
            lastError = ERROR_NOT_ENOUGH_MEMORY;
    }
    return lastError;
}

unsigned char* rpDiBitmap::row(int y)
{
    if (!data || y < 0 || y >= height)
        return nullptr;
    return data + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(stride);
}

rpDiBitmap* rpDiBitmap::copy()
{
    if (!data)
        return nullptr;
    auto* result = new (std::nothrow) rpDiBitmap(width, height, bits, nullptr, true);
    if (!result)
        return nullptr;
    if (result->lastError != 0) {
        delete result;
        return nullptr;
    }
    std::memcpy(&result->infoBuf, &infoBuf, static_cast<size_t>(headerSize));
    std::memcpy(result->data, data, static_cast<size_t>(imageSize));
    return result;
}

int rpDiBitmap::getLine(unsigned char* dst, int y)
{
    unsigned char* line = row(y);
    if (!line || !dst)
        return -1;
    std::memcpy(dst, line, static_cast<size_t>(stride));
    return 0;
}

int rpDiBitmap::putLine(const unsigned char* src, int y)
{
    unsigned char* line = row(y);
    if (!line || !src)
        return -1;
    std::memcpy(line, src, static_cast<size_t>(stride));
    return 0;
}

int rpDiBitmap::packLineN(int y, const unsigned char* src)
{
    unsigned char* line = row(y);
    if (!line || !src)
        return -1;
    for (int i = 0; i < stride; ++i)
        line[i] = static_cast<unsigned char>((src[2 * i] << 4) | src[2 * i + 1]);
    return 0;
}

int rpDiBitmap::unpackLineN(unsigned char* dst, int y)
{
    const unsigned char* line = row(y);
    if (!line || !dst)
        return -1;
    for (int i = 0, produced = 0; produced < width; ++i) {
        dst[produced++] = line[i] >> 4;
        dst[produced++] = line[i] & 0x0F;
    }
    return 0;
}

int rpDiBitmap::packLineB(int y, const unsigned char* src)
{
    unsigned char* line = row(y);
    if (!line || !src)
        return -1;
    for (int i = 0; i * 8 < width; ++i) {
        unsigned char byte = 0;
        int count = width - i * 8 < 8 ? width - i * 8 : 8;
        for (int bit = 0; bit < count; ++bit) {
            if (src[i * 8 + bit])
                byte |= static_cast<unsigned char>(0x80 >> bit);
        }
        line[i] = byte;
    }
    return 0;
}

int rpDiBitmap::unpackLineB(unsigned char* dst, int y)
{
    const unsigned char* line = row(y);
    if (!line || !dst)
        return -1;
    for (int i = 0; i * 8 < width; ++i) {
        for (int bit = 0; bit < 8; ++bit)
            dst[i * 8 + bit] = (line[i] >> (7 - bit)) & 1;
    }
    return 0;
}

int rpDiBitmap::putPalette(const unsigned long* table)
{
    if (!table)
        return 0;
    for (int i = 0; i < colors; ++i) {
        infoBuf.colors[i].rgbRed = GetRValue(table[i]);
        infoBuf.colors[i].rgbGreen = GetGValue(table[i]);
        infoBuf.colors[i].rgbBlue = GetBValue(table[i]);
    }
    return colors;
}

int rpDiBitmap::getPalette(unsigned long* out, bool)
{
    if (!out)
        return 0;
    for (int i = 0; i < colors; ++i) {
        const RGBQUAD& c = infoBuf.colors[i];
        out[i] = RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
    }
    return colors;
}

int rpDiBitmap::importPalette(const rpDiBitmap* other)
{
    if (!other || bits > 8)
        return 0;
    // The whole table is replaced: entries beyond the ones the other bitmap uses come from its
    // storage as they stand (black after init). Both storages hold 256 entries.
    std::memcpy(infoBuf.colors, other->infoBuf.colors, 4 * static_cast<size_t>(colors));
    return colors;
}

int rpDiBitmap::importPalette(const unsigned long* table, int count)
{
    if (!table || bits > 8)
        return 0;
    if (count < 0 || count > colors)
        count = colors;
    for (int i = 0; i < count; ++i) {
        infoBuf.colors[i].rgbRed = GetRValue(table[i]);
        infoBuf.colors[i].rgbGreen = GetGValue(table[i]);
        infoBuf.colors[i].rgbBlue = GetBValue(table[i]);
    }
    return count;
}

int rpDiBitmap::setMonoPalette()
{
    int step;
    switch (bits) {
    case 1: colors = 2; step = 255; break;
    case 4: colors = 16; step = 17; break;
    case 8: colors = 256; step = 1; break;
    default: colors = 0; return 0;
    }
    for (int i = 0; i < colors; ++i) {
        auto grey = static_cast<BYTE>(i * step);
        infoBuf.colors[i].rgbRed = grey;
        infoBuf.colors[i].rgbGreen = grey;
        infoBuf.colors[i].rgbBlue = grey;
    }
    return colors;
}

DWORD rpDiBitmap::colorMask(int index) const
{
    DWORD mask;
    std::memcpy(&mask, &infoBuf.colors[index], sizeof mask);
    return mask;
}

bool rpDiBitmap::readIndices(int y, unsigned char* dst)
{
    switch (bits) {
    case 1: return unpackLineB(dst, y) == 0;
    case 4: return unpackLineN(dst, y) == 0;
    case 8:
        if (const unsigned char* line = row(y)) {
            std::memcpy(dst, line, static_cast<size_t>(width));
            return true;
        }
        return false;
    default: return false;
    }
}

rpDiBitmap* rpDiBitmap::makeTarget(int targetBits)
{
    auto* target = new (std::nothrow) rpDiBitmap(width, height, targetBits, nullptr, true);
    if (!target || target->lastError != 0) {
        delete target;
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    return target;
}

rpDiBitmap* rpDiBitmap::upto8bit()
{
    if (bits == 8)
        return this;
    if (bits > 7 || !data)
        return nullptr;
    rpDiBitmap* target = makeTarget(8);
    unsigned char* work = target ? new (std::nothrow) unsigned char[width + 8] : nullptr;
    if (!work) {
        delete target;
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    std::memcpy(target->infoBuf.colors, infoBuf.colors, 4 * static_cast<size_t>(colors));
    // Unpacking covers whole source bytes, which can be wider than the target row, so each
    // row goes through the working line and only width indices are kept.
    for (int y = 0; y < height; ++y) {
        unsigned char* line = target->row(y);
        std::memset(line, 0, static_cast<size_t>(target->stride));
        readIndices(y, work);
        std::memcpy(line, work, static_cast<size_t>(width));
    }
    delete[] work;
    lastError = 0;
    return target;
}

rpDiBitmap* rpDiBitmap::setTo4bit()
{
    if (bits == 4)
        return this;
    if (bits > 8 || !data)
        return nullptr;
    rpDiBitmap* target = makeTarget(4);
    unsigned char* work = target ? new (std::nothrow) unsigned char[width + 8] : nullptr;
    if (!work) {
        delete target;
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    int entries = colors < 16 ? colors : 16;
    std::memcpy(target->infoBuf.colors, infoBuf.colors, 4 * static_cast<size_t>(entries));
    for (int y = 0; y < height; ++y) {
        unsigned char* line = target->row(y);
        std::memset(line, 0, static_cast<size_t>(target->stride));
        readIndices(y, work);
        // An 8-bit index above 15 keeps its low nibble rather than spilling into its
        // neighbour.
        for (int x = 0; x < width; ++x) {
            unsigned char index = work[x] & 0x0F;
            line[x / 2] |= static_cast<unsigned char>(x % 2 ? index : index << 4);
        }
    }
    delete[] work;
    lastError = 0;
    return target;
}

bool rpDiBitmap::convertRow(rpDiBitmap* target, int y, unsigned char* work)
{
    const unsigned char* src = row(y);
    unsigned char* dst = target->row(y);
    const int outBytes = target->bits / 8;
    std::memset(dst, 0, static_cast<size_t>(target->stride));
    auto put = [&](int x, BYTE blue, BYTE green, BYTE red) {
        unsigned char* p = dst + x * outBytes;
        p[0] = blue;
        p[1] = green;
        p[2] = red;
        if (outBytes == 4)
            p[3] = 0xFF;
    };
    switch (bits) {
    case 1:
    case 4:
    case 8:
        if (!readIndices(y, work))
            return false;
        for (int x = 0; x < width; ++x) {
            const RGBQUAD& c = infoBuf.colors[work[x]];
            put(x, c.rgbBlue, c.rgbGreen, c.rgbRed);
        }
        return true;
    case 15:
    case 16: {
        // 5-5-5 unless the header declares bit fields, whose masks follow the header.
        DWORD red = 0x7C00, green = 0x03E0, blue = 0x001F;
        if (header->biCompression == BI_BITFIELDS) {
            red = colorMask(0);
            green = colorMask(1);
            blue = colorMask(2);
        }
        for (int x = 0; x < width; ++x) {
            DWORD pixel = src[2 * x] | (src[2 * x + 1] << 8);
            put(x, channel(pixel, blue), channel(pixel, green), channel(pixel, red));
        }
        return true;
    }
    case 24:
    case 32: {
        const int inBytes = bits / 8;
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = src + x * inBytes;
            put(x, p[0], p[1], p[2]);
        }
        return true;
    }
    default:
        return false;
    }
}

rpDiBitmap* rpDiBitmap::toTrueColor(int targetBits)
{
    if (bits == targetBits)
        return this;
    if (!data)
        return nullptr;
    if (bits == 15 || bits == 16) {
        // Bit fields without usable masks cannot be decoded.
        if (header->biCompression == BI_BITFIELDS &&
            !(colorMask(0) && colorMask(1) && colorMask(2)))
            return nullptr;
        if (header->biCompression != BI_RGB && header->biCompression != BI_BITFIELDS)
            return nullptr;
    }
    rpDiBitmap* target = makeTarget(targetBits);
    unsigned char* work = target ? new (std::nothrow) unsigned char[width + 8] : nullptr;
    if (!work) {
        delete target;
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    lastError = 0;
    for (int y = 0; y < height; ++y) {
        if (!convertRow(target, y, work)) {
            delete target;
            target = nullptr;
            break;
        }
    }
    delete[] work;
    return target;
}

rpDiBitmap* rpDiBitmap::setTo24bit()
{
    return toTrueColor(24);
}

rpDiBitmap* rpDiBitmap::setTo32bit()
{
    return toTrueColor(32);
}
