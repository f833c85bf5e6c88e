// Locating replies in the receive area, and judging write replies.

#include "hart/reply.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using hart::LinkBuffer;
using hart_test::hex;

// What the receive handler does with a chunk: copy it to byte 0 (older bytes
// past its end stay) and return the scan limit L = length - 4.
int receive(LinkBuffer& b, const std::vector<std::uint8_t>& chunk) {
    std::copy(chunk.begin(), chunk.end(), b.begin());
    return static_cast<int>(chunk.size()) - 4;
}

std::optional<int> locateChunk(const std::string& bytes, const hart::Scan& scan) {
    LinkBuffer b{};
    const int L = receive(b, hex(bytes));
    return hart::locate(b, L, scan);
}

// Long reply to command 3: address 26 05 01 02 03, byte count 6, status 00 00,
// data 41 A0 00 00.
constexpr const char* kReply = "FF FF FF 86 26 05 01 02 03 03 06 00 00 41 A0 00 00";

struct LocateRow {
    const char* what;
    std::string bytes;
    hart::Scan scan;
    std::optional<int> expected;
};

class Locate : public ::testing::TestWithParam<LocateRow> {};

TEST_P(Locate, FirstMatchingPositionWithinTheTriedRange) {
    const LocateRow& row = GetParam();
    EXPECT_EQ(locateChunk(row.bytes, row.scan), row.expected) << row.what;
}

const std::string kGarbage = "12 FF 34 86 FF ";

INSTANTIATE_TEST_SUITE_P(
    Scans, Locate,
    ::testing::Values(
        LocateRow{"last preamble at index 2", kReply, hart::kStandardScan, 2},
        LocateRow{"garbage before the preambles", kGarbage + kReply, hart::kStandardScan, 7},
        LocateRow{"FF 86 inside the data is never reached",
                  "FF 86 26 05 01 02 03 03 06 00 00 FF 86 00 00", hart::kStandardScan, 0},
        LocateRow{"a short reply is no long reply", "FF FF 06 80 00 0E 00 00", hart::kStandardScan,
                  std::nullopt},
        LocateRow{"exactly four bytes: L = 0 tries position 0", "FF 86 00 00", hart::kStandardScan,
                  0},
        LocateRow{"three bytes: L < 0 tries nothing", "FF 86 00", hart::kStandardScan,
                  std::nullopt},
        LocateRow{"match at L = length - 4", "00 00 FF 86 00 00", hart::kStandardScan, 2},
        LocateRow{"match at length - 3 is past L", "00 00 00 FF 86 00", hart::kStandardScan,
                  std::nullopt},
        LocateRow{"device-ID query finds the short reply at 0", "FF 06 80 00 0E 00 00",
                  hart::kShortStandardScan, 0},
        LocateRow{"device-ID query ignores long replies", kReply, hart::kShortStandardScan,
                  std::nullopt},
        LocateRow{"discovery skips position 0", "FF 06 80 00 0E 00 00", hart::kDiscoveryScan,
                  std::nullopt},
        LocateRow{"discovery finds position 1", "FF FF 06 80 00 0E 00 00", hart::kDiscoveryScan, 1},
        LocateRow{"discovery with L = 0 tries nothing", "00 FF 06 00", hart::kDiscoveryScan,
                  std::nullopt},
        LocateRow{"discovery with L = 1 tries position 1", "00 FF 06 00 00", hart::kDiscoveryScan,
                  1},
        // 644 sensor query: command 31 and byte count 13 at the anchor.
        LocateRow{"1181 skips a long reply of another command",
                  "FF 86 26 05 01 02 03 03 0D 00 00 FF 86 26 05 01 02 03 1F 0D 00 00 00 00",
                  hart::kRosemount644SensorScan, 11},
        LocateRow{"1181 refuses byte count 12", "FF 86 26 05 01 02 03 1F 0C 00 00 00 00",
                  hart::kRosemount644SensorScan, std::nullopt},
        LocateRow{"1181 accepts command 31, byte count 13",
                  "FF FF 86 26 05 01 02 03 1F 0D 00 00 00 00", hart::kRosemount644SensorScan, 1},
        // KROHNE and ABB reads: byte count 14 / 6, window 0..10.
        LocateRow{"521 skips a byte count other than 14",
                  "FF 86 45 05 01 02 03 82 06 00 00 FF 86 45 05 01 02 03 82 0E 00 00",
                  hart::kKrohneReadScan, std::nullopt},
        LocateRow{"521 accepts byte count 14 inside the window",
                  "00 00 00 00 00 00 FF 86 45 05 01 02 03 82 0E 00 00", hart::kKrohneReadScan, 6},
        LocateRow{"525 accepts byte count 6", "FF FF 86 1A 05 01 02 03 BE 06 00 00 01 02",
                  hart::kAbbReadScan, 1},
        LocateRow{"525 refuses byte count 14", "FF FF 86 1A 05 01 02 03 BE 0E 00 00 01 02",
                  hart::kAbbReadScan, std::nullopt},
        LocateRow{"fixed window reaches position 10",
                  "00 00 00 00 00 00 00 00 00 00 FF 86 00 00 00 00 00 00 00 00 00 00",
                  hart::kFixedWindowScan, 10},
        LocateRow{"fixed window stops at position 10 whatever L is",
                  "00 00 00 00 00 00 00 00 00 00 00 FF 86 00 00 00 00 00 00 00 00 00",
                  hart::kFixedWindowScan, std::nullopt}),
    [](const ::testing::TestParamInfo<LocateRow>& info) {
        return "Row" + std::to_string(info.index);
    });

// Bytes past the new chunk's end keep an older reception. The standard scan
// stops at L, so it never finds the stale reply; the fixed window does, even
// when fewer than four new bytes arrived.
TEST(LocateStale, OnlyTheFixedWindowSeesAnOlderReply) {
    LinkBuffer b{};
    receive(b, hex("00 00 00 00 00 FF 86 45 05 01 02 03 91 06 00 00 01 02"));
    const int L = receive(b, hex("00 00 00"));
    ASSERT_LT(L, 0);
    EXPECT_EQ(hart::locate(b, L, hart::kStandardScan), std::nullopt);
    EXPECT_EQ(hart::locate(b, L, hart::kFixedWindowScan), 5);

    const int L2 = receive(b, hex("00 00 00 00 00"));
    EXPECT_EQ(hart::locate(b, L2, hart::kStandardScan), std::nullopt);
    EXPECT_EQ(hart::locate(b, L2, hart::kFixedWindowScan), 5);
}

// A scan limit larger than any reception can give (at most 255 bytes, so L <=
// 251) must not let the scan wander into the caches behind the receive area.
TEST(LocateBounds, ScanLimitIsCappedAtTheLargestReception) {
    LinkBuffer b{};
    b[300] = 0xFF;
    b[301] = 0x86;
    EXPECT_EQ(hart::locate(b, 1000), std::nullopt);
    b[251] = 0xFF;
    b[252] = 0x86;
    EXPECT_EQ(hart::locate(b, 1000), 251);
    EXPECT_EQ(hart::locate(b, 250), std::nullopt);
}

// Every cut-short version of a valid reply: the scan either finds the true
// anchor or nothing, and a write result then says "Write failed!".
TEST(LocateTruncation, EveryPrefixOfAReplyFailsCleanlyOrFindsTheAnchor) {
    struct Row {
        const char* what;
        std::string reply;
        hart::Scan scan;
        int anchor;
        std::size_t minLength; // shortest cut that still shows the anchor
    };
    const std::vector<Row> rows{
        {"long", kGarbage + kReply, hart::kStandardScan, 7, 11},
        {"short", "00 FF FF 06 80 00 0E 00 00 FE 26 05", hart::kDiscoveryScan, 2, 6},
        {"device-ID", "FF 06 80 00 0E 00 00 FE 26 05", hart::kShortStandardScan, 0, 4},
        // The byte count at K+8 must have arrived too.
        {"1181", "FF FF 86 26 05 01 02 03 1F 0D 00 00 04 01", hart::kRosemount644SensorScan, 1, 10},
    };
    for (const Row& row : rows) {
        const auto whole = hex(row.reply);
        for (std::size_t n = 0; n <= whole.size(); ++n) {
            LinkBuffer b{};
            const int L = receive(b, {whole.begin(), whole.begin() + static_cast<long>(n)});
            const std::optional<int> expected =
                n >= row.minLength ? std::optional<int>(row.anchor) : std::nullopt;
            EXPECT_EQ(hart::locate(b, L, row.scan), expected) << row.what << " cut to " << n;
        }
    }
    const auto whole = hex(kReply);
    for (std::size_t n = 0; n < 6; ++n) {
        LinkBuffer b{};
        const int L = receive(b, {whole.begin(), whole.begin() + static_cast<long>(n)});
        EXPECT_EQ(hart::writeResult(b, L + 4), "Write failed!") << "cut to " << n;
    }
}

TEST(ResponseCode, EveryCodeHasItsMessage) {
    const std::map<int, std::string> named{
        {0, "Write successful!"},
        {1, "Write failed!Instruction not defined!"},
        {3, "Write failed!The parameter is too large!"},
        {4, "Write failed!The parameter is too small!"},
        {5, "Write failed!Too little data received!"},
        {6, "Write failed!Sending instruction error!"},
        {7, "Write failed!Write protected!"},
        {8, "Write failed!Invalid parameter settings!"},
        {9, "Write failed!Invalid parameter settings!"},
        {16, "Write failed!Invalid parameter settings!"},
    };
    for (int code = 0; code <= 255; ++code) {
        const auto it = named.find(code);
        const std::string expected =
            it != named.end() ? it->second : "Write failed!The channel is restricted!";
        const auto byte = static_cast<std::uint8_t>(code);
        EXPECT_EQ(hart::responseCodeMessage(byte), expected) << "code " << code;
        if (code != 12) {
            EXPECT_EQ(hart::responseCodeMessage(byte, true), expected) << "KROHNE code " << code;
        }
    }
    EXPECT_EQ(hart::responseCodeMessage(12), "Write failed!The channel is restricted!");
    EXPECT_EQ(hart::responseCodeMessage(12, true), "Write failed!Invalid parameter settings");
}

TEST(WriteResult, MessageOfTheResponseCodeAtKPlus9) {
    struct Row {
        std::string chunk;
        bool krohne;
        const char* expected;
    };
    const std::vector<Row> rows{
        {"FF FF FF 86 26 05 01 02 03 2C 03 00 00 20 AA", false, "Write successful!"},
        {kGarbage + "FF FF 86 26 05 01 02 03 2C 03 07 00 20 AD", false,
         "Write failed!Write protected!"},
        {"FF 86 26 05 01 02 03 2C 03 02 00 20 A8", false, "Write failed!The channel is restricted!"},
        {"FF 86 26 05 01 02 03 2C 03 80 00 20 2A", false, "Write failed!The channel is restricted!"},
        {"FF 86 45 05 01 02 03 83 02 0C 00 4B", true, "Write failed!Invalid parameter settings"},
        {"FF 86 45 05 01 02 03 83 02 0C 00 4B", false, "Write failed!The channel is restricted!"},
        {"FF FF FF 06 80 00 03 00 00", false, "Write failed!"}, // short reply only
        {"FF 86 00", false, "Write failed!"},
        // A reply that fails its own checks is not judged by its response code.
        {"FF 86 26 05 01 02 03 2C 03 00 00 20 AB", false, "Write failed! (reply checksum wrong)"},
        {"FF 86 26 05 01 02 03 2C 03 00 00 20", false,
         "Write failed! (reply byte count past the bytes received)"},
        {"FF 86 26 05 01 02 03 2C 03 00", false,
         "Write failed! (reply byte count past the bytes received)"},
        {"FF 86 26 05 01 02 03 2C 00 89", false, "Write failed! (reply without status bytes)"},
        // Two status bytes and no data: the response code is all a write needs.
        {"FF 86 26 05 01 02 03 27 02 40 00 C0", false, "Write failed!The channel is restricted!"},
    };
    for (const Row& row : rows) {
        LinkBuffer b{};
        const int L = receive(b, hex(row.chunk));
        EXPECT_EQ(hart::writeResult(b, L + 4, row.krohne), row.expected) << row.chunk;
    }
}

// Every cut of a good reply fails the checks until the checksum is in; a
// byte changed anywhere from the delimiter on is caught by the checksum or
// the byte count. Stale bytes past the chunk never complete a reply.
TEST(CheckReply, CutsAndCorruptions) {
    const auto whole = hex("FF FF 86 26 05 01 02 03 02 0A 00 00 41 40 00 00 42 48 00 00 A6");
    constexpr int K = 1;
    for (std::size_t n = 3; n <= whole.size(); ++n) {
        LinkBuffer b{};
        std::fill(b.begin(), b.end(), 0x00);
        std::copy(whole.begin(), whole.end(), b.begin()); // the rest stands as stale bytes
        const auto expected =
            n == whole.size() ? hart::ReplyDefect::None : hart::ReplyDefect::PastReceived;
        EXPECT_EQ(hart::checkReply(b, K, hart::kLongReply, static_cast<int>(n)), expected) << n;
    }
    for (std::size_t i = K + 1; i < whole.size(); ++i) {
        LinkBuffer b{};
        std::copy(whole.begin(), whole.end(), b.begin());
        b[i] ^= 0x10;
        const auto defect = hart::checkReply(b, K, hart::kLongReply, static_cast<int>(whole.size()));
        EXPECT_NE(defect, hart::ReplyDefect::None) << "byte " << i;
    }
    LinkBuffer b{};
    std::copy(whole.begin(), whole.end(), b.begin());
    EXPECT_EQ(hart::dataBytesOf(b, K, hart::kLongReply), 8);
    // Short replies count from K+4.
    const auto shortReply = hex("FF 06 80 00 02 40 00 C4");
    std::copy(shortReply.begin(), shortReply.end(), b.begin());
    EXPECT_EQ(hart::checkReply(b, 0, hart::kShortReply, static_cast<int>(shortReply.size())),
              hart::ReplyDefect::None);
    EXPECT_EQ(hart::dataBytesOf(b, 0, hart::kShortReply), 0);
}

} // namespace
