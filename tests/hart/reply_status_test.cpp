// The status bytes the window's "Device Status:" shows: which frame of a
// received chunk counts, and the texts and severities of its two status
// bytes. Checksums below are hand-computed XORs from the delimiter on.

#include "hart/reply_status.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using hart_test::hex;

TEST(LastReplyStatus, OnlyWholeIntactRepliesAndBurstFramesCount) {
    struct Row {
        const char* what;
        std::string chunk;
        std::optional<std::uint8_t> responseCode;
        std::optional<std::uint8_t> deviceStatus;
    };
    // A: short reply to command 0, status 00 50. B: long reply to command 3,
    // status 00 20. C: the same with status 00 01. D: burst frame, status 00 80.
    const char* A = "FF FF FF FF FF 06 80 00 02 00 50 D4 ";
    const char* B = "FF FF FF FF FF 86 A6 05 01 02 03 03 02 00 20 04 ";
    const char* C = "FF FF FF FF FF 86 A6 05 01 02 03 03 02 00 01 25 ";
    const char* D = "FF FF FF FF FF 81 E6 05 01 02 03 01 07 00 80 20 41 48 00 00 CD ";
    const std::string b = B, c = C, d = D;
    const std::vector<Row> rows{
        {"short reply", A, 0x00, 0x50},
        {"long reply", B, 0x00, 0x20},
        {"burst frame", D, 0x00, 0x80},
        {"two replies: the last", b + c, 0x00, 0x01},
        {"reply then burst frame", b + d, 0x00, 0x80},
        {"noise before the reply", "00 13 " + b, 0x00, 0x20},
        {"request echoed by the modem", "FF FF FF FF FF FF 02 80 00 00 82", std::nullopt,
         std::nullopt},
        {"checksum wrong", "FF FF FF FF FF 86 A6 05 01 02 03 03 02 00 20 05", std::nullopt,
         std::nullopt},
        {"intact reply, then a damaged one", b + "FF FF 86 A6 05 01 02 03 03 02 00 01 26", 0x00,
         0x20},
        {"cut before its checksum", "FF FF FF FF FF 86 A6 05 01 02 03 03 02 00 20", std::nullopt,
         std::nullopt},
        {"cut inside its status bytes", "FF FF 86 A6 05 01 02 03 03 02 00", std::nullopt,
         std::nullopt},
        {"byte count without status bytes", "FF FF 86 A6 05 01 02 03 03 00 26", std::nullopt,
         std::nullopt},
        {"nothing but noise", "00 11 22", std::nullopt, std::nullopt},
        {"empty", "", std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        const auto status = hart::lastReplyStatus(hex(row.chunk));
        ASSERT_EQ(status.has_value(), row.responseCode.has_value()) << row.what;
        if (!status) continue;
        EXPECT_EQ(status->responseCode, *row.responseCode) << row.what;
        EXPECT_EQ(status->deviceStatus, *row.deviceStatus) << row.what;
    }
}

TEST(ReplyStatusText, DeviceStatusBitsOrACommunicationError) {
    struct Row {
        std::uint8_t responseCode;
        std::uint8_t deviceStatus;
        const char* text;
        hart::StatusSeverity severity;
        bool moreStatus;
    };
    using S = hart::StatusSeverity;
    const std::vector<Row> rows{
        {0x00, 0x00, "OK", S::Ok, false},
        {0x40, 0x00, "OK", S::Ok, false}, // "command not implemented" says nothing of the device
        {0x00, 0x80, "Device malfunction", S::Malfunction, false},
        {0x00, 0x40, "Configuration changed", S::Attention, false},
        {0x00, 0x20, "Cold start", S::Attention, false},
        {0x00, 0x10, "More status available", S::Attention, true},
        {0x00, 0x08, "Loop current fixed", S::Attention, false},
        {0x00, 0x04, "Loop current saturated", S::Attention, false},
        {0x00, 0x02, "Non-primary variable out of limits", S::Attention, false},
        {0x00, 0x01, "Primary variable out of limits", S::Attention, false},
        {0x00, 0x91, "Device malfunction, More status available, Primary variable out of limits",
         S::Malfunction, true},
        {0x00, 0xFF,
         "Device malfunction, Configuration changed, Cold start, More status available, Loop "
         "current fixed, Loop current saturated, Non-primary variable out of limits, Primary "
         "variable out of limits",
         S::Malfunction, true},
        // With bit 7 of the first byte set the second byte is not the device's status.
        {0x82, 0x00, "Communication error: buffer overflow", S::Attention, false},
        {0xC8, 0x90, "Communication error: vertical parity error, longitudinal parity error",
         S::Attention, false},
        {0xB0, 0x10, "Communication error: overrun error, framing error", S::Attention, false},
    };
    for (const Row& row : rows) {
        const hart::ReplyStatus s{row.responseCode, row.deviceStatus};
        EXPECT_EQ(hart::replyStatusText(s), row.text)
            << int(row.responseCode) << ' ' << int(row.deviceStatus);
        EXPECT_EQ(hart::severityOf(s), row.severity) << row.text;
        EXPECT_EQ(hart::moreStatusAvailable(s), row.moreStatus) << row.text;
    }
}

} // namespace
