// Encoding and checking of what the window process and its probe workers exchange.
#include "workerProtocol.h"

#include "rpStrings.h"

namespace {

constexpr uint32_t PathCharactersMax = 32767;  // the longest path the system takes

// Reads a payload field by field; any read past its end, or a text longer than its limit,
// marks it broken and gives empty values.
class PayloadReader {
public:
    explicit PayloadReader(const std::string& payload) : payload_(payload) {}

    uint32_t getInt()
    {
        const char* at = take(4);
        if (!at)
            return 0;
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(at[i]);
        return value;
    }
    std::string getText(uint32_t limit)
    {
        uint32_t length = getInt();
        if (length > limit)
            broken_ = true;
        const char* at = take(length);
        return at ? std::string(at, length) : std::string();
    }
    std::wstring getWideText(uint32_t limit)
    {
        uint32_t length = getInt();
        if (length > limit)
            broken_ = true;
        const char* at = take(size_t(length) * 2);
        if (!at)
            return std::wstring();
        std::wstring text(length, L'\0');
        for (uint32_t i = 0; i < length; ++i)
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(at[2 * i]) | (static_cast<unsigned char>(at[2 * i + 1]) << 8));
        return text;
    }
    // Whether everything read was there and nothing is left.
    bool whole() const { return !broken_ && offset_ == payload_.size(); }
    bool broken() const { return broken_; }

private:
    const char* take(size_t n)
    {
        if (broken_ || n > payload_.size() - offset_) {
            broken_ = true;
            return nullptr;
        }
        const char* at = payload_.data() + offset_;
        offset_ += n;
        return at;
    }

    const std::string& payload_;  // not owned
    size_t offset_ = 0;
    bool broken_ = false;
};

template <class Sink>
void putBytes(Sink& sink, const std::string& text)
{
    putInt(sink, static_cast<uint32_t>(text.size()));
    sink.put(text.data(), text.size());
}

template <class Sink>
void putWide(Sink& sink, const std::wstring& text)
{
    putInt(sink, static_cast<uint32_t>(text.size()));
    for (wchar_t c : text) {
        const char bytes[2] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
        sink.put(bytes, 2);
    }
}

}  // namespace

std::string encodeRequest(const ProbeRequest& request)
{
    std::string message;
    StringSink sink(message);
    startMessage(sink, WorkerMessage::Probe);
    putWide(sink, request.path);
    putBytes(sink, request.dllName);
    putBytes(sink, request.shown);
    finishMessage(sink);
    return message;
}

bool takeMessage(std::string& received, WorkerMessage* kind, std::string* payload, bool* broken)
{
    *broken = false;
    if (received.empty())
        return false;
    unsigned char k = static_cast<unsigned char>(received[0]);
    if (k != static_cast<unsigned char>(WorkerMessage::Probe) && k != static_cast<unsigned char>(WorkerMessage::Record) &&
        k != static_cast<unsigned char>(WorkerMessage::Fault)) {
        *broken = true;
        return false;
    }
    if (received.size() < MessageHeaderSize)
        return false;
    uint32_t length = 0;
    for (int i = 4; i >= 1; --i)
        length = (length << 8) | static_cast<unsigned char>(received[i]);
    if (length > WorkerMessageMax) {
        *broken = true;
        return false;
    }
    if (received.size() - MessageHeaderSize < length)
        return false;
    *kind = static_cast<WorkerMessage>(k);
    payload->assign(received, MessageHeaderSize, length);
    received.erase(0, MessageHeaderSize + size_t(length));
    return true;
}

bool decodeRequest(const std::string& payload, ProbeRequest* request)
{
    PayloadReader reader(payload);
    request->path = reader.getWideText(PathCharactersMax);
    request->dllName = reader.getText(WorkerMessageMax);
    request->shown = reader.getText(WorkerMessageMax);
    return reader.whole();
}

bool decodeReply(WorkerMessage kind, const std::string& payload, WorkerReply* reply)
{
    if (kind != WorkerMessage::Record && kind != WorkerMessage::Fault)
        return false;
    PayloadReader reader(payload);
    reply->kind = kind;
    reply->faultCode = kind == WorkerMessage::Fault ? reader.getInt() : 0;
    ProbeResult& record = reply->record;
    record.aid = reader.getInt();
    record.pid = reader.getInt();
    record.ptype = static_cast<int>(reader.getInt());
    record.answers = static_cast<int>(reader.getInt());
    record.loadError = static_cast<int>(reader.getInt());
    record.pname = reader.getText(RecordPayloadMax);
    uint32_t count = reader.getInt();
    record.strings.clear();
    record.extensions.clear();
    for (uint32_t i = 0; i < count && !reader.broken(); ++i) {
        record.strings.push_back(reader.getText(RecordPayloadMax));
        record.extensions.push_back(reader.getText(RecordPayloadMax));
    }
    return reader.whole();
}

std::wstring sharedLinesName(const std::wstring& pipeName)
{
    size_t slash = pipeName.find_last_of(L'\\');
    return L"Local\\" + (slash == std::wstring::npos ? pipeName : pipeName.substr(slash + 1)) + L"-lines";
}

bool appendSharedLine(SharedLines* shared, const char* line)
{
    char whole[ProbeTextSize];
    int length = rpStrncpy(whole, line ? line : "", sizeof whole);
    if (length < 0)
        length = 0;
    LONG at = shared->committed;
    if (at < 0 || static_cast<size_t>(at) + 2 + static_cast<size_t>(length) > sizeof shared->data)
        return false;
    shared->data[at] = static_cast<char>(length & 0xFF);
    shared->data[at + 1] = static_cast<char>((length >> 8) & 0xFF);
    std::memcpy(shared->data + at + 2, whole, static_cast<size_t>(length));
    // The bytes first, then the length that makes them visible.
    InterlockedExchange(&shared->committed, at + 2 + length);
    return true;
}

void publishSharedRecord(SharedLines* shared, const RecordFields& record)
{
    InterlockedExchange(&shared->recordSize, 0);
    FixedSink sink(shared->record, sizeof shared->record);
    encodeReply(sink, WorkerMessage::Record, 0, record);
    if (!sink.overflow())
        InterlockedExchange(&shared->recordSize, static_cast<LONG>(sink.size()));
}

LONG sharedCommitted(const SharedLines* shared)
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&shared->committed), 0, 0);
}

std::vector<std::string> sharedLines(const SharedLines* shared)
{
    std::vector<std::string> lines;
    LONG committed = sharedCommitted(shared);
    if (committed < 0 || static_cast<size_t>(committed) > sizeof shared->data)
        return lines;
    size_t at = 0;
    while (at + 2 <= static_cast<size_t>(committed)) {
        size_t length = static_cast<unsigned char>(shared->data[at]) | (static_cast<unsigned char>(shared->data[at + 1]) << 8);
        if (at + 2 + length > static_cast<size_t>(committed))
            break;
        lines.emplace_back(shared->data + at + 2, length);
        at += 2 + length;
    }
    return lines;
}

bool sharedRecord(const SharedLines* shared, ProbeResult* result)
{
    LONG size = InterlockedCompareExchange(const_cast<volatile LONG*>(&shared->recordSize), 0, 0);
    if (size <= 0 || static_cast<size_t>(size) > sizeof shared->record)
        return false;
    std::string received(shared->record, static_cast<size_t>(size));
    WorkerMessage kind;
    std::string payload;
    bool broken = false;
    WorkerReply reply;
    if (!takeMessage(received, &kind, &payload, &broken) || kind != WorkerMessage::Record || !decodeReply(kind, payload, &reply))
        return false;
    *result = reply.record;
    return true;
}
