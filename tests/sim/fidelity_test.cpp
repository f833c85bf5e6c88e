// The simulated transmitter answers as a HART field device does: writes echo
// their data, an error response carries only the two status bytes, a device
// in burst mode marks every frame it sends, a command it does not know gets
// "command not implemented", and no reply's byte count wraps. Every exchange
// goes through the real pty; expected frames are worked out by hand (the
// checksum is the XOR of the frame from the delimiter on).

#include "line_client.h"
#include "sim/reply_kit.h"
#include "sim/sim_transmitter.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using simtest::Bytes;
using simtest::hex;
using simtest::hexText;
using simtest::LineClient;

struct Exchange {
    const char* name;
    void (*prepare)(sim::SimTransmitter&); // may be null
    const char* request;                   // delimiter through checksum
    const char* reply;
};
void PrintTo(const Exchange& x, std::ostream* os) {
    *os << x.name;
}

void writeProtected(sim::SimTransmitter& t) {
    t.withState([](sim::SimState& s) { s.writeProtect = 1; });
}
void inBurstMode(sim::SimTransmitter& t) {
    t.withState([](sim::SimState& s) { s.burstMode = true; });
}
void answersAccessRestricted(sim::SimTransmitter& t) {
    t.setFaults({.responseCode = 16});
}
void answersUpdateWarning(sim::SimTransmitter& t) {
    t.setFaults({.responseCode = 8});
}

// Long frames go to the transmitter's unique address 26 05 01 02 03 as
// primary master (A6 = 0x80 | 0x26).
const Exchange kExchanges[] = {
    // Command 51 takes four device-variable codes and echoes them.
    {"Cmd51EchoesItsData", nullptr, "82 A6 05 01 02 03 33 04 00 01 03 05 11",
     "86 A6 05 01 02 03 33 06 00 00 00 01 03 05 17"},
    // Errors: the byte count is 2, nothing after the status bytes.
    {"Cmd51UnknownVariableOnlyStatus", nullptr, "82 A6 05 01 02 03 33 04 00 01 03 08 1C",
     "86 A6 05 01 02 03 33 02 09 00 1D"},
    {"Cmd141UnknownSensorOnlyStatus", nullptr, "82 A6 05 01 02 03 8D 03 00 FF 03 53",
     "86 A6 05 01 02 03 8D 02 02 00 A8"},
    {"Cmd34WriteProtectedOnlyStatus", writeProtected, "82 A6 05 01 02 03 22 04 3F 00 00 00 38",
     "86 A6 05 01 02 03 22 02 07 00 02"},
    {"Cmd6AddressOutOfRangeOnlyStatus", nullptr, "82 A6 05 01 02 03 06 01 14 32",
     "86 A6 05 01 02 03 06 02 02 00 23"},
    {"AccessRestrictedDropsTheData", answersAccessRestricted, "82 A6 05 01 02 03 01 00 20",
     "86 A6 05 01 02 03 01 02 10 00 36"},
    // A warning is not an error: command 1's unit and value still follow.
    {"WarningKeepsTheData", answersUpdateWarning, "82 A6 05 01 02 03 01 00 20",
     "86 A6 05 01 02 03 01 07 08 00 20 42 48 00 00 01"},
    // Command not implemented (64) with the status bytes only.
    {"UnknownCommandNotImplemented", nullptr, "82 A6 05 01 02 03 C8 00 E9",
     "86 A6 05 01 02 03 C8 02 40 00 AF"},
    {"Cmd50WithDataNotImplemented", nullptr, "82 A6 05 01 02 03 32 01 07 15",
     "86 A6 05 01 02 03 32 02 40 00 55"},
    // In burst mode the address byte carries 0x40: with the polling address
    // in a short reply, with the manufacturer bits in a long one.
    {"BurstShortReplyMarked", inBurstMode, "02 80 00 00 82",
     "06 C0 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 03 1D"},
    {"BurstLongReplyMarked", inBurstMode, "82 A6 05 01 02 03 00 00 21",
     "86 E6 05 01 02 03 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 03 BE"},
    {"BurstErrorReplyMarked", inBurstMode, "82 A6 05 01 02 03 C8 00 E9",
     "86 E6 05 01 02 03 C8 02 40 00 EF"},
    // Out of burst mode nothing is marked, and the master bit is echoed.
    {"SecondaryMasterShortReply", nullptr, "02 00 00 00 02",
     "06 00 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 03 DD"},
};

class TransmitterExchange : public ::testing::TestWithParam<Exchange> {};

TEST_P(TransmitterExchange, RepliesAsAFieldDevice) {
    const Exchange& x = GetParam();
    sim::SimTransmitter device;
    if (x.prepare) x.prepare(device);
    LineClient line(device.portPath());
    line.send(hex(x.request));
    const auto reply = line.nextReply();
    ASSERT_TRUE(reply) << "no reply to " << x.request;
    EXPECT_EQ(hexText(*reply), x.reply);
}

INSTANTIATE_TEST_SUITE_P(Rows, TransmitterExchange, ::testing::ValuesIn(kExchanges),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BurstFrames, CarryTheBurstBitAndTheChosenCommand) {
    sim::SimTransmitter device;
    LineClient line(device.portPath());
    device.withState([](sim::SimState& s) {
        s.burstCommand = 1;
        s.burstMode = true;
    });
    // Command 1 from 26 05 01 02 03, secondary master, burst bit: unit 32
    // (degC), 50.0 = 42 48 00 00.
    const auto frame = line.nextFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(hexText(*frame), "81 66 05 01 02 03 01 07 00 00 20 42 48 00 00 CE");
}

TEST(BurstFrames, CommandsSwitchBurstModeAndTheMarking) {
    sim::SimTransmitter device;
    LineClient line(device.portPath());
    // 109 with 01: burst mode on; its own reply already carries the bit.
    line.send(hex("82 A6 05 01 02 03 6D 01 01 4C"));
    auto reply = line.nextReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(hexText(*reply), "86 E6 05 01 02 03 6D 03 00 00 01 0A");
    // 109 with 00: off again, and the reply is plain.
    line.send(hex("82 A6 05 01 02 03 6D 01 00 4D"));
    reply = line.nextReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(hexText(*reply), "86 A6 05 01 02 03 6D 03 00 00 00 4B");
}

// Command 17 echoes its data. 253 data bytes still fit a byte count of 255
// with the two status bytes; 254 would wrap it, so the device refuses with
// "too few data bytes" (5) instead.
TEST(ByteCount, NeverWraps) {
    sim::SimTransmitter device;
    LineClient line(device.portPath());
    for (std::size_t size : {std::size_t{253}, std::size_t{254}}) {
        SCOPED_TRACE(size);
        Bytes data(size);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = static_cast<std::uint8_t>(0x41 + i % 26);
        Bytes request = hex("82 A6 05 01 02 03 11");
        request.push_back(static_cast<std::uint8_t>(size));
        request.insert(request.end(), data.begin(), data.end());
        line.send(simtest::withChecksum(request));

        Bytes expected = hex("86 A6 05 01 02 03 11");
        if (size == 253) {
            expected.insert(expected.end(), {0xFF, 0x00, 0x00});
            expected.insert(expected.end(), data.begin(), data.end());
        } else {
            expected.insert(expected.end(), {0x02, 0x05, 0x00});
        }
        const auto reply = line.nextReply();
        ASSERT_TRUE(reply);
        EXPECT_EQ(hexText(*reply), hexText(simtest::withChecksum(expected)));
    }
}

// Response-code classes of the HART command summary: errors carry no data,
// warnings do.
TEST(ResponseCodes, ErrorsAndWarnings) {
    struct Row {
        std::uint8_t code;
        bool error;
    };
    constexpr Row kRows[] = {
        {0, false},   {1, true},    {2, true},    {5, true},    {7, true},    {8, false},
        {9, true},    {13, true},   {14, false},  {15, true},   {16, true},   {23, true},
        {24, false},  {27, false},  {28, true},   {29, true},   {30, false},  {31, false},
        {32, true},   {33, true},   {63, true},   {64, true},   {95, true},   {96, false},
        {111, false}, {112, false}, {127, false}, {0x80, true}, {0xC2, true},
    };
    for (const Row& r : kRows)
        EXPECT_EQ(sim::isErrorResponse(r.code), r.error) << "response code " << int(r.code);
}

} // namespace
