// HART-IP messages. Byte images written out from the message layout:
// version, type, id, status, sequence (2), byte count (2), body.

#include "hart/hartip.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

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
        {"version 2 session initiate", ip::sessionInitiateRequest(1, 60000, ip::kSecureVersion),
         "02 00 00 00 00 01 00 0D 01 00 00 EA 60"},
        {"version 2 PDU", ip::pduRequest(4, hex("FF 02 80 00 00 82"), ip::kSecureVersion),
         "02 00 03 00 00 04 00 0D 02 80 00 00 82"},
        {"read audit log, records 0-3",
         ip::request(ip::MessageId::ReadAuditLog, 5, ip::encodeAuditLogRequest(0, 4), 2),
         "02 00 05 00 00 05 00 0A 00 04"},
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
        {9, Severity::Error, "security not initialized (the server has no keys yet)"},
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

// The sequence numbers of the well-formed messages, and "x" where one was dropped.
std::vector<std::string> sequences(const std::vector<ip::StreamItem>& items) {
    std::vector<std::string> seq;
    for (const ip::StreamItem& item : items)
        seq.push_back(item.message ? std::to_string(item.message->header.sequence) : "x");
    return seq;
}
using Seq = std::vector<std::string>;

TEST(HartIpStream, MessagesComeOutWhateverTheSplit) {
    const auto stream = hex(kStream);
    const std::span<const std::uint8_t> all(stream);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        ip::StreamReassembler r;
        auto messages = r.feed(all.first(cut));
        const auto more = r.feed(all.subspan(cut));
        messages.insert(messages.end(), more.begin(), more.end());
        EXPECT_EQ(sequences(messages), (Seq{"1", "2", "3"})) << "cut " << cut;
        EXPECT_EQ(r.pending(), 0u);
        EXPECT_FALSE(r.broken());
        ASSERT_EQ(messages.size(), 3u);
        EXPECT_EQ(messages[1].message->body, hex("06 80 00 02 40 00 C4"));
        EXPECT_EQ(messages[2].message->header.id, ip::MessageId::SessionClose);
    }
}

TEST(HartIpStream, ByteByByte) {
    const auto stream = hex(kStream);
    ip::StreamReassembler r;
    std::vector<ip::StreamItem> messages;
    std::vector<std::size_t> completedAt;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        const auto out = r.feed(std::span(stream).subspan(i, 1));
        if (!out.empty()) completedAt.push_back(i);
        messages.insert(messages.end(), out.begin(), out.end());
    }
    EXPECT_EQ(completedAt, (std::vector<std::size_t>{7, 22, 30}));
    EXPECT_EQ(sequences(messages), (Seq{"1", "2", "3"}));
}

TEST(HartIpStream, ByteCountBelowTheHeaderBreaksTheStream) {
    ip::StreamReassembler r;
    // One good message, then a header claiming 7 bytes.
    const auto out = r.feed(hex("01 01 02 00 00 01 00 08 01 01 02 00 00 02 00 07 00"));
    EXPECT_EQ(sequences(out), (Seq{"1"}));
    EXPECT_TRUE(r.broken());
    EXPECT_TRUE(r.feed(hex("01 01 02 00 00 03 00 08")).empty());

    ip::StreamReassembler partial;
    EXPECT_TRUE(partial.feed(hex("01 01 02 00 00 01 00")).empty());
    EXPECT_FALSE(partial.broken());
    EXPECT_EQ(partial.pending(), 7u);
    EXPECT_TRUE(partial.feed(hex("00")).empty()); // byte count 0
    EXPECT_TRUE(partial.broken());
}

TEST(HartIpFrameLength, FromTheFramesOwnHeader) {
    struct Row {
        const char* what;
        const char* pdu;
        std::optional<std::size_t> length;
    };
    const std::vector<Row> rows{
        {"short request, no data", "02 80 00 00 82", 5},
        {"short reply, 2 bytes", "06 80 00 02 40 00", 7},
        {"long reply, 3 bytes", "86 A6 05 01 02 03 03 03 00 00 41", 12},
        {"long burst, 1 expansion byte", "A1 A6 05 01 02 03 00 03 02", 12},
        {"cut before the byte count", "86 A6 05 01 02 03", std::nullopt},
        {"no frame type", "05 80 00 00", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ip::hartFrameLength(hex(row.pdu)), row.length) << row.what;
}

TEST(HartIpMalformed, VersionAndPduByteCount) {
    struct Row {
        const char* what;
        const char* message;
        std::uint8_t session;
        const char* reason; // part of it; empty: well formed
    };
    const std::vector<Row> rows{
        {"v1 keep-alive answer in v1", "01 01 02 00 00 01 00 08", 1, ""},
        {"v2 keep-alive answer in v1", "02 01 02 00 00 01 00 08", 1, "version 2 in a version 1"},
        {"v1 answer in v2", "01 01 02 00 00 01 00 08", 2, "version 1 in a version 2"},
        {"version 0", "00 01 03 00 00 01 00 0F 06 80 00 02 40 00 C4", 1, "version 0"},
        {"version 0x47", "47 01 00 00 00 01 00 0D 01 00 00 EA 60", 1, "version 71"},
        {"PDU that fits", "01 01 03 00 00 02 00 0F 06 80 00 02 40 00 C4", 1, ""},
        {"PDU count two too large", "01 01 03 00 00 02 00 11 06 80 00 02 40 00 C4 01 01", 1,
         "byte count 17 disagrees with the HART frame it carries (7 bytes"},
        {"PDU count one too small", "01 01 03 00 00 02 00 0E 06 80 00 02 40 00", 1,
         "byte count 14 disagrees"},
        {"PDU cut before its byte count", "01 01 03 00 00 02 00 0B 06 80 00", 1, "cut before"},
        {"PDU without a body is left to the link", "01 01 03 10 00 02 00 08", 1, ""},
    };
    for (const Row& row : rows) {
        const auto m = ip::decode(hex(row.message));
        ASSERT_TRUE(m) << row.what;
        const auto why = ip::malformation(*m, row.session);
        if (std::string(row.reason).empty()) {
            EXPECT_FALSE(why) << row.what << ": " << why.value_or("");
        } else {
            ASSERT_TRUE(why) << row.what;
            EXPECT_NE(why->find(row.reason), std::string::npos) << row.what << ": " << *why;
        }
    }
    // A server before the initiate takes either version, but never 0.
    EXPECT_FALSE(ip::malformation(*ip::decode(hex("02 00 00 00 00 01 00 08")), std::nullopt));
    EXPECT_TRUE(ip::malformation(*ip::decode(hex("00 00 00 00 00 01 00 08")), std::nullopt));
}

TEST(HartIpStream, AMalformedPduIsDroppedAndTheStreamGoesOnWhereItsFrameEnds) {
    struct Row {
        const char* what;
        const char* stream;
        Seq items;
        bool broken;
    };
    // The PDU response (sequence 2) carries the 7-byte frame 06 80 00 02 40 00 C4;
    // a keep-alive response (sequence 3) follows it.
    const std::vector<Row> rows{
        {"count right",
         "01 01 03 00 00 02 00 0F 06 80 00 02 40 00 C4 01 01 02 00 00 03 00 08",
         {"2", "3"},
         false},
        {"count 3 too large: the keep-alive answer is not swallowed",
         "01 01 03 00 00 02 00 12 06 80 00 02 40 00 C4 01 01 02 00 00 03 00 08",
         {"x", "3"},
         false},
        {"count 2 too small: the frame's rest is not read as a header",
         "01 01 03 00 00 02 00 0D 06 80 00 02 40 00 C4 01 01 02 00 00 03 00 08",
         {"x", "3"},
         false},
        {"v2 message in a v1 stream is dropped, the next one read",
         "02 01 02 00 00 01 00 08 01 01 02 00 00 03 00 08",
         {"x", "3"},
         false},
        {"after the frame's end comes no header",
         "01 01 03 00 00 02 00 12 06 80 00 02 40 00 C4 "
         "55 55 55 55 55 55 55 55 55 55",
         {"x"},
         true},
    };
    for (const Row& row : rows) {
        const auto bytes = hex(row.stream);
        for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
            ip::StreamReassembler r;
            auto items = r.feed(std::span(bytes).first(cut));
            const auto more = r.feed(std::span(bytes).subspan(cut));
            items.insert(items.end(), more.begin(), more.end());
            EXPECT_EQ(sequences(items), row.items) << row.what << ", cut " << cut;
            EXPECT_EQ(r.broken(), row.broken) << row.what << ", cut " << cut;
            if (!row.broken) {
                EXPECT_EQ(r.pending(), 0u) << row.what << ", cut " << cut;
            }
        }
    }
}

TEST(HartIpDirectPdu, RequestAndResponseAsWorkedByHand) {
    // Commands 0 (no data), 48 (no data) and 1288 = 0x0508 (2 data bytes).
    const std::vector<ip::DirectCommand> commands{{0, {}}, {48, {}}, {0x0508, {0xAB, 0xCD}}};
    EXPECT_EQ(ip::encodeDirectPdu(commands), hex("00 00  00 00 00  00 30 00  05 08 02 AB CD"));
    const auto back = ip::decodeDirectPduRequest(hex("00 00  00 00 00  00 30 00  05 08 02 AB CD"));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 3u);
    EXPECT_EQ((*back)[2].command, 0x0508);
    EXPECT_EQ((*back)[2].data, hex("AB CD"));

    // Device status 0x40, extended 0x02; command 0 answered (rc 0, 3 data
    // bytes), command 48 refused (rc 64, no data).
    const auto r = ip::decodeDirectPduResponse(hex("40 02  00 00 04 00 FE 26 07  00 30 01 40"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->deviceStatus, 0x40);
    EXPECT_EQ(r->extendedStatus, 0x02);
    ASSERT_EQ(r->replies.size(), 2u);
    EXPECT_EQ(r->replies[0].command, 0);
    EXPECT_EQ(r->replies[0].responseCode, 0);
    EXPECT_EQ(r->replies[0].data, hex("FE 26 07"));
    EXPECT_EQ(r->replies[1].command, 48);
    EXPECT_EQ(r->replies[1].responseCode, 64);
    EXPECT_TRUE(r->replies[1].data.empty());
    EXPECT_EQ(ip::encodeDirectPduResponse(*r), hex("40 02  00 00 04 00 FE 26 07  00 30 01 40"));

    const char* broken[] = {
        "40",                   // no extended status
        "40 02 00 00",          // cut in a reply's header
        "40 02 00 00 04 00 FE", // fewer bytes than the count says
        "40 02 00 00 00",       // no room for the response code
    };
    for (const char* b : broken)
        EXPECT_FALSE(ip::decodeDirectPduResponse(hex(b))) << b;
    EXPECT_THROW(
        ip::encodeDirectPdu(std::vector<ip::DirectCommand>{{1, std::vector<std::uint8_t>(256)}}),
        std::length_error);
}

// One audit record as written out by hand: 192.168.0.10 port 50000 to
// server port 5094, connected at 1 700 000 000 s (0x6553F100), gone 120 s
// later, flags writes made and timed out (0x0009), change counter 7 -> 9,
// 0 publish, 12 request and 12 response PDUs.
const char* kRecord = "C0 A8 00 0A  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  C3 50  13 E6 "
                      "00 00 00 00 65 53 F1 00  00 00 00 00 65 53 F1 78  00 09  00 07  00 09 "
                      "00 00 00 00  00 00 00 0C  00 00 00 0C";
// Header: first record 3, one record, power-up 0x6553F000, security change
// 0x6553F050, server status 1, record size 58 (0x3A).
const char* kAuditHeader = "03 01  00 00 00 00 65 53 F0 00  00 00 00 00 65 53 F0 50  00 01  00 3A";

TEST(HartIpAuditLog, ResponseAsWorkedByHand) {
    const auto body = hex(std::string(kAuditHeader) + " " + kRecord);
    ASSERT_EQ(body.size(), ip::kAuditHeaderSize + ip::kAuditRecordSize);
    const auto log = ip::decodeAuditLog(body);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->firstRecord, 3);
    EXPECT_EQ(log->powerUpTime, 0x6553F000u);
    EXPECT_EQ(log->lastSecurityChange, 0x6553F050u);
    EXPECT_EQ(log->serverStatus, 1);
    ASSERT_EQ(log->records.size(), 1u);
    const ip::AuditRecord& r = log->records[0];
    EXPECT_EQ(r.clientIpv4, (std::array<std::uint8_t, 4>{192, 168, 0, 10}));
    EXPECT_EQ(r.clientPort, 50000);
    EXPECT_EQ(r.serverPort, 5094);
    EXPECT_EQ(r.connectTime, 1'700'000'000u);
    EXPECT_EQ(r.disconnectTime, 1'700'000'120u);
    EXPECT_EQ(r.sessionStatus, 0x0009);
    EXPECT_EQ(r.startConfigurationCounter, 7);
    EXPECT_EQ(r.endConfigurationCounter, 9);
    EXPECT_EQ(r.publishPdus, 0u);
    EXPECT_EQ(r.requestPdus, 12u);
    EXPECT_EQ(r.responsePdus, 12u);
    EXPECT_EQ(ip::encodeAuditLog(*log), body);

    // A server with longer records (two unknown bytes each): read by its size.
    const auto longer =
        hex("03 02  00 00 00 00 65 53 F0 00  00 00 00 00 65 53 F0 50  00 01  00 3C " +
            std::string(kRecord) + " EE EE " + kRecord + " EE EE");
    const auto two = ip::decodeAuditLog(longer);
    ASSERT_TRUE(two);
    ASSERT_EQ(two->records.size(), 2u);
    EXPECT_EQ(two->records[1].responsePdus, 12u);
    EXPECT_EQ(two->records[1].clientPort, 50000);

    // Cut: a record claimed but not all there; a record size below 58.
    auto cut = body;
    cut.pop_back();
    EXPECT_FALSE(ip::decodeAuditLog(cut));
    auto small = body;
    small[21] = 0x39;
    EXPECT_FALSE(ip::decodeAuditLog(small));
    EXPECT_FALSE(ip::decodeAuditLog(hex("00 00 00")));
}

TEST(HartIpAuditLog, SessionStatusInWords) {
    struct Row {
        std::uint16_t flags;
        const char* text;
    };
    const std::vector<Row> rows{
        {0x0000, "none"},
        {0x0001, "writes made"},
        {0x0009, "writes made, timed out"},
        {0x001F, "writes made, bad session initiate, aborted, timed out, insecure session"},
        {0x0014, "aborted, insecure session"},
        {0x8002, "bad session initiate, bit 0x8000"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ip::sessionStatusText(row.flags), row.text) << row.flags;
}

} // namespace
