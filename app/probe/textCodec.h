// Conversions between the tool's byte strings (the ANSI code page, Shift-JIS) and UTF-16.
#ifndef TEXT_CODEC_H
#define TEXT_CODEC_H

#include <windows.h>

#include <string>

// The bytes of `text` in `codePage` as UTF-16; empty when they cannot be converted.
std::wstring toWide(const std::string& text, UINT codePage = CP_ACP);
// UTF-16 as bytes of `codePage` (characters it lacks become its default character); empty when
// the text cannot be converted.
std::string fromWide(const std::wstring& text, UINT codePage = CP_ACP);

// The offset of the first byte that breaks Shift-JIS in the NUL-terminated text: a lead byte
// (81-9F, E0-FC) whose next byte is no trail byte (40-7E, 80-FC); -1 when there is none.
long invalidShiftJisAt(const char* text);

#endif
