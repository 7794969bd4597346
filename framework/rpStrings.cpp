// Byte-string helpers for Shift-JIS text.
#include "rpStrings.h"

#include <windows.h>

#include <mbctype.h>
#include <mbstring.h>

#include <cctype>
#include <cstring>

int rpStrncpy(unsigned char* dst, const unsigned char* src, int n)
{
    if (!dst || !src || n <= 0)
        return -1;
    int copied = 0;
    while (*src) {
        int size = rpIsDoubleByte(src) ? 2 : 1;
        // Stopping here rather than skipping keeps the copy a true prefix of src.
        if (copied + size >= n)
            break;
        for (int i = 0; i < size; ++i)
            dst[copied++] = *src++;
    }
    dst[copied] = 0;
    return copied;
}

char* rpMbschr(const unsigned char* s, int ch)
{
    if (!s)
        return nullptr;
    return reinterpret_cast<char*>(_mbschr(s, static_cast<unsigned int>(ch)));
}

char* rpLastBackslash(const char* path)
{
    char* last = nullptr;
    for (char* p = rpMbschr(path, '\\'); p; p = rpMbschr(p + 1, '\\'))
        last = p;
    return last;
}

void rpBlankCut(void* s)
{
    if (!s)
        return;
    unsigned char* text = static_cast<unsigned char*>(s);
    size_t len = std::strlen(reinterpret_cast<char*>(text));
    while (len > 0 && text[len - 1] >= 1 && text[len - 1] <= 32)
        text[--len] = 0;
    size_t lead = 0;
    while (lead < len && text[lead] >= 1 && text[lead] <= 32)
        ++lead;
    if (lead > 0) {
        std::memmove(text, text + lead, len - lead);
        text[len - lead] = 0;
    }
}

namespace {
// The bytes of the character at p: two for a lead byte of the ANSI code page that has its trail
// byte. (Half-width katakana are single bytes, unlike what rpIsDoubleByte assumes.)
int characterSize(const unsigned char* p)
{
    return IsDBCSLeadByte(p[0]) && p[1] ? 2 : 1;
}

unsigned char foldAscii(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Whether pattern matches the characters of text that start at text.
bool matchesAt(const unsigned char* text, const unsigned char* pattern)
{
    while (*pattern) {
        int size = characterSize(pattern);
        if (characterSize(text) != size)
            return false;
        if (size == 2 ? (text[0] != pattern[0] || text[1] != pattern[1]) : foldAscii(text[0]) != foldAscii(pattern[0]))
            return false;
        text += size;
        pattern += size;
    }
    return true;
}

// True when the final character of the text is a backslash (not a trail byte).
bool endsInBackslash(const char* path, size_t len)
{
    const char* last = rpLastBackslash(path);
    return last && static_cast<size_t>(last - path) == len - 1;
}

// True when the text ends in a lead byte without its trail byte.
bool endsInLoneLeadByte(const char* path, size_t len)
{
    size_t i = 0;
    while (i < len) {
        if (!_ismbblead(static_cast<unsigned char>(path[i])))
            ++i;
        else if (i + 1 == len)
            return true;
        else
            i += 2;
    }
    return false;
}
}  // namespace

const char* rpFindText(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return nullptr;
    const unsigned char* wanted = reinterpret_cast<const unsigned char*>(pattern);
    for (const unsigned char* at = reinterpret_cast<const unsigned char*>(text);; at += characterSize(at)) {
        if (matchesAt(at, wanted))
            return reinterpret_cast<const char*>(at);
        if (!*at)
            return nullptr;
    }
}

void rpAdjustDir(char* path, char mode)
{
    if (!path)
        return;
    size_t len = std::strlen(path);
    if (mode == '+') {
        // A backslash after a lone lead byte would become its trail byte, so it takes the
        // broken character's place.
        if (len > 0 && endsInLoneLeadByte(path, len))
            path[--len] = 0;
        if (len == 0 || !endsInBackslash(path, len)) {
            path[len] = '\\';
            path[len + 1] = 0;
        }
        return;
    }
    if (mode == '-') {
        if (len > 0 && endsInBackslash(path, len))
            path[len - 1] = 0;
        return;
    }
    if (len < 2 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':')
        return;
    if (len == 2) {
        path[2] = '\\';
        path[3] = 0;
        len = 3;
    }
    // Only from the fourth character on: the root "D:\" keeps its backslash.
    if (len >= 4 && endsInBackslash(path, len))
        path[len - 1] = 0;
}
