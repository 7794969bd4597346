// What the inspector's window process and its probe workers exchange. Each worker has a duplex
// pipe and a shared block of memory. A pipe message is a kind byte, a 32-bit little-endian
// payload length and the payload. The window sends Probe with a sequence number; the worker
// answers that number with the file's Record when the file is done (with what the plug-in left
// behind), or with a Fault when the plug-in raised an exception that it did not handle itself
// (the worker ends after a Fault, which carries the code and the record as the plug-in left
// it). The file's list lines go into the shared block as they are produced: they survive a
// worker that faults, ends or hangs, and cost no pipe round trip each.
//
// The window trusts nothing it reads: a worker runs plug-in code, which may write anything to
// the pipe or the block. Every message and record is checked against what the probe itself can
// produce; anything else is a broken answer.
#ifndef INSPECTOR_WORKER_PROTOCOL_H
#define INSPECTOR_WORKER_PROTOCOL_H

#include "probe.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

enum class WorkerMessage : unsigned char {
    Probe = 'P',   // window -> worker: sequence, then the ProbeRequest
    Record = 'R',  // worker -> window: sequence, what was left behind, the record
    Fault = 'X',   // worker -> window: sequence, the exception code, the record
};

constexpr size_t MessageHeaderSize = 5;       // kind and payload length
constexpr uint32_t RequestPayloadMax = 1 << 20;  // a request: a path of up to 32,767 characters
// The integers of a record's facts (visitFactIntegers), which follow its strings with the two
// texts of the debug runtime.
constexpr uint32_t FactIntegers = 25;
// The longest Record or Fault payload an answer can have: 9 integers, the name, two lengths per
// string and the texts of both pools, then the facts.
constexpr uint32_t RecordPayloadMax =
    9 * 4 + (ProbeTextSize - 1) + MenuMax * 8 + 2 * MenuPoolSize + FactIntegers * 4 + 2 * (4 + ProbeTextSize - 1);

// What a plug-in left behind in its worker after its release, as bits of a Record; any of them
// retires the worker. Kept as data: a finding for the plug-in's author, not a line of the block.
enum WorkerLeftover : uint32_t {
    LeftoverModule = 1,     // the plug-in's module is still loaded (pinned, or a leaked reference)
    LeftoverThread = 2,     // a thread started since the load still runs
    LeftoverFilter = 4,     // the unhandled-exception filter was changed
    LeftoverDirectory = 8,  // the current directory was changed
};
constexpr uint32_t LeftoverAll = LeftoverModule | LeftoverThread | LeftoverFilter | LeftoverDirectory;

// What the window asks of a worker: the file to load and the names the record shows.
struct ProbeRequest {
    uint32_t sequence = 0;  // answered by the file's Record or Fault
    std::wstring path;      // the file's real name, loaded as it is
    std::string dllName;    // the path in the ANSI code page, as best it can (the record's)
    std::string shown;      // the file name shown in the file line (the record's fn)
    bool validate = false;  // probe with the checks (probeFacts)
};

// The probe record of one file as the worker left it. Fields the probe did not answer are zero
// or empty.
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
    ProbeFacts facts = {};             // what a validating probe found; all zero otherwise
};

// A worker's answer to one request.
struct WorkerReply {
    WorkerMessage kind = WorkerMessage::Record;
    uint32_t sequence = 0;
    uint32_t detail = 0;  // Record: WorkerLeftover bits; Fault: the exception code
    ProbeResult record;
};

// The record's fields as the encoder reads them, without the heap: the worker points them at
// the probe record, also from its fault filter. Not owned: every pointer belongs to the caller.
struct RecordFields {
    DWORD aid = 0;
    DWORD pid = 0;
    int ptype = 0;
    int answers = 0;
    int loadError = 0;
    const char* name = "";                     // NUL-terminated
    int count = 0;                             // strings
    const char* const* strings = nullptr;      // count NUL-terminated texts
    const char* const* extensions = nullptr;   // count texts, each null for none; or null
    const ProbeFacts* facts = nullptr;         // null: all zero
};

// Visits the integer facts, as `visit(field)`, in the order a record carries them.
template <class Facts, class Visit>
void visitFactIntegers(Facts& facts, Visit visit)
{
    visit(facts.measured);
    visit(facts.nearMissDecorated);
    visit(facts.nearMissCpp);
    visit(facts.nearMissCase);
    visit(facts.enumUnterminated);
    visit(facts.fileTypeCount);
    visit(facts.fileExtCount);
    visit(facts.textInvalidCall);
    visit(facts.textInvalidIndex);
    visit(facts.textInvalidOffset);
    visit(facts.stackCall);
    visit(facts.stackBytes);
    visit(facts.fpuCall);
    visit(facts.x87Before);
    visit(facts.x87After);
    visit(facts.mxcsrBefore);
    visit(facts.mxcsrAfter);
    visit(facts.processCall);
    visit(facts.processChanged);
    visit(facts.loadMs);
    visit(facts.releaseMs);
    visit(facts.slowestCall);
    visit(facts.slowestMs);
    visit(facts.handlesBefore);
    visit(facts.handlesAfter);
}

// ---- Byte sinks of the encoder

// Writes into a caller's buffer of fixed size: the crash path, which may not use the heap. A
// write that does not fit marks the message as overflowed and is dropped.
class FixedSink {
public:
    FixedSink(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
    void put(const char* bytes, size_t count)
    {
        if (overflow_ || count > capacity_ - size_) {
            overflow_ = true;
            return;
        }
        std::memcpy(buffer_ + size_, bytes, count);
        size_ += count;
    }
    void patch(size_t at, const char* bytes, size_t count)
    {
        if (at + count <= size_)
            std::memcpy(buffer_ + at, bytes, count);
    }
    size_t size() const { return size_; }
    bool overflow() const { return overflow_; }

private:
    char* buffer_;     // not owned
    size_t capacity_;
    size_t size_ = 0;
    bool overflow_ = false;
};

// Appends to a string.
class StringSink {
public:
    explicit StringSink(std::string& out) : out_(out) {}
    void put(const char* bytes, size_t count) { out_.append(bytes, count); }
    void patch(size_t at, const char* bytes, size_t count) { out_.replace(at, count, bytes, count); }
    size_t size() const { return out_.size(); }
    bool overflow() const { return false; }

private:
    std::string& out_;  // not owned
};

// ---- The encoder: one for every sink

template <class Sink>
void putInt(Sink& sink, uint32_t value)
{
    char bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    sink.put(bytes, 4);
}

// A text: its length, then its bytes (at most RecordPayloadMax are read).
template <class Sink>
void putText(Sink& sink, const char* text)
{
    size_t length = text ? strnlen(text, RecordPayloadMax + 1) : 0;
    putInt(sink, static_cast<uint32_t>(length));
    if (length)
        sink.put(text, length);
}

// Starts a message of the kind; finishMessage writes its length.
template <class Sink>
void startMessage(Sink& sink, WorkerMessage kind)
{
    const char header[MessageHeaderSize] = {static_cast<char>(kind), 0, 0, 0, 0};
    sink.put(header, sizeof header);
}

template <class Sink>
void finishMessage(Sink& sink)
{
    uint32_t length = static_cast<uint32_t>(sink.size() - MessageHeaderSize);
    char bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    sink.patch(1, bytes, 4);
}

// A Record (detail: WorkerLeftover bits) or a Fault (detail: the exception code) that answers
// request `sequence` with the record.
template <class Sink>
void encodeReply(Sink& sink, WorkerMessage kind, uint32_t sequence, uint32_t detail, const RecordFields& record)
{
    startMessage(sink, kind);
    putInt(sink, sequence);
    putInt(sink, detail);
    putInt(sink, record.aid);
    putInt(sink, record.pid);
    putInt(sink, static_cast<uint32_t>(record.ptype));
    putInt(sink, static_cast<uint32_t>(record.answers));
    putInt(sink, static_cast<uint32_t>(record.loadError));
    putText(sink, record.name);
    int count = record.strings && record.count > 0 ? record.count : 0;
    putInt(sink, static_cast<uint32_t>(count));
    for (int i = 0; i < count; ++i) {
        putText(sink, record.strings[i]);
        putText(sink, record.extensions ? record.extensions[i] : nullptr);
    }
    static const ProbeFacts none = {};
    const ProbeFacts& facts = record.facts ? *record.facts : none;
    visitFactIntegers(facts, [&sink](const auto& value) { putInt(sink, static_cast<uint32_t>(value)); });
    putText(sink, facts.debugRuntime);
    putText(sink, facts.debugRuntimeVia);
    finishMessage(sink);
}

// The whole Probe message of a request.
std::string encodeRequest(const ProbeRequest& request);

// ---- The decoder

// Splits one message off the front of the bytes received so far. Returns true and removes it
// when a whole one is there; false when more bytes are needed. *broken is set when the stream
// cannot be a message stream: an unknown kind, or a length longer than any message of its kind.
bool takeMessage(std::string& received, WorkerMessage* kind, std::string* payload, bool* broken);
// A Probe's payload; false when it is malformed.
bool decodeRequest(const std::string& payload, ProbeRequest* request);
// A Record's or Fault's payload; false when it is malformed, has bytes after its end, or holds
// a record that the probe cannot produce (checkRecord).
bool decodeReply(WorkerMessage kind, const std::string& payload, WorkerReply* reply);
// Whether the probe can have produced the record: a name shorter than 300 bytes, at most 100
// strings that fit the pools of 10,000 bytes, extensions only for file types, answers only in
// the order the probe asks (IDs, name, type), unanswered fields zero or empty, nothing but the
// error with a load error, no NUL inside a text, and facts that a probe can find
// (factsPossible).
bool checkRecord(const ProbeResult& record);

// ---- The shared block

// The shared block of one worker: the lines of the file being probed, each a 16-bit length and
// the bytes, and the file's record as it stood at the last line (a Record message). The window
// empties it before each request; the worker marks the request as taken, appends a line's bytes
// and only then publishes the new length, so the window never sees half a line. The window
// reads the record only once the worker is done with the file or gone: a worker that ends or
// hangs sends no Record message, but its record is here.
struct SharedLines {
    volatile LONG taken;       // the sequence number of the request the worker took last
    volatile LONG committed;   // bytes of data that hold whole lines
    volatile LONG recordSize;  // bytes of record: a Record message; 0 when none yet
    char data[65536];          // room for a file's largest block, about 32 KB
    char record[32768];        // room for the largest record, about 21 KB
};

// The name of the shared block that goes with a worker's pipe.
std::wstring sharedLinesName(const std::wstring& pipeName);
// Appends one line (cut at a whole character to 299 bytes) and publishes it. False when the
// block is full.
bool appendSharedLine(SharedLines* shared, const char* line);
// Publishes the record as the answer so far to request `sequence` (the worker's; uses no heap).
void publishSharedRecord(SharedLines* shared, uint32_t sequence, const RecordFields& record);
// The published whole lines, in order; false when one of them is no line the probe can produce
// (longer than 299 bytes, or holding a NUL): *lines then holds those before it.
bool sharedLines(const SharedLines* shared, std::vector<std::string>* lines);
// The record the worker published last for request `sequence`; false when there is none, or
// when it is damaged or answers another request.
bool sharedRecord(const SharedLines* shared, uint32_t sequence, ProbeResult* result);

#endif
