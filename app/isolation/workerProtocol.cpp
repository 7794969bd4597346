// Encoding and checking of what the window process and its probe workers exchange.
#include "workerProtocol.h"

#include "rpStrings.h"

#include <cstring>
#include <type_traits>

namespace {

constexpr uint32_t PathCharactersMax = 32767;  // the longest path the system takes
constexpr uint32_t RequestValidate = 1;        // a request's flag: probe with the checks

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

bool hasNul(const std::string& text)
{
    return text.find('\0') != std::string::npos;
}

uint32_t payloadLimit(WorkerMessage kind)
{
    return kind == WorkerMessage::Probe ? RequestPayloadMax : RecordPayloadMax;
}

}  // namespace

std::string encodeRequest(const ProbeRequest& request)
{
    std::string message;
    StringSink sink(message);
    startMessage(sink, WorkerMessage::Probe);
    putInt(sink, request.sequence);
    putInt(sink, request.validate ? RequestValidate : 0);
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
    if (length > payloadLimit(static_cast<WorkerMessage>(k))) {
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
    request->sequence = reader.getInt();
    const uint32_t flags = reader.getInt();
    request->validate = (flags & RequestValidate) != 0;
    request->path = reader.getWideText(PathCharactersMax);
    request->dllName = reader.getText(RequestPayloadMax);
    request->shown = reader.getText(RequestPayloadMax);
    return reader.whole() && (flags & ~RequestValidate) == 0;
}

bool decodeReply(WorkerMessage kind, const std::string& payload, WorkerReply* reply)
{
    if (kind != WorkerMessage::Record && kind != WorkerMessage::Fault)
        return false;
    PayloadReader reader(payload);
    reply->kind = kind;
    reply->sequence = reader.getInt();
    reply->detail = reader.getInt();
    ProbeResult& record = reply->record;
    record.aid = reader.getInt();
    record.pid = reader.getInt();
    record.ptype = static_cast<int>(reader.getInt());
    record.answers = static_cast<int>(reader.getInt());
    record.loadError = static_cast<int>(reader.getInt());
    record.pname = reader.getText(ProbeTextSize - 1);
    uint32_t count = reader.getInt();
    record.strings.clear();
    record.extensions.clear();
    if (count > static_cast<uint32_t>(MenuMax))
        return false;
    for (uint32_t i = 0; i < count && !reader.broken(); ++i) {
        record.strings.push_back(reader.getText(MenuPoolSize));
        record.extensions.push_back(reader.getText(MenuPoolSize));
    }
    ProbeFacts& facts = record.facts;
    facts = ProbeFacts();
    visitFactIntegers(facts, [&reader](auto& value) { value = static_cast<std::remove_reference_t<decltype(value)>>(reader.getInt()); });
    bool textsWhole = true;  // no NUL inside a text, which the fixed fields could not keep
    for (char* text : {facts.debugRuntime, facts.debugRuntimeVia}) {
        const std::string read = reader.getText(ProbeTextSize - 1);
        textsWhole = textsWhole && !hasNul(read);
        std::memcpy(text, read.data(), read.size());
        text[read.size()] = 0;
    }
    if (!textsWhole)
        return false;
    if (!reader.whole())
        return false;
    if (kind == WorkerMessage::Record && (reply->detail & ~LeftoverAll) != 0)
        return false;
    return checkRecord(record);
}

bool checkRecord(const ProbeResult& record)
{
    const int answers = record.answers;
    // The probe asks for the IDs, then the name, then the type, and stops at the first that
    // is missing.
    if (answers != 0 && answers != ProbeAnsweredIds && answers != (ProbeAnsweredIds | ProbeAnsweredName) &&
        answers != (ProbeAnsweredIds | ProbeAnsweredName | ProbeAnsweredType))
        return false;
    if (record.loadError != 0 && answers != 0)
        return false;
    if (!(answers & ProbeAnsweredIds) && (record.aid != 0 || record.pid != 0))
        return false;
    if (!(answers & ProbeAnsweredName) && !record.pname.empty())
        return false;
    if (!(answers & ProbeAnsweredType) && record.ptype != 0)
        return false;
    if (record.pname.size() >= static_cast<size_t>(ProbeTextSize) || hasNul(record.pname))
        return false;

    // Strings are asked only of a known type, extensions only of file types (Import, Export).
    const size_t count = record.strings.size();
    if (count > static_cast<size_t>(MenuMax) || record.extensions.size() != count)
        return false;
    const bool knownType = (answers & ProbeAnsweredType) && record.ptype >= 1 && record.ptype <= 7;
    const bool fileTypes = knownType && (record.ptype == 1 || record.ptype == 2);
    if (count > 0 && !knownType)
        return false;
    size_t stringPool = 0, extensionPool = 0;
    for (size_t i = 0; i < count; ++i) {
        const std::string& text = record.strings[i];
        const std::string& extension = record.extensions[i];
        if (hasNul(text) || hasNul(extension))
            return false;
        stringPool += text.size() + 1;
        if (!extension.empty()) {
            if (!fileTypes)
                return false;
            extensionPool += extension.size() + 1;
        }
    }
    if (stringPool > static_cast<size_t>(MenuPoolSize) || extensionPool > static_cast<size_t>(MenuPoolSize))
        return false;
    return factsPossible(record.facts);
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

void publishSharedRecord(SharedLines* shared, uint32_t sequence, const RecordFields& record)
{
    InterlockedExchange(&shared->recordSize, 0);
    FixedSink sink(shared->record, sizeof shared->record);
    encodeReply(sink, WorkerMessage::Record, sequence, 0, record);
    if (!sink.overflow())
        InterlockedExchange(&shared->recordSize, static_cast<LONG>(sink.size()));
}

bool sharedLines(const SharedLines* shared, std::vector<std::string>* lines)
{
    lines->clear();
    LONG committed = InterlockedCompareExchange(const_cast<volatile LONG*>(&shared->committed), 0, 0);
    if (committed < 0 || static_cast<size_t>(committed) > sizeof shared->data)
        return false;
    // A copy, so that a worker still writing cannot change a line while it is checked.
    std::string data(shared->data, static_cast<size_t>(committed));
    size_t at = 0;
    while (at + 2 <= data.size()) {
        size_t length = static_cast<unsigned char>(data[at]) | (static_cast<unsigned char>(data[at + 1]) << 8);
        if (at + 2 + length > data.size())
            break;  // not published whole
        std::string line = data.substr(at + 2, length);
        if (length >= static_cast<size_t>(ProbeTextSize) || hasNul(line))
            return false;
        lines->push_back(line);
        at += 2 + length;
    }
    return true;
}

bool sharedRecord(const SharedLines* shared, uint32_t sequence, ProbeResult* result)
{
    LONG size = InterlockedCompareExchange(const_cast<volatile LONG*>(&shared->recordSize), 0, 0);
    if (size <= 0 || static_cast<size_t>(size) > sizeof shared->record)
        return false;
    std::string received(shared->record, static_cast<size_t>(size));
    WorkerMessage kind;
    std::string payload;
    bool broken = false;
    WorkerReply reply;
    if (!takeMessage(received, &kind, &payload, &broken) || !received.empty() || kind != WorkerMessage::Record ||
        !decodeReply(kind, payload, &reply) || reply.sequence != sequence)
        return false;
    *result = reply.record;
    return true;
}
