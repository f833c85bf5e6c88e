// Names of commands, response codes and status bits, and the command 48
// decoder. Expected texts are the protocol's own names, written out by hand.

#include "hart/names.h"
#include "hart/protocol.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using hart_test::hex;

TEST(CommandNames, UniversalCommonPracticeAndDeviceSpecific) {
    struct Row {
        std::uint16_t command;
        const char* name;
    };
    const std::vector<Row> rows{
        {0, "Read Unique Identifier"},
        {3, "Read Dynamic Variables And Loop Current"},
        {13, "Read Tag, Descriptor, Date"},
        {22, "Write Long Tag"},
        {31, "16-bit Expanded Command"},
        {34, "Write Primary Variable Damping Value"},
        {38, "Reset Configuration Changed Flag"},
        {40, "Enter/Exit Fixed Current Mode"},
        {48, "Read Additional Device Status"},
        {108, "Write Burst Mode Command Number"},
        {109, "Burst Mode Control"},
        {128, "device-specific 128"},
        {130, "device-specific 130"},
        {253, "device-specific 253"},
        {4, "command 4"}, // reserved numbers have no name
        {23, "command 23"},
        {254, "command 254"},
        {255, "command 255"},
        {1024, "command 1024"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::commandName(row.command), row.name) << "command " << row.command;
}

// How a sentence names a command, for messages about one.
TEST(CommandNames, InWords) {
    const std::vector<std::pair<std::uint16_t, std::string>> rows{
        {18, "Command 18 Write tag, descriptor, date"},
        {3, "Command 3 Read dynamic variables and loop current"},
        {31, "Command 31 16-bit expanded command"},
        {39, "Command 39 EEPROM control"},
        {40, "Command 40 Enter/exit fixed current mode"},
        {94, "Command 94 Read I/O system client-side communication statistics"},
        {130, "Command 130 (device-specific)"},
        {254, "Command 254"},
    };
    for (const auto& [command, words] : rows)
        EXPECT_EQ(hart::commandInWords(command), words);
}

TEST(CommandNames, EveryUniversalAndCommonPracticeNumberHasAName) {
    std::vector<int> named{0, 1, 2, 3, 6, 7, 8, 9};
    for (int c = 11; c <= 22; ++c)
        named.push_back(c);
    for (int c = 33; c <= 119; ++c)
        named.push_back(c);
    for (const int c : named) {
        const std::string name = hart::commandName(static_cast<std::uint16_t>(c));
        EXPECT_NE(name, "command " + std::to_string(c)) << c;
    }
    // One row per number, in order: a duplicated row would hide its twin.
    for (std::size_t i = 1; i < hart::kCommandNames.size(); ++i)
        EXPECT_LT(hart::kCommandNames[i - 1].number, hart::kCommandNames[i].number)
            << hart::kCommandNames[i].name;
}

TEST(ResponseCodes, MeaningOfTheFirstStatusByte) {
    struct Row {
        std::uint8_t code;
        const char* name;
    };
    const std::vector<Row> rows{
        {0, "success"},
        {1, "undefined"},
        {2, "invalid selection"},
        {3, "passed parameter too large"},
        {4, "passed parameter too small"},
        {5, "too few data bytes received"},
        {6, "device-specific command error"},
        {7, "in write-protect mode"},
        {8, "warning"},
        {9, "command-specific error"},
        {13, "command-specific error"},
        {14, "command-specific warning"},
        {15, "command-specific error"},
        {16, "access restricted"},
        {17, "response code 17"},
        {30, "command response truncated"},
        {31, "response code 31"},
        {32, "device busy"},
        {33, "delayed response initiated"},
        {34, "delayed response running"},
        {35, "delayed response dead"},
        {36, "delayed response conflict"},
        {64, "command not implemented"},
        {65, "response code 65"},
        {127, "response code 127"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::responseCodeName(row.code), row.name) << int(row.code);
}

TEST(StatusSummary, CommunicationErrorsOrTheResponseCode) {
    struct Row {
        std::uint8_t byte;
        const char* text;
    };
    const std::vector<Row> rows{
        {0x00, "success"},
        {0x40, "command not implemented"},
        {0x07, "in write-protect mode"},
        {0x88, "Communication error: longitudinal parity error"},
        {0xC0, "Communication error: vertical parity error"},
        {0xA0, "Communication error: overrun error"},
        {0x90, "Communication error: framing error"},
        {0x82, "Communication error: buffer overflow"},
        {0xDA, "Communication error: vertical parity error, framing error, "
               "longitudinal parity error, buffer overflow"},
        {0x85, "Communication error: reserved bit 2, reserved bit 0"},
        {0x80, "Communication error: none named"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::statusSummary(row.byte), row.text) << int(row.byte);
}

// Codes 8-15 named by the command's own table where it has a name for them;
// anything else as the command-blind summary says it.
TEST(StatusSummary, CommandSpecificCodesByTheirCommand) {
    struct Row {
        std::uint8_t byte;
        std::uint16_t command;
        const char* text;
    };
    const std::vector<Row> rows{
        {9, 38, "configuration change counter mismatch"},
        {12, 6, "invalid mode selection"},
        {14, 48, "status bytes mismatch"},
        {9, 6, "command-specific error"},    // another command's code 9
        {12, 38, "command-specific error"},  // another code of command 38
        {64, 38, "command not implemented"}, // a code every command shares
        {0x89, 38, "Communication error: longitudinal parity error, reserved bit 0"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::statusSummary(row.byte, row.command), row.text)
            << int(row.byte) << " of command " << row.command;
}

// Errors carry no data; success and the warnings do.
TEST(ResponseCodes, ErrorsAndWarnings) {
    for (int code = 0; code < 256; ++code) {
        const bool warning = code == 8 || code == 14 || (code >= 24 && code <= 27) || code == 30 ||
                             code == 31 || (code >= 96 && code <= 127);
        EXPECT_EQ(hart::isErrorResponse(static_cast<std::uint8_t>(code)), code != 0 && !warning)
            << code;
    }
}

TEST(DeviceStatus, SetBitsNamedFromBitSevenDown) {
    struct Row {
        std::uint8_t byte;
        const char* text;
    };
    const std::vector<Row> rows{
        {0x00, "OK"},
        {0x80, "Device malfunction"},
        {0x40, "Configuration changed"},
        {0x20, "Cold start"},
        {0x10, "More status available"},
        {0x08, "Loop current fixed"},
        {0x04, "Loop current saturated"},
        {0x02, "Non-primary variable out of limits"},
        {0x01, "Primary variable out of limits"},
        {0x50, "Configuration changed, More status available"},
        {0x81, "Device malfunction, Primary variable out of limits"},
        {0xFF, "Device malfunction, Configuration changed, Cold start, More status available, "
               "Loop current fixed, Loop current saturated, Non-primary variable out of limits, "
               "Primary variable out of limits"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::deviceStatusText(row.byte), row.text) << int(row.byte);
}

TEST(AdditionalStatus, CommandFortyEightReplyAsLines) {
    struct Row {
        const char* what;
        const char* data; // after the two status bytes
        std::vector<std::string> lines;
    };
    const std::vector<Row> rows{
        {"no data", "", {}},
        {"cut inside the device-specific bytes",
         "01 02 03",
         {"Device-specific status 0-5: 01 02 03"}},
        {"HART 5: six device-specific bytes",
         "00 00 00 00 10 FF",
         {"Device-specific status 0-5: 00 00 00 00 10 FF"}},
        {"HART 6: extended status added",
         "00 00 00 00 00 00 03",
         {"Device-specific status 0-5: 00 00 00 00 00 00",
          "Extended device status: 03 (device variable alert, maintenance required)"}},
        // Bit names as HART 7's command 48 tables have them.
        {"HART 7, all 25 bytes",
         "01 02 03 04 05 06 3C 00 81 0F 01 1F 1D 02 A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA",
         {"Device-specific status 0-5: 01 02 03 04 05 06",
          "Extended device status: 3C (function check, out of specification, failure, critical "
          "power failure)",
          "Device operating mode: 0",
          "Standardized status 0: 81 (device configuration locked, simulation active)",
          "Standardized status 1: 0F (battery or power supply needs maintenance, event "
          "notification overflow, discrete variable simulation active, status simulation active)",
          "Analog channel saturated: 01",
          "Standardized status 2: 1F (stale data notice, sub-devices with duplicate IDs found, "
          "sub-device mismatch, duplicate master detected, sub-device list changed)",
          "Standardized status 3: 1D (radio failure, block transfer pending, bandwidth "
          "allocation pending, capacity denied)",
          "Analog channel fixed: 02",
          "Device-specific status 6-16: A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA"}},
        {"zero status and reserved bits",
         "00 00 00 00 00 00 C0 00 7E 10 00 20 02",
         {"Device-specific status 0-5: 00 00 00 00 00 00",
          "Extended device status: C0 (reserved bit 7, reserved bit 6)", "Device operating mode: 0",
          "Standardized status 0: 7E (electronic defect, environmental conditions out of range, "
          "power supply conditions out of range, watchdog reset executed, volatile memory "
          "defect, non-volatile memory defect)",
          "Standardized status 1: 10 (reserved bit 4)", "Analog channel saturated: 00",
          "Standardized status 2: 20 (reserved bit 5)",
          "Standardized status 3: 02 (reserved bit 1)"}},
        {"extended status and mode only, nothing set",
         "00 00 00 00 00 00 00 05",
         {"Device-specific status 0-5: 00 00 00 00 00 00", "Extended device status: 00 (none)",
          "Device operating mode: 5"}},
        {"cut inside the last device-specific group, then more",
         "00 00 00 00 00 00 00 00 00 00 00 00 00 00 11 22",
         {"Device-specific status 0-5: 00 00 00 00 00 00", "Extended device status: 00 (none)",
          "Device operating mode: 0", "Standardized status 0: 00 (none)",
          "Standardized status 1: 00 (none)", "Analog channel saturated: 00",
          "Standardized status 2: 00 (none)", "Standardized status 3: 00 (none)",
          "Analog channel fixed: 00", "Device-specific status 6-16: 11 22"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::additionalStatusLines(hex(row.data)), row.lines) << row.what;
}

TEST(AdditionalStatus, BytesPastTheLayoutShownAsHex) {
    std::vector<std::uint8_t> data(25, 0x00);
    data.push_back(0xDE);
    data.push_back(0xAD);
    const auto lines = hart::additionalStatusLines(data);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[9], "Device-specific status 6-16: 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(lines[10], "Further bytes: DE AD");
}

} // namespace
