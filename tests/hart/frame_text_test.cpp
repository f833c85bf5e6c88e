// Parsed frames as the traffic log shows them.

#include "hart/frame_text.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using hart_test::hex;
using Fields = std::vector<std::pair<std::string, std::string>>;

hart::FrameText describeFirst(const std::string& bytes) {
    const auto in = hex(bytes);
    const auto segments = hart::parseFrames(in);
    if (segments.empty() || !segments.front().frame) {
        ADD_FAILURE() << "no frame in " << bytes;
        return {};
    }
    return hart::describeFrame(*segments.front().frame);
}

Fields fieldsOf(const hart::FrameText& text) {
    Fields fields;
    for (const hart::FrameField& f : text.fields)
        fields.emplace_back(std::string(f.name), f.value);
    return fields;
}

struct Row {
    const char* what;
    std::string bytes;
    std::string summary;
    Fields fields;
};

TEST(FrameText, FieldsAndSummaryOfEachKindOfFrame) {
    const std::vector<Row> rows{
        {"command 0 short request",
         "FF FF FF FF FF 02 80 00 00 82",
         "request to polling address 0: 0 Read Unique Identifier",
         {{"Type", "request (delimiter 02, short address)"},
          {"Preambles", "5"},
          {"Address", "polling address 0"},
          {"Master", "primary"},
          {"Burst bit", "clear"},
          {"Command", "0 Read Unique Identifier"},
          {"Byte count", "0"},
          {"Data", "none"},
          {"Checksum", "82"},
          {"Checks", "OK"}}},
        {"long reply, command not implemented, more status available",
         "FF FF 86 26 05 01 02 03 30 02 40 10 C7",
         "reply from device 26 05 010203: 48 Read Additional Device Status, command not "
         "implemented, More status available",
         {{"Type", "reply (delimiter 86, long address)"},
          {"Preambles", "2"},
          {"Address", "manufacturer 26, device type 05, device ID 010203 (expanded device type "
                      "2605)"},
          {"Master", "secondary"},
          {"Burst bit", "clear"},
          {"Command", "48 Read Additional Device Status"},
          {"Byte count", "2"},
          {"Data", "40 10"},
          {"Response code", "64 command not implemented"},
          {"Device status", "0x10 More status available"},
          {"Checksum", "C7"},
          {"Checks", "OK"}}},
        {"burst frame with expansion byte and device-specific command",
         "FF FF FF A1 E6 05 01 02 03 07 82 03 00 85 11 50",
         "burst from device 26 05 010203: 130 device-specific 130, success, Device malfunction, "
         "Loop current saturated, Primary variable out of limits",
         {{"Type", "burst (delimiter A1, long address)"},
          {"Preambles", "3"},
          {"Address", "manufacturer 26, device type 05, device ID 010203 (expanded device type "
                      "2605)"},
          {"Master", "primary"},
          {"Burst bit", "set"},
          {"Expansion bytes", "07"},
          {"Command", "130 device-specific 130"},
          {"Byte count", "3"},
          {"Data", "00 85 11"},
          {"Response code", "0 success"},
          {"Device status", "0x85 Device malfunction, Loop current saturated, Primary variable "
                            "out of limits"},
          {"Checksum", "50"},
          {"Checks", "OK"}}},
        {"communication error reply with a wrong checksum",
         "FF 06 02 00 02 88 00 00",
         "reply from polling address 2: 0 Read Unique Identifier, Communication error: "
         "longitudinal parity error, OK [checksum wrong]",
         {{"Type", "reply (delimiter 06, short address)"},
          {"Preambles", "1"},
          {"Address", "polling address 2"},
          {"Master", "secondary"},
          {"Burst bit", "clear"},
          {"Command", "0 Read Unique Identifier"},
          {"Byte count", "2"},
          {"Data", "88 00"},
          {"Response code", "0x88 Communication error: longitudinal parity error"},
          {"Device status", "0x00 OK"},
          {"Checksum", "00 (computed 8E)"},
          {"Checks", "checksum wrong"}}},
        {"expanded command request",
         "FF FF 82 A6 05 01 02 03 1F 02 02 00 3E",
         "request to device 26 05 010203: 31 16-bit Expanded Command, expanded command 512",
         {{"Type", "request (delimiter 82, long address)"},
          {"Preambles", "2"},
          {"Address", "manufacturer 26, device type 05, device ID 010203 (expanded device type "
                      "2605)"},
          {"Master", "primary"},
          {"Burst bit", "clear"},
          {"Command", "31 16-bit Expanded Command, expanded command 512"},
          {"Byte count", "2"},
          {"Data", "02 00"},
          {"Checksum", "3E"},
          {"Checks", "OK"}}},
        {"reply cut inside its data",
         "FF FF 86 A6 05 01 02 03 03 1A 00 00 41 40",
         "reply from device 26 05 010203: 3 Read Dynamic Variables And Loop Current, success, "
         "OK [byte count runs past the bytes received]",
         {{"Type", "reply (delimiter 86, long address)"},
          {"Preambles", "2"},
          {"Address", "manufacturer 26, device type 05, device ID 010203 (expanded device type "
                      "2605)"},
          {"Master", "primary"},
          {"Burst bit", "clear"},
          {"Command", "3 Read Dynamic Variables And Loop Current"},
          {"Byte count", "26"},
          {"Data", "00 00 41 40"},
          {"Response code", "0 success"},
          {"Device status", "0x00 OK"},
          {"Checksum", "missing (computed 3D)"},
          {"Checks", "byte count runs past the bytes received"}}},
        {"cut inside the address",
         "FF FF 86 A6 05",
         "reply from ? [frame cut short]",
         {{"Type", "reply (delimiter 86, long address)"},
          {"Preambles", "2"},
          {"Address", "cut: A6 05"},
          {"Checksum", "missing (computed 25)"},
          {"Checks", "frame cut short"}}},
    };
    for (const Row& row : rows) {
        const hart::FrameText text = describeFirst(row.bytes);
        EXPECT_EQ(text.summary, row.summary) << row.what;
        EXPECT_EQ(fieldsOf(text), row.fields) << row.what;
    }
}

TEST(FrameText, UnparsedBytes) {
    const hart::FrameText one = hart::describeUnparsed(hex("12"));
    EXPECT_EQ(one.summary, "unparsed: 1 byte");
    const hart::FrameText many = hart::describeUnparsed(hex("FF FF 05"));
    EXPECT_EQ(many.summary, "unparsed: 3 bytes");
    EXPECT_EQ(fieldsOf(many), (Fields{{"Type", "unparsed"}, {"Bytes", "FF FF 05"}}));
}

TEST(FrameText, TypeNames) {
    EXPECT_EQ(hart::frameTypeName(hart::FrameType::Request), "request");
    EXPECT_EQ(hart::frameTypeName(hart::FrameType::Reply), "reply");
    EXPECT_EQ(hart::frameTypeName(hart::FrameType::Burst), "burst");
    EXPECT_EQ(hart::hexBytes(hex("02 80 0a")), "02 80 0A");
    EXPECT_EQ(hart::hexBytes({}), "");
}

} // namespace
