// Byte-string helpers for Shift-JIS text (code page 932): a bounded copy that never splits a
// double-byte character, a double-byte-aware character search, blank trimming and the trailing
// backslash of directory paths. All work in place on caller-owned buffers; nothing is allocated.
#ifndef RP_STRINGS_H
#define RP_STRINGS_H

// True when the byte at p starts a two-byte character: a byte of 0x80 or more followed by a
// non-zero byte.
inline bool rpIsDoubleByte(const unsigned char* p)
{
    return p[0] >= 0x80 && p[1] != 0;
}

// Copies whole characters of src into dst while they fit in n bytes together with the
// terminator, and terminates dst. The copy ends at the first character that does not fit, so a
// double-byte character is never split and nothing after it is taken. Returns the number of
// bytes copied (at most n - 1), or -1 when dst or src is null or n <= 0 (nothing is written).
int rpStrncpy(unsigned char* dst, const unsigned char* src, int n);
inline int rpStrncpy(char* dst, const char* src, int n)
{
    return rpStrncpy(reinterpret_cast<unsigned char*>(dst), reinterpret_cast<const unsigned char*>(src), n);
}

// The first occurrence of ch in s, found with the runtime's multibyte search for the current
// code page (a trail byte equal to ch never matches), or null.
char* rpMbschr(const unsigned char* s, int ch);
inline char* rpMbschr(const char* s, int ch)
{
    return rpMbschr(reinterpret_cast<const unsigned char*>(s), ch);
}

// The last backslash of path that is a real backslash (not a trail byte), or null.
char* rpLastBackslash(const char* path);

// Removes bytes 1..32 (space and control characters) from both ends of the text, in place.
void rpBlankCut(void* s);

// The first place in text where pattern occurs, matched character by character as the ANSI
// code page (932) has them: ASCII letters without regard to case, every other character
// exactly, and a double-byte character only whole. A match starts at a character of text, never
// at a trail byte. An empty pattern is found at the start; null when there is no match or
// either text is null.
const char* rpFindText(const char* text, const char* pattern);

// Adjusts the trailing backslash of a directory path in place; path needs room for one more
// byte. '+': make it end in one backslash (an empty text becomes "\"; a lead byte left without
// its trail byte at the end is replaced by the backslash). '-': remove one final
// backslash. Any other mode: drive-root form, "D:" and "D:\" give "D:\", "D:\dir\" gives
// "D:\dir"; texts without a drive letter and colon are left alone.
void rpAdjustDir(char* path, char mode);

#endif
