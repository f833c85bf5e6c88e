// HART-IP version 1 messages. Byte images written out from the message
// layout: version, type, id, status, sequence (2), byte count (2), body.

#include "hart/hartip.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using hart_test::hex;
namespace ip = hart::ip;

TEST(HartIpEncode, RequestsAsTheyGoOnTheWire) {
    struct Row {
        const char* what;
        ip::Message message;
        const char* bytes;
    };
    const std::vector<Row> rows{
        {"session initiate, primary host, 60 s", ip::sessionInitiateRequest(1),
         "01 00 00 00 00 01 00 0D 01 00 00 EA 60"},
        {"session initiate, 1 s", ip::sessionInitiateRequest(0xABCD, 1000),
         "01 00 00 00 AB CD 00 0D 01 00 00 03 E8"},
        {"session close", ip::request(ip::MessageId::SessionClose, 2), "01 00 01 00 00 02 00 08"},
        {"keep-alive", ip::request(ip::MessageId::KeepAlive, 0x1234), "01 00 02 00 12 34 00 08"},
        {"command 0 PDU, preambles dropped",
         ip::pduRequest(3, hex("FF FF FF FF FF 02 80 00 00 82")),
         "01 00 03 00 00 03 00 0D 02 80 00 00 82"},
        {"PDU without preambles is taken as it is", ip::pduRequest(0xFFFF, hex("02 80 00 00 82")),
         "01 00 03 00 FF FF 00 0D 02 80 00 00 82"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ip::encode(row.message), hex(row.bytes)) << row.what;
}

TEST(HartIpEncode, ByteCountComesFromTheBodyAndIsSixteenBits) {
    ip::Message m{{1, ip::MessageType::Response, ip::MessageId::HartPdu, 0, 7, 0}, {}};
    m.body.assign(300, 0xAA);
    const auto bytes = ip::encode(m);
    ASSERT_EQ(bytes.size(), 308u);
    EXPECT_EQ(bytes[6], 0x01); // 308 = 0x0134
    EXPECT_EQ(bytes[7], 0x34);
    m.body.assign(0xFFFF - 8, 0x00);
    EXPECT_EQ(ip::encode(m).size(), 0xFFFFu);
    m.body.push_back(0x00);
    EXPECT_THROW(ip::encode(m), std::length_error);
}

TEST(HartIpDecode, WholeMessagesOnly) {
    struct Row {
        const char* what;
        const char* bytes;
        bool decodes;
    };
    const std::vector<Row> rows{
        {"header only", "01 01 02 00 00 09 00 08", true},
        {"header and body", "01 01 00 08 00 01 00 0D 01 00 00 75 30", true},
        {"empty", "", false},
        {"seven bytes", "01 01 02 00 00 09 00", false},
        {"byte count below the header", "01 01 02 00 00 09 00 07", false},
        {"byte count zero", "01 01 02 00 00 09 00 00", false},
        {"body shorter than the count", "01 01 00 08 00 01 00 0D 01 00 00 75", false},
        {"bytes past the count", "01 01 02 00 00 09 00 08 00", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ip::decode(hex(row.bytes)).has_value(), row.decodes) << row.what;
}

TEST(HartIpDecode, FieldsOfASessionInitiateResponse) {
    // Response, session initiate, status 8 (the server chose 30 s), sequence 1.
    const auto m = ip::decode(hex("01 01 00 08 00 01 00 0D 01 00 00 75 30"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->header.version, 1);
    EXPECT_EQ(m->header.type, ip::MessageType::Response);
    EXPECT_EQ(m->header.id, ip::MessageId::SessionInitiate);
    EXPECT_EQ(m->header.status, 8);
    EXPECT_EQ(m->header.sequence, 1);
    EXPECT_EQ(m->header.byteCount, 13);
    const auto body = ip::decodeSessionInitiate(m->body);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->hostType, 1);
    EXPECT_EQ(body->inactivityCloseTime, 30000u);
    EXPECT_FALSE(ip::decodeSessionInitiate(hex("01 00 00 75")));

    // NAK to a PDU, sequence 0x8001: values come back as sent, even unknown ones.
    const auto nak = ip::decodeHeader(hex("01 0F 03 05 80 01 00 08"));
    ASSERT_TRUE(nak);
    EXPECT_EQ(nak->type, ip::MessageType::Nak);
    EXPECT_EQ(nak->id, ip::MessageId::HartPdu);
    EXPECT_EQ(nak->status, 5);
    EXPECT_EQ(nak->sequence, 0x8001);
    const auto odd = ip::decodeHeader(hex("02 07 09 00 00 00 00 08"));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->version, 2);
    EXPECT_EQ(static_cast<int>(odd->type), 7);
    EXPECT_EQ(static_cast<int>(odd->id), 9);
}

TEST(HartIpSessionStatus, MeaningsAndWhichOnesStillOpenTheSession) {
    using ip::Severity;
    struct Row {
        std::uint8_t code;
        Severity severity;
        const char* text;
    };
    const std::vector<Row> rows{
        {0, Severity::Success, "success"},
        {2, Severity::Error, "invalid selection (host type)"},
        {5, Severity::Error, "too few data bytes received"},
        {8, Severity::Warning, "set to nearest possible value (inactivity close time)"},
        {14, Severity::Error, "version not supported"},
        {15, Severity::Error, "too many sessions"},
        {16, Severity::Error, "access restricted"},
        {1, Severity::Error, "status 1"},
        {200, Severity::Error, "status 200"},
    };
    for (const Row& row : rows) {
        const ip::StatusMeaning m = ip::sessionInitiateStatus(row.code);
        EXPECT_EQ(m.severity, row.severity) << int(row.code);
        EXPECT_EQ(m.text, row.text) << int(row.code);
    }
}

// A keep-alive response, a PDU response and a session-close response, back to back.
const char* kStream = "01 01 02 00 00 01 00 08 "
                      "01 01 03 00 00 02 00 0F 06 80 00 02 40 00 C4 "
                      "01 01 01 00 00 03 00 08";

std::vector<std::uint16_t> sequences(const std::vector<ip::Message>& messages) {
    std::vector<std::uint16_t> seq;
    for (const ip::Message& m : messages)
        seq.push_back(m.header.sequence);
    return seq;
}

TEST(HartIpStream, MessagesComeOutWhateverTheSplit) {
    const auto stream = hex(kStream);
    const std::span<const std::uint8_t> all(stream);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        ip::StreamReassembler r;
        auto messages = r.feed(all.first(cut));
        const auto more = r.feed(all.subspan(cut));
        messages.insert(messages.end(), more.begin(), more.end());
        EXPECT_EQ(sequences(messages), (std::vector<std::uint16_t>{1, 2, 3})) << "cut " << cut;
        EXPECT_EQ(r.pending(), 0u);
        EXPECT_FALSE(r.broken());
        ASSERT_EQ(messages.size(), 3u);
        EXPECT_EQ(messages[1].body, hex("06 80 00 02 40 00 C4"));
        EXPECT_EQ(messages[2].header.id, ip::MessageId::SessionClose);
    }
}

TEST(HartIpStream, ByteByByte) {
    const auto stream = hex(kStream);
    ip::StreamReassembler r;
    std::vector<ip::Message> messages;
    std::vector<std::size_t> completedAt;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        const auto out = r.feed(std::span(stream).subspan(i, 1));
        if (!out.empty()) completedAt.push_back(i);
        messages.insert(messages.end(), out.begin(), out.end());
    }
    EXPECT_EQ(completedAt, (std::vector<std::size_t>{7, 22, 30}));
    EXPECT_EQ(sequences(messages), (std::vector<std::uint16_t>{1, 2, 3}));
}

TEST(HartIpStream, ByteCountBelowTheHeaderBreaksTheStream) {
    ip::StreamReassembler r;
    // One good message, then a header claiming 7 bytes.
    const auto out = r.feed(hex("01 01 02 00 00 01 00 08 01 01 02 00 00 02 00 07 00"));
    EXPECT_EQ(sequences(out), (std::vector<std::uint16_t>{1}));
    EXPECT_TRUE(r.broken());
    EXPECT_TRUE(r.feed(hex("01 01 02 00 00 03 00 08")).empty());

    ip::StreamReassembler partial;
    EXPECT_TRUE(partial.feed(hex("01 01 02 00 00 01 00")).empty());
    EXPECT_FALSE(partial.broken());
    EXPECT_EQ(partial.pending(), 7u);
    EXPECT_TRUE(partial.feed(hex("00")).empty()); // byte count 0
    EXPECT_TRUE(partial.broken());
}

} // namespace
