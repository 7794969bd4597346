// The memory stream: a head block plus a chain of fixed-size pages behind the stream primitives.
#include "rpMemoryStream.h"

#include "rpJString.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
// Text moves one byte per call through the stream; a single byte needs no library call.
inline void copyBytes(unsigned char* dst, const unsigned char* src, int n)
{
    if (n == 1)
        *dst = *src;
    else
        std::memcpy(dst, src, n);
}
}  // namespace

rpMemoryStream::rpMemoryStream()
    : data(nullptr), headSize(0), ownsData(false), allocated(0), pageSize(PageSize),
      firstPage(nullptr), lastPage(nullptr), curPage(nullptr), curPageStart(0)
{
    streamKind = 3;
}

rpMemoryStream::~rpMemoryStream()
{
    releaseHeap();
}

void rpMemoryStream::releaseHeap()
{
    if (ownsData)
        std::free(data);
    for (Page* page = firstPage; page;) {
        Page* next = page->next;
        std::free(page);
        page = next;
    }
    data = nullptr;
    headSize = 0;
    ownsData = false;
    allocated = 0;
    firstPage = lastPage = curPage = nullptr;
    curPageStart = 0;
    lastError = 0;
    pos = 0;
    dataSize = 0;
    unreadCount = 0;  // pushed-back bytes belonged to the content just discarded
}

bool rpMemoryStream::reserve(int n)
{
    if (n <= 0) {
        releaseHeap();
        return true;
    }
    if (n <= headSize)
        return true;
    unsigned char* block = static_cast<unsigned char*>(std::calloc(n, 1));
    if (!block)
        return false;
    releaseHeap();
    data = block;
    headSize = allocated = n;
    ownsData = true;
    return true;
}

int rpMemoryStream::setData(const void* src, int n, bool copy)
{
    if (n < 0 || (n > 0 && !src))
        return viewError(87, "setData", 5);
    lastError = 0;
    if (n == 0)
        return 0;
    if (copy) {
        if (n > headSize) {
            unsigned char* block = static_cast<unsigned char*>(std::malloc(n));
            if (!block)
                return viewError(87, "setData", 5);
            releaseHeap();
            data = block;
            headSize = allocated = n;
            ownsData = true;
        }
        std::memmove(data, src, n);
    } else {
        releaseHeap();
        data = static_cast<unsigned char*>(const_cast<void*>(src));
        headSize = allocated = n;
        ownsData = false;
    }
    dataSize = n;
    return 0;
}

int rpMemoryStream::openStream(char mode)
{
    unreadCount = 0;
    switch (mode) {
    case 'r':
    case 'u':
        pos = 0;
        break;
    case 'w':
        pos = 0;
        dataSize = 0;
        break;
    case 'a':
        pos = dataSize;
        break;
    default:
        return lastError = -1;
    }
    openMode = mode;
    return lastError = 0;
}

int rpMemoryStream::close()
{
    openMode = 0;
    return lastError = 0;
}

rpMemoryStream::Page* rpMemoryStream::newPage()
{
    Page* page = static_cast<Page*>(std::malloc(sizeof(Page) + pageSize));
    if (!page)
        return nullptr;
    page->next = nullptr;
    page->size = pageSize;
    allocated += pageSize;
    return page;
}

bool rpMemoryStream::checkPage(int& offset, bool create)
{
    if (!firstPage) {
        if (!create)
            return false;
        Page* page = newPage();
        if (!page)
            return false;
        firstPage = lastPage = curPage = page;
        curPageStart = 0;
    }
    int target = pos - headSize;
    Page* page = firstPage;
    int start = 0;
    if (curPage && target >= curPageStart) {
        page = curPage;
        start = curPageStart;
    }
    offset = target - start;
    while (offset >= page->size) {
        offset -= page->size;
        start += page->size;
        if (!page->next) {
            if (!create)
                return false;
            Page* added = newPage();
            if (!added)
                return false;
            lastPage->next = added;
            lastPage = added;
        }
        page = page->next;
    }
    curPage = page;
    curPageStart = start;
    return true;
}

int rpMemoryStream::readStream(void* dst, int n, int* got)
{
    lastRead = 0;
    lastError = 0;
    if (got)
        *got = 0;
    if (n <= 0)
        return 0;
    if ((openMode != 'r' && openMode != 'u') || pos >= dataSize)
        return viewError(30, "read", 5);
    if (n > dataSize - pos)
        n = dataSize - pos;
    unsigned char* out = static_cast<unsigned char*>(dst);
    if (pos < headSize) {
        int chunk = n < headSize - pos ? n : headSize - pos;
        copyBytes(out, data + pos, chunk);
        out += chunk;
        pos += chunk;
        lastRead += chunk;
        n -= chunk;
    }
    int offset;
    while (n > 0 && ((offset = offsetInCurPage()) >= 0 || checkPage(offset, false))) {
        int room = curPage->size - offset;
        int chunk = n < room ? n : room;
        copyBytes(out, curPage->bytes() + offset, chunk);
        out += chunk;
        pos += chunk;
        lastRead += chunk;
        n -= chunk;
    }
    if (got)
        *got = lastRead;
    return 0;
}

unsigned char* rpMemoryStream::placeOfPosition(int& room)
{
    if (pos < headSize) {
        room = headSize - pos;
        return data + pos;
    }
    int offset = offsetInCurPage();
    if (offset < 0)
        return nullptr;
    room = curPage->size - offset;
    return curPage->bytes() + offset;
}

int rpMemoryStream::store(const unsigned char* src, int n)
{
    while (n > 0) {
        int room = 0;
        unsigned char* dst = placeOfPosition(room);
        if (!dst) {
            int offset;
            if (!checkPage(offset, true))
                return 8;
            dst = curPage->bytes() + offset;
            room = curPage->size - offset;
        }
        int chunk = n < room ? n : room;
        if (src) {
            copyBytes(dst, src, chunk);
            src += chunk;
        } else {
            std::memset(dst, 0, chunk);
        }
        pos += chunk;
        n -= chunk;
        if (pos > dataSize)
            dataSize = pos;
    }
    return 0;
}

int rpMemoryStream::writeStream(const void* src, int n, int* got)
{
    if (got)
        *got = 0;
    if (openMode == 'r')
        return viewError(29, "write", 5);
    if (openMode == 0)
        return viewError(6, "write", 5);
    lastWrite = n;
    if (n <= 0)
        return lastError = 0;
    if (static_cast<long long>(pos) + n > INT_MAX)
        return viewError(8, "write", 5);
    // Pushed-back bytes stand for the data at the position, which the write replaces.
    unreadCount = 0;
    // Storage past the end of the data may hold earlier content: a gap left by a seek past
    // the end is cleared first.
    if (pos > dataSize) {
        int target = pos;
        pos = dataSize;
        int result = store(nullptr, target - dataSize);
        pos = target;
        if (result != 0)
            return viewError(result, "write", 5);
    }
    int result = store(static_cast<const unsigned char*>(src), n);
    if (result != 0)
        return viewError(result, "write", 5);
    if (got)
        *got = lastWrite;
    return lastError = 0;
}

int rpMemoryStream::putText(const unsigned char* s, size_t n)
{
    // The common case, a line that fits where the position already has storage, is copied
    // there at once, with what a successful write records.
    const bool writable = openMode != 0 && openMode != 'r';
    int room = 0;
    unsigned char* place = writable && pos <= dataSize ? placeOfPosition(room) : nullptr;
    if (place && n > 0 && n <= static_cast<size_t>(room)) {
        std::memcpy(place, s, n);
        pos += static_cast<int>(n);
        if (pos > dataSize)
            dataSize = pos;
        unreadCount = 0;
        lastWrite = static_cast<int>(n);
        return lastError = 0;
    }
    // Near the largest position, byte by byte, so that the bytes that fit are still written.
    if (n > static_cast<size_t>(INT_MAX - pos))
        return rpStream::putText(s, n);
    return write(s, static_cast<int>(n), nullptr);
}

int rpMemoryStream::seek(int offset, int origin)
{
    if (openMode == 0) {
        lastError = 6;
        return -1;
    }
    long long target;
    switch (origin) {
    case 0:
        target = offset;
        break;
    case 1:
        target = static_cast<long long>(pos) + offset;
        break;
    case 2:
        target = static_cast<long long>(dataSize) + offset;
        break;
    default:
        lastError = 87;
        return -1;
    }
    if (target < 0) {
        lastError = NegativePosition;
        return -1;
    }
    if (target > INT_MAX) {
        lastError = 87;
        return -1;
    }
    pos = static_cast<int>(target);
    unreadCount = 0;  // pushed-back bytes belong to the old position
    lastError = 0;
    return pos;
}

unsigned char* rpMemoryStream::dataAddress()
{
    return data;
}

int rpMemoryStream::getByte(int p)
{
    if (p < 0 || p >= dataSize)
        return 0;
    if (p < headSize)
        return data[p];
    int offset = p - headSize;
    for (Page* page = firstPage; page; page = page->next) {
        if (offset < page->size)
            return page->bytes()[offset];
        offset -= page->size;
    }
    return 0;
}

void rpMemoryStream::copyOut(std::string& out)
{
    out.assign(dataSize, '\0');
    int done = dataSize < headSize ? dataSize : headSize;
    if (done > 0)
        std::memcpy(&out[0], data, done);
    for (Page* page = firstPage; page && done < dataSize; page = page->next) {
        int chunk = dataSize - done < page->size ? dataSize - done : page->size;
        std::memcpy(&out[done], page->bytes(), chunk);
        done += chunk;
    }
}

std::string* rpMemoryStream::getString()
{
    std::string* s = new std::string;
    copyOut(*s);
    return s;
}

rpJString* rpMemoryStream::getJString()
{
    std::string bytes;
    copyOut(bytes);
    std::vector<unsigned short> codes;
    codes.reserve(bytes.size());
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size();
    // The lead-byte rule of rpJString; a lead byte that ends the data stands alone.
    for (size_t i = 0; i < n; ++i) {
        if (b[i] >= 0x80 && i + 1 < n && b[i + 1] != 0) {
            codes.push_back(static_cast<unsigned short>(b[i] << 8 | b[i + 1]));
            ++i;
        } else {
            codes.push_back(b[i]);
        }
    }
    rpJString* s = new rpJString;
    s->append(codes.data(), static_cast<int>(codes.size()));
    return s;
}
