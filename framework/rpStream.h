// rpStream: the abstract byte stream. It keeps position, size and open mode and builds bytes,
// words, Shift-JIS characters, lines and formatted text on two primitives (readStream,
// writeStream) that a concrete stream supplies; a stream may also take text in one piece
// (putText). Ownership: the base owns no memory.
#ifndef RP_STREAM_H
#define RP_STREAM_H

#include "rpObject.h"

#include <cstdarg>
#include <cstddef>
#include <string>

class rpJString;
class rpPathname;

class rpStream : public rpObject {
public:
    static constexpr int UnreadMax = 9;            // bytes the push-back stack holds
    static constexpr int FormatBufferSize = 10000; // working buffer of format/formatln
    static constexpr int NegativePosition = 131;   // error code of a seek before the start

    rpStream();
    ~rpStream() override;
    rpStream(const rpStream&) = delete;
    rpStream& operator=(const rpStream&) = delete;

    using rpObject::name;
    using rpObject::errorString;
    const char* name() override;  // ":Stream"

    // Opens in mode 'r' (read), 'w' (write from empty), 'a' (append) or 'u' (update); the
    // concrete stream defines each. The base has no storage: -1.
    virtual int openStream(char mode);
    virtual const char* errorString(int code, char* buf);
    virtual int ropen();
    virtual int wopen();
    virtual int aopen();
    virtual int uopen();
    virtual int close();
    // Primitives: move up to n bytes at the position and store the count through got (may be
    // null). Return an error code; the base returns -1.
    virtual int readStream(void* dst, int n, int* got);
    virtual int writeStream(const void* src, int n, int* got);
    // origin 0: from the start, 1: from the position, 2: from the end. Returns the new position
    // or -1 (the code is in lastError).
    virtual int seek(int offset, int origin);
    virtual int position();
    virtual int size();
    virtual bool eof();
    virtual const char* getPath();
    virtual int setPath(const char* path);
    virtual int setPath(rpPathname* path);
    virtual int setPath(rpPathname& path);
    virtual int setData(const void* data, int n, bool copy);
    // The stream's flat memory block, or null when it has none.
    virtual unsigned char* dataAddress();

    // Reads up to n bytes, push-back bytes first; got (may be null) receives the count.
    // Fails with 30 when no byte at all could be read.
    int read(void* dst, int n, int* got);
    int write(const void* src, int n, int* got);
    int getb(unsigned char& b);
    // 16-bit words travel high byte first.
    int getwi(unsigned short& w);
    int putwi(unsigned short w);
    // Characters: a byte of 0x80 or more is joined with the next byte (lead in the high half).
    int getj(unsigned short& ch);
    int putj(unsigned short ch);
    // Push-back: fails with 30 at position 0 or when 9 bytes are already pushed back.
    int unreadb(unsigned char b);
    int unreadj(unsigned short ch);

    // One line; LF, CR and CR LF each end it and are not stored. At the end of the data: the
    // buffer form returns 0 with an empty text, the rpJString form 30, the std::string form 1.
    // The buffer form stores at most size - 1 bytes and leaves the rest of a long line.
    int gets(unsigned char* buf, int size);
    int gets(char* buf, int size) { return gets(reinterpret_cast<unsigned char*>(buf), size); }
    int gets(rpJString* s);
    int gets(std::string& s);

    // Text without (puts) or with (putsln) the line end newlineCode.
    int puts(const char* s);
    int puts(const rpJString* s);
    int puts(const std::string* s);
    int putsln(const char* s);
    int putsln(const rpJString* s);
    int putsln(const std::string* s);
    // printf-style. Text longer than the 10000-byte working buffer is cut at the last whole
    // character that fits (at most 9999 bytes are written).
    int format(const char* fmt, ...);
    int formatln(const char* fmt, ...);

    // The stream's own error texts (131), then those of rpObject.
    static const char* ErrorString(int code, char* buf);

    unsigned char unreadBuf[UnreadMax];  // push-back stack, top at unreadCount - 1
    int unreadCount;
    int pos;                             // current position in bytes
    int dataSize;                        // bytes of valid data
    char openMode;                       // 0 when closed, else 'r', 'w', 'a' or 'u'
    unsigned int streamKind;             // 0 for the base, 3 for the memory stream
    int lastWrite;                       // bytes asked of the latest write
    int lastRead;                        // bytes delivered by the latest read
    unsigned short newlineCode;          // written by putsln/formatln: 0x0D0A, CR then LF

protected:
    // Writes the n bytes of a text for puts, putsln, format and formatln: each byte with a
    // one-byte write of its own, so that a stream sees every byte as a write; the first failure
    // stops the text and is returned. A concrete stream may take the text in one piece where
    // that leaves the same bytes, position and error as the byte-by-byte writes.
    virtual int putText(const unsigned char* s, size_t n);

private:
    // newlineCode as putj writes it (its high byte unless 0, then its low byte), as text.
    int putLineEnd();
    int formatv(bool newline, const char* fmt, va_list args);
};

#endif
