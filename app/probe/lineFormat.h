// The list's lines: how long one may be, and the bounded printf that makes them. Shared by the
// probe and the explanation of load failures, and by every stage above that writes lines.
#ifndef INSPECTOR_LINE_FORMAT_H
#define INSPECTOR_LINE_FORMAT_H

#include <cstdarg>
#include <string>

constexpr int ProbeTextSize = 300;  // paths, names and list lines, terminator included

// printf into dst (size bytes, terminator included). Text that does not fit is cut at a whole
// Shift-JIS character. Returns the number of bytes stored.
#ifdef __GNUC__
__attribute__((format(gnu_printf, 3, 4)))
#endif
int formatBounded(char* dst, int size, const char* format, ...);
// The same with an argument list.
int vformatBounded(char* dst, int size, const char* format, va_list args);
// printf into a text of at most one list line (299 bytes), cut at a whole Shift-JIS character.
#ifdef __GNUC__
__attribute__((format(gnu_printf, 1, 2)))
#endif
std::string boundedLine(const char* format, ...);

// Replaces every byte below 0x20 (a line break, a tab, any other control character) of a shown
// text with '?', so that a list line is always one line. Bytewise on Shift-JIS: no byte of a
// double-byte character is below 0x40.
void replaceControlCharacters(char* text);

#endif
