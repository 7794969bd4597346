// rpMemoryStream: a stream kept in memory as an optional flat head block followed by a chain of
// 1024-byte pages, so writing never moves data already written. Ownership: the stream owns its
// pages, and its head block unless the block was borrowed through setData(..., false).
#ifndef RP_MEMORY_STREAM_H
#define RP_MEMORY_STREAM_H

#include "rpStream.h"

#include <string>

class rpMemoryStream : public rpStream {
public:
    static constexpr int PageSize = 1024;

    // One page: the header, then `size` data bytes in the same allocation.
    struct Page {
        Page* next;  // owned by the stream, null for the last page
        int size;
        unsigned char* bytes() { return reinterpret_cast<unsigned char*>(this + 1); }
    };

    rpMemoryStream();
    ~rpMemoryStream() override;

    // Frees everything the stream owns and empties it; the open mode stays.
    void releaseHeap();
    // Makes sure a head block of at least n bytes exists. Growing it discards all content;
    // n <= 0 releases everything. False when the block cannot be allocated (nothing changes).
    bool reserve(int n);
    // Makes n bytes at src the content: copied into an owned head block, or borrowed (the
    // caller keeps ownership and the memory must outlive the stream's use of it).
    int setData(const void* src, int n, bool copy) override;

    // 'r' read and 'u' update start at 0, 'w' empties (keeping the storage), 'a' starts at
    // the end. Any other letter: -1, mode unchanged. Empties the push-back stack.
    int openStream(char mode) override;
    int close() override;
    // Reading needs mode 'r' or 'u' and data at the position (else 30); writing needs an open
    // stream (6) not in mode 'r' (29). Bytes between the end of the data and a write placed
    // beyond it by a seek read as 0. A write drops pushed-back bytes, as a seek does.
    int readStream(void* dst, int n, int* got) override;
    int writeStream(const void* src, int n, int* got) override;
    // Errors: 6 closed, 87 bad origin, 131 negative result; these are recorded, not reported.
    // A successful seek drops pushed-back bytes.
    int seek(int offset, int origin) override;
    unsigned char* dataAddress() override;

    // Finds the page holding the position (creating pages when create is true); offset receives
    // the position within curPage.
    bool checkPage(int& offset, bool create);
    // The byte at p without moving the position; 0 outside the data.
    int getByte(int p);
    // The whole content as new objects that the caller deletes.
    rpJString* getJString();
    std::string* getString();

    unsigned char* data;  // head block: owned when ownsData, else borrowed; may be null
    int headSize;
    bool ownsData;
    int allocated;        // bytes held: head block plus pages
    int pageSize;
    Page* firstPage;      // owned chain
    Page* lastPage;       // not owned: the end of the chain
    Page* curPage;        // not owned: the page found by the last checkPage

protected:
    // A text in one write, copied in place when it fits the current block: a write stores what
    // fits before a failure, so the bytes, position and error are those of one write per byte,
    // at a fraction of the cost.
    int putText(const unsigned char* s, size_t n) override;

private:
    // Page offset at which curPage starts. Pages never move or shrink, so a lookup at or past
    // it resumes there instead of walking the chain from the first page: sequential reading
    // and writing stay linear however long the chain grows.
    int curPageStart;
    // The position's offset in curPage when it lies there (the common case of sequential
    // access, answered without a lookup), else -1.
    int offsetInCurPage() const
    {
        int offset = pos - headSize - curPageStart;
        return curPage && offset >= 0 && offset < curPage->size ? offset : -1;
    }

    Page* newPage();
    // Where the position's byte is stored, with the bytes from there to the end of its block
    // in room; null when the position has no storage yet or lies outside curPage.
    unsigned char* placeOfPosition(int& room);
    // Copies n bytes (zeros when src is null) to the position and advances it.
    int store(const unsigned char* src, int n);
    // Copies the whole content, head block and pages in order, into out.
    void copyOut(std::string& out);
};

#endif
