// rpJString: Shift-JIS text held as one 16-bit code per character (lead byte in the high half),
// so positions and lengths count characters and no edit can split a double-byte character.
// Ownership: the string owns its heap buffer (heapChars); it is not copyable, pass it by pointer.
#ifndef RP_JSTRING_H
#define RP_JSTRING_H

#include "rpObject.h"

// ASCII-only case folding of one code; every other code (full-width letters, double-byte
// characters) comes back unchanged.
unsigned short jupper(unsigned short ch);
unsigned short jlower(unsigned short ch);

class rpJString : public rpObject {
public:
    static constexpr int LocalCapacity = 64;  // characters held without a heap allocation
    static constexpr int GrowStep = 64;       // the least a growing buffer adds

    rpJString();
    ~rpJString() override;
    rpJString(const rpJString&) = delete;
    rpJString& operator=(const rpJString&) = delete;

    // Conversions of NUL-terminated byte strings. Lead-byte rule: a byte of 0x80 or more followed
    // by a non-zero byte forms one code with it (lead in the high half); one followed by the
    // terminator stands alone. A null byte string counts as empty.
    static int length(const unsigned char* bytes);
    // Writes length(bytes) codes to out (not terminated) and returns their number.
    static int byte2jchar(const unsigned char* bytes, unsigned short* out);
    // Writes n codes as bytes (codes of 0x100 and more high half first), terminates out and
    // returns the bytes written without the terminator. out needs byteLength(codes, n) + 1.
    static int jchar2byte(const unsigned short* codes, int n, unsigned char* out);
    static int byteLength(const unsigned short* codes, int n);

    // Frees the heap buffer and empties the string (back to the local buffer).
    void clearHeap();
    // Makes room for at least n characters; capacity grows linearly: max(n, capacity + 64).
    void checkAlloc(int n);

    int byteLength() const;
    // Writes the string as terminated bytes when out is not null (room: byteLength() + 1);
    // returns the byte length either way.
    int toByte(unsigned char* out) const;

    void storeString(const unsigned char* bytes);
    void storeString(const char* bytes) { storeString(reinterpret_cast<const unsigned char*>(bytes)); }

    // Appending; counts of 0 or less add nothing.
    void append(const unsigned char* bytes);
    void append(const char* bytes) { append(reinterpret_cast<const unsigned char*>(bytes)); }
    void append(unsigned short ch, int n);
    void append(const unsigned short* codes, int n);
    void append(const rpJString* s);

    // Inserting before pos (0 <= pos <= count, otherwise nothing happens). Nothing happens
    // either when the length would pass INT_MAX.
    void insert(int pos, const unsigned char* bytes);
    void insert(int pos, const char* bytes) { insert(pos, reinterpret_cast<const unsigned char*>(bytes)); }
    void insert(int pos, unsigned short ch, int n);
    void insert(int pos, const unsigned short* codes, int n);
    // n characters of s from `from` (n < 0: all of them; cut to what s holds).
    void insert(int pos, const rpJString* s, int from, int n);

    // Overwriting from pos, extending the string where the new text reaches past its end.
    // Same argument rules (and overflow refusal) as the matching insert.
    void replace(int pos, const unsigned char* bytes);
    void replace(int pos, const char* bytes) { replace(pos, reinterpret_cast<const unsigned char*>(bytes)); }
    void replace(int pos, unsigned short ch, int n);
    void replace(int pos, const unsigned short* codes, int n);
    void replace(int pos, const rpJString* s, int from, int n);

    // Removes n characters from pos; the string is cut at pos when the range reaches the end.
    // Returns -1 (and changes nothing) for a negative pos or n, otherwise 0.
    int erase(int pos, int n);
    // The n characters from pos (n < 0: to the end) as a new string that the caller deletes;
    // empty when nothing is left there, null for a negative pos.
    rpJString* subString(int pos, int n) const;

    // First position of ch within the n characters from pos (n < 0: to the end), or -1.
    int find(unsigned short ch, int pos, int n, bool ignoreCase) const;
    // First position where the plen characters of pat from ppos occur within the n characters
    // from pos (negative counts: to the end), or -1.
    int find(int pos, int n, const rpJString* pat, int ppos, int plen, bool ignoreCase) const;
    // Three-way comparison of two ranges: the first differing codes' difference (unsigned 16-bit
    // values), else the difference of the requested lengths. A negative pos or opos returns
    // pos - opos without comparing.
    int comp(int pos, int n, const rpJString* other, int opos, int olen, bool ignoreCase) const;
    int comp(int pos, int n, const unsigned char* bytes, int opos, int olen, bool ignoreCase) const;
    int comp(int pos, int n, const char* bytes, int opos, int olen, bool ignoreCase) const
    {
        return comp(pos, n, reinterpret_cast<const unsigned char*>(bytes), opos, olen, ignoreCase);
    }

    void toUpper();
    void toLower();

    int count;                              // characters in the string
    int capacity;                           // characters that fit without reallocating
    unsigned short* chars;                  // not owned: localChars or heapChars
    unsigned short localChars[LocalCapacity];
    unsigned short* heapChars;              // owned; null while localChars is in use

private:
    // Codes the heap buffer really holds (0 without one). It grows geometrically while
    // capacity keeps the linear steps, so building a long string piece by piece copies it
    // only a few times.
    int heapSize;
    // Codes the current buffer really holds.
    int bufferSize() const { return heapChars ? heapSize : LocalCapacity; }
    // Opens a gap of n characters at pos (n > 0, 0 <= pos <= count) and returns its start;
    // null (nothing changed) when the length would overflow.
    unsigned short* openGap(int pos, int n);
    // Makes room for overwriting n characters at pos and returns where they go; null (nothing
    // changed) when the length would overflow.
    unsigned short* overwriteAt(int pos, int n);
};

#endif
