// The stream base: typed reading and writing, lines and formatted text over the primitives of a
// concrete stream, with a small push-back stack.
#include "rpStream.h"

#include "rpJString.h"

#include <cstdio>
#include <cstring>

namespace {
// The stream family's own error texts, looked up before rpObject's table.
const rpObject::ErrorText StreamErrorTable[] = {
    {rpStream::NegativePosition, "負のファイル位置です"},
    {-9999, nullptr},
};

const unsigned char LF = 0x0A;
const unsigned char CR = 0x0D;
}  // namespace

rpStream::rpStream()
    : rpObject("rpStream"), unreadBuf(), unreadCount(0), pos(0), dataSize(0), openMode(0),
      streamKind(0), lastWrite(0), lastRead(0), newlineCode(0x0D0A)
{
}

rpStream::~rpStream() = default;

const char* rpStream::name()
{
    return ":Stream";
}

int rpStream::openStream(char)
{
    return lastError = -1;
}

const char* rpStream::errorString(int code, char* buf)
{
    return ErrorString(code, buf);
}

int rpStream::ropen()
{
    return openStream('r');
}

int rpStream::wopen()
{
    return openStream('w');
}

int rpStream::aopen()
{
    return openStream('a');
}

int rpStream::uopen()
{
    return openStream('u');
}

int rpStream::close()
{
    return lastError = -1;
}

int rpStream::readStream(void*, int, int*)
{
    return lastError = -1;
}

int rpStream::writeStream(const void*, int, int*)
{
    return lastError = -1;
}

int rpStream::seek(int, int)
{
    return lastError = -1;
}

int rpStream::position()
{
    return pos;
}

int rpStream::size()
{
    return dataSize;
}

bool rpStream::eof()
{
    return position() >= size();
}

const char* rpStream::getPath()
{
    return nullptr;
}

int rpStream::setPath(const char*)
{
    return lastError = -1;
}

int rpStream::setPath(rpPathname*)
{
    return lastError = -1;
}

int rpStream::setPath(rpPathname& path)
{
    return setPath(&path);
}

int rpStream::setData(const void*, int, bool)
{
    return lastError = -1;
}

unsigned char* rpStream::dataAddress()
{
    return nullptr;
}

int rpStream::read(void* dst, int n, int* got)
{
    lastError = 0;
    if (got)
        *got = 0;
    if (n <= 0)
        return 0;
    unsigned char* out = static_cast<unsigned char*>(dst);
    int k = 0;
    while (k < n && unreadCount > 0) {
        out[k++] = unreadBuf[--unreadCount];
        ++pos;
    }
    int more = 0;
    int result = 0;
    if (k < n && !(k > 0 && eof())) {
        result = readStream(out + k, n - k, &more);
        if (result == 0 && k + more == 0)
            result = 30;
        // Bytes already taken from the push-back stack are delivered; a failure of the rest
        // shows on the next read.
        if (result != 0 && k > 0) {
            result = 0;
            more = 0;
        }
    }
    lastError = result;
    if (result == 0 && got)
        *got = k + more;
    return result;
}

int rpStream::write(const void* src, int n, int* got)
{
    lastError = 0;
    if (n <= 0) {
        if (got)
            *got = 0;
        return 0;
    }
    int result = writeStream(src, n, got);
    return result == 0 ? (lastError = 0) : viewError(result, "write", 5);
}

int rpStream::getb(unsigned char& b)
{
    return read(&b, 1, nullptr);
}

int rpStream::getwi(unsigned short& w)
{
    unsigned char high, low;
    int result = getb(high);
    if (result == 0)
        result = getb(low);
    if (result == 0)
        w = static_cast<unsigned short>(high << 8 | low);
    return result;
}

int rpStream::putwi(unsigned short w)
{
    unsigned char bytes[2] = {static_cast<unsigned char>(w >> 8),
                              static_cast<unsigned char>(w & 0xFF)};
    return write(bytes, 2, nullptr);
}

int rpStream::getj(unsigned short& ch)
{
    unsigned char b;
    int result = getb(b);
    if (result != 0)
        return result;
    if (b < 0x80) {
        ch = b;
        return 0;
    }
    ch = static_cast<unsigned short>(b << 8);
    result = getb(b);
    if (result == 0)
        ch = static_cast<unsigned short>(ch | b);
    return result;
}

int rpStream::putj(unsigned short ch)
{
    unsigned char high = static_cast<unsigned char>(ch >> 8);
    unsigned char low = static_cast<unsigned char>(ch & 0xFF);
    if (high) {
        int result = write(&high, 1, nullptr);
        if (result != 0)
            return result;
    }
    return write(&low, 1, nullptr);
}

int rpStream::unreadb(unsigned char b)
{
    int result = 30;
    if (pos > 0 && unreadCount < UnreadMax) {
        unreadBuf[unreadCount++] = b;
        --pos;
        result = 0;
    }
    return viewError(result, "unread", 5);
}

int rpStream::unreadj(unsigned short ch)
{
    unsigned char high = static_cast<unsigned char>(ch >> 8);
    int need = high ? 2 : 1;
    // Both bytes or none, so a failure never leaves half a character on the stack.
    if (pos < need || unreadCount + need > UnreadMax)
        return viewError(30, "unread", 5);
    unreadb(static_cast<unsigned char>(ch & 0xFF));
    if (high)
        unreadb(high);
    return 0;
}

namespace {
// After a CR: an LF belongs to the same line end, any other byte goes back to the stream.
void finishCarriageReturn(rpStream& s)
{
    unsigned char next;
    if (!s.eof() && s.getb(next) == 0 && next != LF)
        s.unreadb(next);
}
}  // namespace

int rpStream::gets(unsigned char* buf, int size)
{
    if (!buf || size < 2) {
        if (buf && size == 1)
            buf[0] = 0;
        return viewError(-1, "gets", 5);
    }
    int stored = 0;
    int result = 0;
    while (stored < size - 1 && !eof()) {
        unsigned char b;
        result = getb(b);
        if (result != 0 || b == LF)
            break;
        if (b == CR) {
            finishCarriageReturn(*this);
            break;
        }
        buf[stored++] = b;
    }
    buf[stored] = 0;
    return viewError(result, "gets", 5);
}

int rpStream::gets(rpJString* s)
{
    if (!s)
        return viewError(-1, "gets", 5);
    s->count = 0;
    lastError = 0;
    if (eof())
        return viewError(30, "gets", 5);
    while (!eof()) {
        unsigned char b;
        int result = getb(b);
        if (result != 0)
            return viewError(result, "gets", 5);
        unsigned short ch = b;
        if (b >= 0x80) {
            // A lead byte that ends the data stands alone, as in a byte string.
            if (!eof()) {
                unsigned char trail;
                result = getb(trail);
                if (result != 0)
                    return viewError(result, "gets", 5);
                ch = static_cast<unsigned short>(b << 8 | trail);
            }
        } else if (b == LF) {
            break;
        } else if (b == CR) {
            finishCarriageReturn(*this);
            break;
        }
        s->append(ch, 1);
    }
    return viewError(0, "gets", 5);
}

int rpStream::gets(std::string& s)
{
    s.clear();
    int result = 1;  // nothing read: the end of the data
    while (!eof()) {
        unsigned char b;
        result = getb(b);
        if (result != 0 || b == LF)
            break;
        if (b == CR) {
            finishCarriageReturn(*this);
            break;
        }
        s.push_back(static_cast<char>(b));
    }
    return viewError(result, "gets", 5);
}

int rpStream::putText(const unsigned char* s, size_t n)
{
    lastError = 0;
    for (size_t i = 0; i < n; ++i) {
        int result = write(s + i, 1, nullptr);
        if (result != 0)
            return result;
    }
    return 0;
}

int rpStream::putLineEnd()
{
    const unsigned char bytes[2] = {static_cast<unsigned char>(newlineCode >> 8),
                                    static_cast<unsigned char>(newlineCode & 0xFF)};
    return bytes[0] ? putText(bytes, 2) : putText(bytes + 1, 1);
}

int rpStream::puts(const char* s)
{
    if (!s)
        return lastError = 0;
    return putText(reinterpret_cast<const unsigned char*>(s), std::strlen(s));
}

int rpStream::puts(const std::string* s)
{
    if (!s)
        return lastError = 0;
    return putText(reinterpret_cast<const unsigned char*>(s->data()), s->size());
}

int rpStream::puts(const rpJString* s)
{
    lastError = 0;
    if (!s)
        return 0;
    for (int i = 0; i < s->count; ++i) {
        int result = putj(s->chars[i]);
        if (result != 0)
            return viewError(result, "puts", 5);
    }
    return 0;
}

int rpStream::putsln(const char* s)
{
    int result = puts(s);
    return result == 0 ? putLineEnd() : result;
}

int rpStream::putsln(const rpJString* s)
{
    int result = puts(s);
    return result == 0 ? putLineEnd() : result;
}

int rpStream::putsln(const std::string* s)
{
    int result = puts(s);
    return result == 0 ? putLineEnd() : result;
}

int rpStream::formatv(bool newline, const char* fmt, va_list args)
{
    char buffer[FormatBufferSize];
    int n = std::vsnprintf(buffer, sizeof buffer, fmt ? fmt : "", args);
    buffer[FormatBufferSize - 1] = 0;
    size_t len = std::strlen(buffer);
    bool cut = n < 0 || n >= FormatBufferSize;
    if (cut) {
        // The byte after the buffer is gone: a high byte at the very end led a pair whose trail
        // did not fit, so it is dropped rather than written as half a character.
        const unsigned char* b = reinterpret_cast<const unsigned char*>(buffer);
        size_t i = 0;
        while (i < len) {
            if (b[i] >= 0x80 && i + 1 < len) {
                i += 2;
            } else if (b[i] >= 0x80) {
                len = i;
            } else {
                ++i;
            }
        }
    }
    int result = putText(reinterpret_cast<const unsigned char*>(buffer), len);
    if (result == 0 && newline)
        result = putLineEnd();
    return result;
}

int rpStream::format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    int result = formatv(false, fmt, args);
    va_end(args);
    return result;
}

int rpStream::formatln(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    int result = formatv(true, fmt, args);
    va_end(args);
    return result;
}

const char* rpStream::ErrorString(int code, char* buf)
{
    for (const ErrorText* entry = StreamErrorTable; entry->text; ++entry) {
        if (entry->code == code) {
            if (buf)
                std::strcpy(buf, entry->text);  // room as for rpObject's texts
            return entry->text;
        }
    }
    return rpObject::ErrorString(code, buf);
}
