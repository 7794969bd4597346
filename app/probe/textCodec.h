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

#endif
