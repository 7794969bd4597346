// Bounded formatting of list lines.
#include "lineFormat.h"

#include "rpStrings.h"

#include <cstdio>

int vformatBounded(char* dst, int size, const char* format, va_list args)
{
    if (!dst || size <= 0)
        return 0;
    int wanted = std::vsnprintf(dst, static_cast<size_t>(size), format, args);
    if (wanted < 0) {
        dst[0] = 0;
        return 0;
    }
    if (wanted < size)
        return wanted;
    // Cut short: the text went on after dst[size - 2], so a character starting there with a
    // lead byte has lost its trail byte.
    const unsigned char* text = reinterpret_cast<const unsigned char*>(dst);
    int i = 0;
    while (text[i]) {
        if (text[i] >= 0x80 && i == size - 2) {
            dst[i] = 0;
            break;
        }
        i += rpIsDoubleByte(text + i) ? 2 : 1;
    }
    return i;
}

int formatBounded(char* dst, int size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int stored = vformatBounded(dst, size, format, args);
    va_end(args);
    return stored;
}

std::string boundedLine(const char* format, ...)
{
    char line[ProbeTextSize];
    va_list args;
    va_start(args, format);
    vformatBounded(line, sizeof line, format, args);
    va_end(args);
    return line;
}

void replaceControlCharacters(char* text)
{
    for (; *text; ++text) {
        if (static_cast<unsigned char>(*text) < 0x20)
            *text = '?';
    }
}
