// What the window reads from its workers, without starting any: the one encoder into a fixed
// buffer and into a string, the framing of the pipe's messages, the records that no probe can
// produce, and the shared block, which shows only whole published lines.
#include "workerProtocol.h"

#include <gtest/gtest.h>

#include <cstring>
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

// The record's fields as the worker hands them to the encoder, pointing into a copy of the
// record that lives as long as they do.
struct FieldsOf {
    explicit FieldsOf(const ProbeResult& source) : record(source)
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
        fields.facts = &record.facts;
    }
    ProbeResult record;
    std::vector<const char*> strings, extensions;
    RecordFields fields;
};

// The facts of a validating probe that found a little of everything.
ProbeFacts someFacts()
{
    ProbeFacts facts = {};
    facts.measured = 1;
    facts.nearMissDecorated = 1u << CallGetType;
    facts.enumUnterminated = 1u << CallEnumFileType;
    facts.fileTypeCount = 2;
    facts.fileExtCount = 3;
    facts.textInvalidCall = CallEnumFileExt + 1;
    facts.textInvalidIndex = 1;
    facts.textInvalidOffset = 4;
    facts.stackCall = CallGetId + 1;
    facts.stackBytes = 8;
    facts.fpuCall = CallLoad + 1;
    facts.x87Before = 0x27F;
    facts.x87After = 0x7F;
    facts.processCall = CallRelease + 1;
    facts.processChanged = ChangedFilter | ChangedErrorMode;
    facts.loadMs = 1500;
    facts.slowestCall = CallGetName + 1;
    facts.slowestMs = 300;
    facts.handlesBefore = 11;
    facts.handlesAfter = HandlesUnknown;
    std::strcpy(facts.debugRuntime, "msvcr120d.dll");
    std::strcpy(facts.debugRuntimeVia, "needsdebugcrt.dll");
    return facts;
}

std::string encoded(const ProbeResult& record, WorkerMessage kind = WorkerMessage::Record, uint32_t sequence = 5, uint32_t detail = 0)
{
    FieldsOf source(record);
    std::string message;
    StringSink sink(message);
    encodeReply(sink, kind, sequence, detail, source.fields);
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

std::string header(char kind, uint32_t length)
{
    std::string bytes(1, kind);
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((length >> (8 * i)) & 0xFF);
    return bytes;
}

TEST(WorkerProtocol, OneEncoderWritesTheSameBytesIntoAFixedBufferAndAString)
{
    ProbeResult record = importRecord();
    record.facts = someFacts();
    std::string viaString = encoded(record, WorkerMessage::Fault, 9, 0xC0000005);

    FieldsOf source(record);
    char buffer[MessageHeaderSize + RecordPayloadMax];
    FixedSink fixed(buffer, sizeof buffer);
    encodeReply(fixed, WorkerMessage::Fault, 9, 0xC0000005, source.fields);
    ASSERT_FALSE(fixed.overflow());
    EXPECT_EQ(std::string(buffer, fixed.size()), viaString);

    WorkerReply reply;
    ASSERT_TRUE(decoded(viaString, &reply));
    EXPECT_EQ(reply.kind, WorkerMessage::Fault);
    EXPECT_EQ(reply.sequence, 9u);
    EXPECT_EQ(reply.detail, 0xC0000005u);
    EXPECT_EQ(reply.record.aid, record.aid);
    EXPECT_EQ(reply.record.pname, record.pname);
    EXPECT_EQ(reply.record.strings, record.strings);
    EXPECT_EQ(reply.record.extensions, record.extensions);
    EXPECT_EQ(std::memcmp(&reply.record.facts, &record.facts, sizeof record.facts), 0);

    // Too small a buffer: the message is marked, never cut.
    FixedSink small(buffer, 40);
    encodeReply(small, WorkerMessage::Record, 9, 0, source.fields);
    EXPECT_TRUE(small.overflow());

    // The request, with a path outside the ANSI code page.
    ProbeRequest request;
    request.sequence = 77;
    request.path = L"C:\\p\\plug_\uD55C.dll";
    request.dllName = "C:\\p\\plug_?.dll";
    request.shown = "plug_?.dll";
    request.validate = true;
    std::string message = encodeRequest(request);
    WorkerMessage kind;
    std::string payload;
    bool broken = false;
    ASSERT_TRUE(takeMessage(message, &kind, &payload, &broken));
    ProbeRequest back;
    ASSERT_TRUE(decodeRequest(payload, &back));
    EXPECT_EQ(back.sequence, 77u);
    EXPECT_EQ(back.path, request.path);
    EXPECT_EQ(back.shown, request.shown);
    EXPECT_TRUE(back.validate);
    // A flag that no window sends.
    payload[4] = 2;
    EXPECT_FALSE(decodeRequest(payload, &back));
}

TEST(WorkerProtocol, FramingRefusesUnknownAndOversizedMessagesAndWaitsForTruncatedOnes)
{
    WorkerMessage kind;
    std::string payload;
    bool broken = false;

    std::string unknown = "not a message";
    EXPECT_FALSE(takeMessage(unknown, &kind, &payload, &broken));
    EXPECT_TRUE(broken);
    // Longer than any message of its kind: refused from the header alone.
    for (const std::string& oversized : {header('R', RecordPayloadMax + 1), header('X', 0xFFFFFFFF), header('P', RequestPayloadMax + 1)}) {
        std::string bytes = oversized;
        broken = false;
        EXPECT_FALSE(takeMessage(bytes, &kind, &payload, &broken));
        EXPECT_TRUE(broken) << static_cast<int>(oversized[0]);
    }

    // Two messages arriving in pieces: nothing until the first is whole, then one at a time.
    std::string first = encoded(importRecord());
    std::string second = encoded(ProbeResult(), WorkerMessage::Record, 6);
    std::string received = first.substr(0, 3);
    EXPECT_FALSE(takeMessage(received, &kind, &payload, &broken));
    EXPECT_FALSE(broken);
    received += first.substr(3, first.size() - 4);
    EXPECT_FALSE(takeMessage(received, &kind, &payload, &broken));
    EXPECT_FALSE(broken);
    received += first.substr(first.size() - 1) + second;
    ASSERT_TRUE(takeMessage(received, &kind, &payload, &broken));
    EXPECT_EQ(payload, first.substr(MessageHeaderSize));
    ASSERT_TRUE(takeMessage(received, &kind, &payload, &broken));
    EXPECT_TRUE(received.empty());

    // A payload whose fields end early, or go on after the record, is malformed.
    WorkerReply reply;
    std::string whole = encoded(importRecord());
    std::string cut = whole.substr(0, whole.size() - 2);
    cut.replace(0, MessageHeaderSize, header('R', static_cast<uint32_t>(cut.size() - MessageHeaderSize)));
    EXPECT_FALSE(decoded(cut, &reply));
    std::string longer = whole + "xx";
    longer.replace(0, MessageHeaderSize, header('R', static_cast<uint32_t>(longer.size() - MessageHeaderSize)));
    EXPECT_FALSE(decoded(longer, &reply));
    // A worker never sends a request, and a Record knows only the leftovers it names.
    EXPECT_FALSE(decodeReply(WorkerMessage::Probe, whole.substr(MessageHeaderSize), &reply));
    EXPECT_FALSE(decoded(encoded(importRecord(), WorkerMessage::Record, 5, LeftoverAll + 1), &reply));
    EXPECT_TRUE(decoded(encoded(importRecord(), WorkerMessage::Record, 5, LeftoverAll), &reply));
}

TEST(WorkerProtocol, RecordsThatNoProbeCanProduceAreRefused)
{
    const struct {
        const char* what;
        void (*change)(ProbeResult&);
    } broken[] = {
        {"a name of 300 bytes", [](ProbeResult& r) { r.pname.assign(300, 'n'); }},
        {"a 20,000-byte name", [](ProbeResult& r) { r.pname.assign(20000, 'n'); }},
        {"a NUL inside the name", [](ProbeResult& r) { r.pname = std::string("a\0b", 3); }},
        {"101 strings", [](ProbeResult& r) { r.strings.assign(101, "s"); r.extensions.assign(101, ""); }},
        {"1,500 strings", [](ProbeResult& r) { r.strings.assign(1500, "s"); r.extensions.assign(1500, ""); }},
        {"strings beyond their pool", [](ProbeResult& r) { r.strings = {std::string(5000, 's'), std::string(5000, 's')}; }},
        {"extensions beyond their pool", [](ProbeResult& r) { r.extensions = {std::string(5000, 'e'), std::string(5000, 'e')}; }},
        {"an extension of a menu string", [](ProbeResult& r) { r.ptype = 7; }},
        {"strings of an unknown type", [](ProbeResult& r) { r.ptype = 8; r.extensions = {"", ""}; }},
        {"strings without a type", [](ProbeResult& r) { r.ptype = 0; r.answers = 3; r.extensions = {"", ""}; }},
        {"a type value without its answer", [](ProbeResult& r) { r.ptype = 0x7FFFFFFF; r.answers = 3; r.strings.clear(); r.extensions.clear(); }},
        {"IDs without their answer", [](ProbeResult& r) { r = ProbeResult(); r.aid = 1; }},
        {"a name without its answer", [](ProbeResult& r) { r = ProbeResult(); r.answers = 1; r.pname = "x"; }},
        {"a name before the IDs", [](ProbeResult& r) { r = ProbeResult(); r.answers = ProbeAnsweredName; }},
        {"an answer bit the probe has not", [](ProbeResult& r) { r.answers |= 8; }},
        {"answers with a load error", [](ProbeResult& r) { r.loadError = 126; }},
        {"facts of a probe that did not validate", [](ProbeResult& r) { r.facts.loadMs = 5; }},
        {"a call the probe never makes", [](ProbeResult& r) { r.facts = someFacts(); r.facts.fpuCall = CallCount + 1; }},
        {"a stack moved by the load", [](ProbeResult& r) { r.facts = someFacts(); r.facts.stackCall = CallLoad + 1; }},
        {"a stack call without a move", [](ProbeResult& r) { r.facts = someFacts(); r.facts.stackBytes = 0; }},
        {"a change of the process that is not watched", [](ProbeResult& r) { r.facts = someFacts(); r.facts.processChanged = 8; }},
        {"a near miss of no entry point", [](ProbeResult& r) { r.facts = someFacts(); r.facts.nearMissCpp = 1u << CallLoad; }},
        {"extensions two past the file types", [](ProbeResult& r) { r.facts = someFacts(); r.facts.fileExtCount = 4; }},
        {"more file types than the probe asks", [](ProbeResult& r) { r.facts = someFacts(); r.facts.fileTypeCount = 100; r.facts.fileExtCount = 0; }},
        {"a measured mark that is no flag", [](ProbeResult& r) { r.facts = someFacts(); r.facts.measured = 2; }},
        {"a runtime's user without the runtime", [](ProbeResult& r) { r.facts = someFacts(); r.facts.debugRuntime[0] = 0; }},
    };
    WorkerReply reply;
    ASSERT_TRUE(checkRecord(importRecord()));
    ASSERT_TRUE(decoded(encoded(importRecord()), &reply));
    for (const auto& row : broken) {
        ProbeResult record = importRecord();
        row.change(record);
        EXPECT_FALSE(checkRecord(record)) << row.what;
        std::string message = encoded(record);
        // The encoder reads texts up to their NUL: a NUL inside one is put on the wire by hand.
        size_t nul = record.pname.find('\0');
        if (nul != std::string::npos) {
            message = encoded(importRecord());
            message[message.find("画像読み込み") + 1] = '\0';
        }
        EXPECT_FALSE(decoded(message, &reply)) << row.what;
    }

    // What a plug-in may answer stays valid: any type number, the longest name, a full pool.
    ProbeResult odd;
    odd.answers = ProbeAnsweredIds | ProbeAnsweredName | ProbeAnsweredType;
    odd.ptype = 0x7FFFFFFF;
    odd.pname.assign(299, 'n');
    EXPECT_TRUE(decoded(encoded(odd), &reply));
    ProbeResult full = importRecord();
    full.strings = {std::string(4999, 's'), std::string(4999, 's')};
    EXPECT_TRUE(decoded(encoded(full), &reply));
    ProbeResult failed;
    failed.loadError = 126;
    EXPECT_TRUE(decoded(encoded(failed), &reply));
}

TEST(WorkerProtocol, TheBlockShowsOnlyWholePublishedLinesOfProbeSize)
{
    std::unique_ptr<SharedLines> block(new SharedLines());
    std::vector<std::string> lines;
    ASSERT_TRUE(appendSharedLine(block.get(), ""));
    ASSERT_TRUE(appendSharedLine(block.get(), "プラグイン  a.dll"));
    // A line longer than the probe's is cut at a whole character: 150 double-byte characters.
    std::string wide;
    for (int i = 0; i < 150; ++i)
        wide += "あ";
    ASSERT_TRUE(appendSharedLine(block.get(), wide.c_str()));
    ASSERT_TRUE(sharedLines(block.get(), &lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "プラグイン  a.dll");
    EXPECT_EQ(lines[2], wide.substr(0, 298));

    // A line being written, its bytes there and its length not yet published, is not shown;
    // nor is a fragment that a published length cuts off.
    const LONG whole = block->committed;
    block->data[whole] = 4;
    block->data[whole + 1] = 0;
    std::memcpy(block->data + whole + 2, "half", 4);
    ASSERT_TRUE(sharedLines(block.get(), &lines));
    EXPECT_EQ(lines.size(), 3u);
    block->committed = whole + 3;
    ASSERT_TRUE(sharedLines(block.get(), &lines));
    EXPECT_EQ(lines.size(), 3u);
    block->committed = whole + 6;
    ASSERT_TRUE(sharedLines(block.get(), &lines));
    EXPECT_EQ(lines.back(), "half");

    // What the probe cannot have written: a line of 300 bytes, a NUL inside one, a length past
    // the block. The lines before stay readable.
    block->data[whole] = static_cast<char>(300 & 0xFF);
    block->data[whole + 1] = static_cast<char>(300 >> 8);
    block->committed = whole + 302;
    EXPECT_FALSE(sharedLines(block.get(), &lines));
    EXPECT_EQ(lines.size(), 3u);
    block->data[whole] = 4;
    block->data[whole + 1] = 0;
    block->data[whole + 3] = 0;
    block->committed = whole + 6;
    EXPECT_FALSE(sharedLines(block.get(), &lines));
    block->committed = sizeof block->data + 1;
    EXPECT_FALSE(sharedLines(block.get(), &lines));

    // The record answers the request it was published for, and only once whole.
    ProbeResult record;
    EXPECT_FALSE(sharedRecord(block.get(), 7, &record));
    FieldsOf source(importRecord());
    publishSharedRecord(block.get(), 7, source.fields);
    ASSERT_TRUE(sharedRecord(block.get(), 7, &record));
    EXPECT_EQ(record.pname, "画像読み込み");
    EXPECT_FALSE(sharedRecord(block.get(), 8, &record));
    block->recordSize -= 1;
    EXPECT_FALSE(sharedRecord(block.get(), 7, &record));
}

}  // namespace
