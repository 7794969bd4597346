// Encoding of the messages between the window process and its probe workers.
#include "workerProtocol.h"

#include <cstring>

void MessageWriter::putInt(uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        payload_ += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void MessageWriter::putText(const std::string& text)
{
    putInt(static_cast<uint32_t>(text.size()));
    payload_ += text;
}

void MessageWriter::putText(const std::wstring& text)
{
    putInt(static_cast<uint32_t>(text.size()));
    for (wchar_t c : text) {
        payload_ += static_cast<char>(c & 0xFF);
        payload_ += static_cast<char>((c >> 8) & 0xFF);
    }
}

std::string MessageWriter::message(WorkerMessage kind) const
{
    MessageWriter header;
    header.payload_ += static_cast<char>(kind);
    header.putInt(static_cast<uint32_t>(payload_.size()));
    return header.payload_ + payload_;
}

bool MessageReader::take(size_t n, const char** at)
{
    if (broken_ || n > payload_.size() - offset_) {
        broken_ = true;
        return false;
    }
    *at = payload_.data() + offset_;
    offset_ += n;
    return true;
}

uint32_t MessageReader::getInt()
{
    const char* at = nullptr;
    if (!take(4, &at))
        return 0;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(at[i]);
    return value;
}

std::string MessageReader::getText()
{
    uint32_t length = getInt();
    const char* at = nullptr;
    if (!take(length, &at))
        return std::string();
    return std::string(at, length);
}

std::wstring MessageReader::getWideText()
{
    uint32_t length = getInt();
    const char* at = nullptr;
    if (length > WorkerMessageMax || !take(size_t(length) * 2, &at))
        return std::wstring();
    std::wstring text(length, L'\0');
    for (uint32_t i = 0; i < length; ++i)
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(at[2 * i]) | (static_cast<unsigned char>(at[2 * i + 1]) << 8));
    return text;
}

std::string encodeRequest(const ProbeRequest& request)
{
    MessageWriter writer;
    writer.putText(request.path);
    writer.putText(request.dllName);
    writer.putText(request.shown);
    return writer.message(WorkerMessage::Probe);
}

bool decodeRequest(const std::string& payload, ProbeRequest* request)
{
    MessageReader reader(payload);
    request->path = reader.getWideText();
    request->dllName = reader.getText();
    request->shown = reader.getText();
    return !reader.broken();
}

std::string encodeResult(const ProbeResult& result)
{
    MessageWriter writer;
    writer.putInt(result.aid);
    writer.putInt(result.pid);
    writer.putInt(static_cast<uint32_t>(result.ptype));
    writer.putInt(static_cast<uint32_t>(result.answers));
    writer.putInt(static_cast<uint32_t>(result.loadError));
    writer.putText(result.pname);
    writer.putInt(static_cast<uint32_t>(result.strings.size()));
    for (size_t i = 0; i < result.strings.size(); ++i) {
        writer.putText(result.strings[i]);
        writer.putText(i < result.extensions.size() ? result.extensions[i] : std::string());
    }
    return writer.message(WorkerMessage::Record);
}

bool decodeResult(const std::string& payload, ProbeResult* result)
{
    MessageReader reader(payload);
    result->aid = reader.getInt();
    result->pid = reader.getInt();
    result->ptype = static_cast<int>(reader.getInt());
    result->answers = static_cast<int>(reader.getInt());
    result->loadError = static_cast<int>(reader.getInt());
    result->pname = reader.getText();
    uint32_t count = reader.getInt();
    result->strings.clear();
    result->extensions.clear();
    for (uint32_t i = 0; i < count && !reader.broken(); ++i) {
        result->strings.push_back(reader.getText());
        result->extensions.push_back(reader.getText());
    }
    return !reader.broken();
}

bool takeMessage(std::string& received, WorkerMessage* kind, std::string* payload, bool* broken)
{
    *broken = false;
    if (received.size() < 5)
        return false;
    unsigned char k = static_cast<unsigned char>(received[0]);
    uint32_t length = 0;
    for (int i = 4; i >= 1; --i)
        length = (length << 8) | static_cast<unsigned char>(received[i]);
    bool known = k == static_cast<unsigned char>(WorkerMessage::Probe) || k == static_cast<unsigned char>(WorkerMessage::Record) ||
                 k == static_cast<unsigned char>(WorkerMessage::Fault);
    if (!known || length > WorkerMessageMax) {
        *broken = true;
        return false;
    }
    if (received.size() - 5 < length)
        return false;
    *kind = static_cast<WorkerMessage>(k);
    payload->assign(received, 5, length);
    received.erase(0, 5 + size_t(length));
    return true;
}

bool appendSharedLine(SharedLines* shared, const char* line, size_t length)
{
    LONG at = shared->committed;
    if (length > 0xFFFF)
        length = 0xFFFF;
    if (at < 0 || static_cast<size_t>(at) + 2 + length > sizeof shared->data)
        return false;
    shared->data[at] = static_cast<char>(length & 0xFF);
    shared->data[at + 1] = static_cast<char>((length >> 8) & 0xFF);
    std::memcpy(shared->data + at + 2, line, length);
    // The bytes first, then the length that makes them visible.
    InterlockedExchange(&shared->committed, at + 2 + static_cast<LONG>(length));
    return true;
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

std::wstring sharedLinesName(const std::wstring& pipeName)
{
    size_t slash = pipeName.find_last_of(L'\\');
    return L"Local\\" + (slash == std::wstring::npos ? pipeName : pipeName.substr(slash + 1)) + L"-lines";
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
    return takeMessage(received, &kind, &payload, &broken) && kind == WorkerMessage::Record && decodeResult(payload, result);
}
