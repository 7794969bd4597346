// The double-byte string: conversions under the lead-byte rule, editing by character position,
// searching and comparing with optional ASCII case folding.
#include "rpJString.h"

#include <climits>
#include <cstring>
#include <vector>

unsigned short jupper(unsigned short ch)
{
    return (ch >= 'a' && ch <= 'z') ? static_cast<unsigned short>(ch - 'a' + 'A') : ch;
}

unsigned short jlower(unsigned short ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<unsigned short>(ch - 'A' + 'a') : ch;
}

namespace {
inline unsigned short fold(unsigned short ch, bool ignoreCase)
{
    return ignoreCase ? jupper(ch) : ch;
}

inline bool leadsPair(const unsigned char* p)
{
    return p[0] >= 0x80 && p[1] != 0;
}
}  // namespace

rpJString::rpJString()
    : rpObject("rpJString"), count(0), capacity(LocalCapacity), chars(localChars), localChars(),
      heapChars(nullptr), heapSize(0)
{
}

rpJString::~rpJString()
{
    delete[] heapChars;
}

int rpJString::length(const unsigned char* bytes)
{
    int n = 0;
    if (!bytes)
        return 0;
    while (*bytes) {
        bytes += leadsPair(bytes) ? 2 : 1;
        ++n;
    }
    return n;
}

int rpJString::byte2jchar(const unsigned char* bytes, unsigned short* out)
{
    int n = 0;
    if (!bytes)
        return 0;
    while (*bytes) {
        if (leadsPair(bytes)) {
            out[n++] = static_cast<unsigned short>(bytes[0] << 8 | bytes[1]);
            bytes += 2;
        } else {
            out[n++] = *bytes++;
        }
    }
    return n;
}

int rpJString::jchar2byte(const unsigned short* codes, int n, unsigned char* out)
{
    int k = 0;
    for (int i = 0; i < n; ++i) {
        unsigned short ch = codes[i];
        if (ch >> 8)
            out[k++] = static_cast<unsigned char>(ch >> 8);
        out[k++] = static_cast<unsigned char>(ch & 0xFF);
    }
    out[k] = 0;
    return k;
}

int rpJString::byteLength(const unsigned short* codes, int n)
{
    int k = 0;
    for (int i = 0; i < n; ++i)
        k += (codes[i] >> 8) ? 2 : 1;
    return k;
}

void rpJString::clearHeap()
{
    delete[] heapChars;
    heapChars = nullptr;
    heapSize = 0;
    chars = localChars;
    capacity = LocalCapacity;
    count = 0;
}

void rpJString::checkAlloc(int n)
{
    if (n <= capacity)
        return;
    int grown = capacity > INT_MAX - GrowStep ? INT_MAX : capacity + GrowStep;
    int newCapacity = n > grown ? n : grown;
    if (newCapacity <= bufferSize()) {
        capacity = newCapacity;
        return;
    }
    int size = newCapacity;
    if (heapChars && heapSize <= INT_MAX / 2 && heapSize * 2 > size)
        size = heapSize * 2;
    unsigned short* buffer = new unsigned short[size];
    std::memcpy(buffer, chars, sizeof(unsigned short) * count);
    delete[] heapChars;
    heapChars = buffer;
    heapSize = size;
    chars = buffer;
    capacity = newCapacity;
}

int rpJString::byteLength() const
{
    return byteLength(chars, count);
}

int rpJString::toByte(unsigned char* out) const
{
    if (!out)
        return byteLength();
    return jchar2byte(chars, count, out);
}

void rpJString::storeString(const unsigned char* bytes)
{
    count = 0;
    append(bytes);
}

unsigned short* rpJString::openGap(int pos, int n)
{
    if (n > INT_MAX - count)
        return nullptr;  // the length would overflow
    checkAlloc(count + n);
    std::memmove(chars + pos + n, chars + pos, sizeof(unsigned short) * (count - pos));
    count += n;
    return chars + pos;
}

unsigned short* rpJString::overwriteAt(int pos, int n)
{
    if (n > INT_MAX - pos)
        return nullptr;  // the length would overflow
    int end = pos + n;
    if (end > count) {
        checkAlloc(end);
        count = end;
    }
    return chars + pos;
}

void rpJString::append(const unsigned char* bytes)
{
    insert(count, bytes);
}

void rpJString::append(unsigned short ch, int n)
{
    insert(count, ch, n);
}

void rpJString::append(const unsigned short* codes, int n)
{
    insert(count, codes, n);
}

void rpJString::append(const rpJString* s)
{
    insert(count, s, 0, -1);
}

void rpJString::insert(int pos, const unsigned char* bytes)
{
    if (pos < 0 || pos > count)
        return;
    int n = length(bytes);
    unsigned short* p = n > 0 ? openGap(pos, n) : nullptr;
    if (p)
        byte2jchar(bytes, p);
}

void rpJString::insert(int pos, unsigned short ch, int n)
{
    if (pos < 0 || pos > count || n < 1)
        return;
    unsigned short* p = openGap(pos, n);
    for (int i = 0; p && i < n; ++i)
        p[i] = ch;
}

void rpJString::insert(int pos, const unsigned short* codes, int n)
{
    if (!codes || pos < 0 || pos > count || n < 1)
        return;
    // Codes taken from this string itself would move (or be freed) while the gap opens.
    std::vector<unsigned short> own;
    if (codes >= chars && codes < chars + bufferSize()) {
        own.assign(codes, codes + n);
        codes = own.data();
    }
    if (unsigned short* p = openGap(pos, n))
        std::memcpy(p, codes, sizeof(unsigned short) * n);
}

void rpJString::insert(int pos, const rpJString* s, int from, int n)
{
    if (!s || pos < 0 || pos > count || from < 0 || from > s->count || n == 0)
        return;
    int available = s->count - from;
    if (n < 0 || n > available)
        n = available;
    insert(pos, s->chars + from, n);
}

void rpJString::replace(int pos, const unsigned char* bytes)
{
    if (pos < 0 || pos > count)
        return;
    int n = length(bytes);
    unsigned short* p = n > 0 ? overwriteAt(pos, n) : nullptr;
    if (p)
        byte2jchar(bytes, p);
}

void rpJString::replace(int pos, unsigned short ch, int n)
{
    if (pos < 0 || pos > count || n <= 0)
        return;
    unsigned short* p = overwriteAt(pos, n);
    for (int i = 0; p && i < n; ++i)
        p[i] = ch;
}

void rpJString::replace(int pos, const unsigned short* codes, int n)
{
    if (!codes || pos < 0 || pos > count || n <= 0)
        return;
    std::vector<unsigned short> own;
    if (codes >= chars && codes < chars + bufferSize()) {
        own.assign(codes, codes + n);
        codes = own.data();
    }
    if (unsigned short* p = overwriteAt(pos, n))
        std::memcpy(p, codes, sizeof(unsigned short) * n);
}

void rpJString::replace(int pos, const rpJString* s, int from, int n)
{
    if (!s || pos < 0 || pos > count || from < 0 || from > s->count || n == 0)
        return;
    int available = s->count - from;
    if (n < 0 || n > available)
        n = available;
    replace(pos, s->chars + from, n);
}

int rpJString::erase(int pos, int n)
{
    if (pos < 0 || n < 0)
        return -1;
    if (n == 0 || pos >= count)
        return 0;
    if (n >= count - pos) {
        count = pos;
        return 0;
    }
    std::memmove(chars + pos, chars + pos + n, sizeof(unsigned short) * (count - pos - n));
    count -= n;
    return 0;
}

rpJString* rpJString::subString(int pos, int n) const
{
    if (pos < 0)
        return nullptr;
    rpJString* s = new rpJString;
    if (pos < count) {
        int available = count - pos;
        if (n < 0 || n > available)
            n = available;
        s->append(chars + pos, n);
    }
    return s;
}

int rpJString::find(unsigned short ch, int pos, int n, bool ignoreCase) const
{
    if (pos < 0 || pos >= count)
        return -1;
    int range = count - pos;
    if (n < 0 || n > range)
        n = range;
    unsigned short wanted = fold(ch, ignoreCase);
    for (int i = pos; i < pos + n; ++i) {
        if (fold(chars[i], ignoreCase) == wanted)
            return i;
    }
    return -1;
}

int rpJString::find(int pos, int n, const rpJString* pat, int ppos, int plen,
                    bool ignoreCase) const
{
    if (!pat || pos < 0 || ppos < 0)
        return -1;
    int patAvailable = pat->count - ppos;
    if (plen < 0 || plen > patAvailable)
        plen = patAvailable;
    if (plen <= 0)
        return -1;
    int available = count - pos;
    if (n < 0 || n > available)
        n = available;
    if (n < plen)
        return -1;
    const unsigned short* p = pat->chars + ppos;
    for (int s = pos; s <= pos + n - plen; ++s) {
        int k = 0;
        while (k < plen && fold(chars[s + k], ignoreCase) == fold(p[k], ignoreCase))
            ++k;
        if (k == plen)
            return s;
    }
    return -1;
}

int rpJString::comp(int pos, int n, const rpJString* other, int opos, int olen,
                    bool ignoreCase) const
{
    if (pos < 0 || opos < 0)
        return pos - opos;
    int available = count > pos ? count - pos : 0;
    int otherCount = other ? other->count : 0;
    int otherAvailable = otherCount > opos ? otherCount - opos : 0;
    if (n < 0)
        n = available;
    if (olen < 0)
        olen = otherAvailable;
    int compared = n;
    if (olen < compared)
        compared = olen;
    if (available < compared)
        compared = available;
    if (otherAvailable < compared)
        compared = otherAvailable;
    for (int i = 0; i < compared; ++i) {
        int a = fold(chars[pos + i], ignoreCase);
        int b = fold(other->chars[opos + i], ignoreCase);
        if (a != b)
            return a - b;
    }
    return n - olen;
}

int rpJString::comp(int pos, int n, const unsigned char* bytes, int opos, int olen,
                    bool ignoreCase) const
{
    rpJString other;
    other.storeString(bytes);
    return comp(pos, n, &other, opos, olen, ignoreCase);
}

void rpJString::toUpper()
{
    for (int i = 0; i < count; ++i)
        chars[i] = jupper(chars[i]);
}

void rpJString::toLower()
{
    for (int i = 0; i < count; ++i)
        chars[i] = jlower(chars[i]);
}
