// What the inspector's window process and its probe workers exchange. Each worker has a duplex
// pipe and a shared block of memory. A pipe message is a kind byte, a 32-bit little-endian
// payload length and the payload: the window sends Probe; the worker answers with the file's
// Record when the file is done, or a Fault when the plug-in raised an exception that it did not
// handle itself (the worker ends after a Fault, which carries the code and then the record as
// the plug-in left it). The file's list lines go into the shared block as they are produced:
// they survive a worker that faults, ends or hangs, and cost no pipe round trip each.
#ifndef INSPECTOR_WORKER_PROTOCOL_H
#define INSPECTOR_WORKER_PROTOCOL_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

enum class WorkerMessage : unsigned char {
    Probe = 'P',   // window -> worker: ProbeRequest
    Record = 'R',  // worker -> window: ProbeResult of the file
    Fault = 'X',   // worker -> window: 32-bit exception code, then a Record's payload
};

constexpr uint32_t WorkerMessageMax = 1 << 20;  // a longer payload is a broken stream

struct ProbeResult;

// The shared block of one worker: the lines of the file being probed, each a 16-bit length and
// the bytes, and the file's record as it stood at the last line. The window empties it before
// each request; the worker appends a line's bytes and only then publishes the new length, so the
// window never sees half a line. The window reads the record only once the worker is done with
// the file or gone: a worker that ends or hangs sends no Record message, but its record is here.
struct SharedLines {
    volatile LONG committed;   // bytes of data that hold whole lines
    volatile LONG recordSize;  // bytes of record: a Record message; 0 when none yet
    char data[65536];          // room for a file's largest block, about 32 KB
    char record[32768];        // room for the largest record, about 21 KB
};

// The name of the shared block that goes with a worker's pipe.
std::wstring sharedLinesName(const std::wstring& pipeName);
// Appends one line (cut to fit) and publishes it. False when the block is full.
bool appendSharedLine(SharedLines* shared, const char* line, size_t length);
// The published lines.
std::vector<std::string> sharedLines(const SharedLines* shared);
// The record the worker published last; false when there is none (or it is damaged).
bool sharedRecord(const SharedLines* shared, ProbeResult* result);
// The published length, read as the worker last published it.
LONG sharedCommitted(const SharedLines* shared);

// What the window asks of a worker: the file to load and the names the record shows.
struct ProbeRequest {
    std::wstring path;     // the file's real name, loaded as it is
    std::string dllName;   // the path in the ANSI code page, as best it can (the record's)
    std::string shown;     // the file name shown in the file line (the record's fn)
};

// The probe record of one file as the worker left it.
struct ProbeResult {
    DWORD aid = 0;
    DWORD pid = 0;
    int ptype = 0;
    int answers = 0;                   // ProbeAnswered* bits: which of the fields above are set
    int loadError = 0;                 // the load's system error code; 0: the file was loaded
    std::string pname;
    std::vector<std::string> strings;  // the collected strings, in order
    std::vector<std::string> extensions;  // extensions[i]: the extension given with strings[i]
                                          // (file types; empty for menu strings)
};

// Builds a message's payload.
class MessageWriter {
public:
    void putInt(uint32_t value);
    void putText(const std::string& text);    // length, then the bytes
    void putText(const std::wstring& text);   // length in characters, then UTF-16 LE
    // The whole message: kind, length, payload.
    std::string message(WorkerMessage kind) const;

private:
    std::string payload_;
};

// Reads a payload field by field; any read past its end marks it broken and gives empty values.
class MessageReader {
public:
    explicit MessageReader(const std::string& payload) : payload_(payload) {}
    uint32_t getInt();
    std::string getText();
    std::wstring getWideText();
    bool broken() const { return broken_; }

private:
    bool take(size_t n, const char** at);
    const std::string& payload_;  // not owned
    size_t offset_ = 0;
    bool broken_ = false;
};

std::string encodeRequest(const ProbeRequest& request);
bool decodeRequest(const std::string& payload, ProbeRequest* request);
std::string encodeResult(const ProbeResult& result);
bool decodeResult(const std::string& payload, ProbeResult* result);

// Splits complete messages off the front of bytes received so far. Returns true and removes one
// message when a whole one is there; false when more bytes are needed. *broken is set when the
// stream cannot be a message stream (an unknown kind or an absurd length).
bool takeMessage(std::string& received, WorkerMessage* kind, std::string* payload, bool* broken);

#endif
