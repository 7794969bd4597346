// What the window and its workers exchange, without starting any: the one encoder into a fixed
// buffer and into a string, and its decoder.
#include "workerProtocol.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A record the probe can produce: an Import plug-in with two file types.
ProbeResult importRecord()
{
    ProbeResult record;
    record.aid = 0xFEDCBA98;
    record.pid = 1;
    record.ptype = 1;
    record.answers = ProbeAnsweredIds | ProbeAnsweredName | ProbeAnsweredType;
    record.pname = "画像読み込み";
    record.strings = {"ビットマップ画像", "Text file"};
    record.extensions = {"*.bmp;*.dib", "*.txt"};
    return record;
}

// The record's fields as the worker hands them to the encoder.
struct FieldsOf {
    explicit FieldsOf(const ProbeResult& record)
    {
        for (size_t i = 0; i < record.strings.size(); ++i) {
            strings.push_back(record.strings[i].c_str());
            extensions.push_back(record.extensions[i].c_str());
        }
        fields.aid = record.aid;
        fields.pid = record.pid;
        fields.ptype = record.ptype;
        fields.answers = record.answers;
        fields.loadError = record.loadError;
        fields.name = record.pname.c_str();
        fields.count = static_cast<int>(strings.size());
        fields.strings = strings.data();
        fields.extensions = extensions.data();
    }
    std::vector<const char*> strings, extensions;
    RecordFields fields;
};

std::string encoded(const ProbeResult& record, WorkerMessage kind = WorkerMessage::Record, uint32_t faultCode = 0)
{
    FieldsOf source(record);
    std::string message;
    StringSink sink(message);
    encodeReply(sink, kind, faultCode, source.fields);
    return message;
}

// Decodes one whole message; false when it is not one whole valid reply.
bool decoded(std::string message, WorkerReply* reply)
{
    WorkerMessage kind;
    std::string payload;
    bool broken = false;
    return takeMessage(message, &kind, &payload, &broken) && message.empty() && decodeReply(kind, payload, reply);
}

TEST(WorkerProtocol, OneEncoderWritesTheSameBytesIntoAFixedBufferAndAString)
{
    ProbeResult record = importRecord();
    std::string viaString = encoded(record, WorkerMessage::Fault, 0xC0000005);

    FieldsOf source(record);
    char buffer[MessageHeaderSize + RecordPayloadMax];
    FixedSink fixed(buffer, sizeof buffer);
    encodeReply(fixed, WorkerMessage::Fault, 0xC0000005, source.fields);
    ASSERT_FALSE(fixed.overflow());
    EXPECT_EQ(std::string(buffer, fixed.size()), viaString);

    WorkerReply reply;
    ASSERT_TRUE(decoded(viaString, &reply));
    EXPECT_EQ(reply.kind, WorkerMessage::Fault);
    EXPECT_EQ(reply.faultCode, 0xC0000005u);
    EXPECT_EQ(reply.record.aid, record.aid);
    EXPECT_EQ(reply.record.pname, record.pname);
    EXPECT_EQ(reply.record.strings, record.strings);
    EXPECT_EQ(reply.record.extensions, record.extensions);

    // Too small a buffer: the message is marked, never cut.
    FixedSink small(buffer, 40);
    encodeReply(small, WorkerMessage::Record, 0, source.fields);
    EXPECT_TRUE(small.overflow());

    // The request, with a path outside the ANSI code page.
    ProbeRequest request;
    request.path = L"C:\\p\\plug_\uD55C.dll";
    request.dllName = "C:\\p\\plug_?.dll";
    request.shown = "plug_?.dll";
    std::string message = encodeRequest(request);
    WorkerMessage kind;
    std::string payload;
    bool broken = false;
    ASSERT_TRUE(takeMessage(message, &kind, &payload, &broken));
    ProbeRequest back;
    ASSERT_TRUE(decodeRequest(payload, &back));
    EXPECT_EQ(back.path, request.path);
    EXPECT_EQ(back.shown, request.shown);
}

}  // namespace
