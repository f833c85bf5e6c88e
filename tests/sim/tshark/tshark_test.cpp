// The simulated devices' replies read by an independent decoder: each reply
// taken off the pty is wrapped as the HART PDU of a HART-IP response (a burst
// frame as a publish message) in a capture file, and Wireshark's HART-IP
// dissector (tshark) must read every frame cleanly, with the delimiter,
// address, command, byte count, status bytes and decoded fields each row
// expects. The HART 7 flowmeter's rows cover every command whose fields the
// dissector knows (1, 2, 3, 6, 7, 8, 9, 22, 33, 38 and 0's counter) and show
// that it takes the byte counts of those it does not (20, 41, 48, 50, 51,
// 54, 72, 89, 90, 95).

#include "../line_client.h"
#include "sim/sim_network.h"
#include "sim/sim_transmitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using simtest::Bytes;
using simtest::hex;
using simtest::LineClient;

constexpr std::uint16_t kHartIpPort = 5094;
constexpr std::uint8_t kResponse = 1;
constexpr std::uint8_t kPublish = 2;
constexpr std::uint8_t kPassThrough = 3;

void put16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

// Ethernet, IPv4 and UDP from port 5094 around one HART-IP message.
Bytes udpPacket(const Bytes& hartIp, std::uint16_t id) {
    Bytes udp;
    put16(udp, kHartIpPort);
    put16(udp, 50000);
    put16(udp, static_cast<std::uint16_t>(8 + hartIp.size()));
    put16(udp, 0); // no UDP checksum
    udp.insert(udp.end(), hartIp.begin(), hartIp.end());

    Bytes ip{0x45, 0x00};
    put16(ip, static_cast<std::uint16_t>(20 + udp.size()));
    put16(ip, id);
    put16(ip, 0);
    ip.insert(ip.end(), {64, 17, 0, 0, 127, 0, 0, 1, 127, 0, 0, 1});
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < ip.size(); i += 2)
        sum += static_cast<std::uint32_t>(ip[i] << 8 | ip[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    ip[10] = static_cast<std::uint8_t>(~sum >> 8);
    ip[11] = static_cast<std::uint8_t>(~sum);

    Bytes frame{0x02, 0x00, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00};
    frame.insert(frame.end(), ip.begin(), ip.end());
    frame.insert(frame.end(), udp.begin(), udp.end());
    return frame;
}

// Version 1, message type, pass-through, status 0, sequence, length.
Bytes hartIpMessage(const Bytes& pdu, std::uint16_t sequence) {
    const bool burst = (pdu[0] & 0x07) == 0x01;
    Bytes m{1, burst ? kPublish : kResponse, kPassThrough, 0};
    put16(m, sequence);
    put16(m, static_cast<std::uint16_t>(8 + pdu.size()));
    m.insert(m.end(), pdu.begin(), pdu.end());
    return m;
}

void writeCapture(const std::string& path, const std::vector<Bytes>& pdus) {
    std::string out;
    putLe32(out, 0xA1B2C3D4);
    out += std::string("\x02\x00\x04\x00", 4); // version 2.4
    putLe32(out, 0);                           // time zone
    putLe32(out, 0);                           // accuracy
    putLe32(out, 65535);                       // snap length
    putLe32(out, 1);                           // Ethernet
    std::uint16_t n = 0;
    for (const Bytes& pdu : pdus) {
        ++n;
        const Bytes p = udpPacket(hartIpMessage(pdu, n), n);
        putLe32(out, n);
        putLe32(out, 0);
        putLe32(out, static_cast<std::uint32_t>(p.size()));
        putLe32(out, static_cast<std::uint32_t>(p.size()));
        out.append(p.begin(), p.end());
    }
    std::ofstream(path, std::ios::binary) << out;
}

// The fields tshark shows for every frame; rows add fields of their own.
const std::vector<std::string> kCommonFields{"hart_ip.message_type",     "hart_ip.pt.delimiter",
                                             "hart_ip.pt.command",       "hart_ip.pt.length",
                                             "hart_ip.pt.response_code", "hart_ip.pt.device_status",
                                             "hart_ip.pt.checksum",      "_ws.malformed",
                                             "_ws.expert.message",       "hart_ip.data.unexpected"};

struct Row {
    const char* name;
    int device; // 0: the network, 1: a transmitter in burst mode
    const char* request;
    std::map<std::string, std::string> fields; // beyond the common ones
    std::map<std::string, std::string> common; // message type to status, clean dissection
};

std::map<std::string, std::string> commonFields(const char* type, const char* delimiter,
                                                const char* command, const char* length,
                                                const char* rc, const char* status) {
    return {{"hart_ip.message_type", type},
            {"hart_ip.pt.delimiter", delimiter},
            {"hart_ip.pt.command", command},
            {"hart_ip.pt.length", length},
            {"hart_ip.pt.response_code", rc},
            {"hart_ip.pt.device_status", status},
            {"_ws.malformed", ""},
            {"_ws.expert.message", ""},
            {"hart_ip.data.unexpected", ""}};
}

const std::vector<Row>& rows() {
    static const std::vector<Row> kRows{
        {"Hart7Identity",
         0,
         "02 85 00 00 87",
         {{"hart_ip.pt.short_addr", "5"},
          {"hart_ip.pt.rsp.expanded_device_type", "0x11b7"},
          {"hart_ip.pt.rsp.hart_univ_rev", "7"},
          {"hart_ip.pt.rsp.device_id", "3a5c91"},
          {"hart_ip.pt.rsp.ext_device_status", "0x03"},
          {"hart_ip.pt.rsp.manufacturer_Id", "17"},
          {"hart_ip.pt.rsp.device_profile", "1"}},
         commonFields("1", "0x06", "0", "24", "0", "0x10")},
        {"TransmitterIdentity",
         0,
         "02 80 00 00 82",
         {{"hart_ip.pt.short_addr", "0"},
          {"hart_ip.pt.rsp.hart_univ_rev", "5"},
          {"hart_ip.pt.rsp.device_id", "010203"}},
         commonFields("1", "0x06", "0", "14", "0", "0x00")},
        {"Hart7AdditionalStatus",
         0,
         "82 91 B7 3A 5C 91 30 00 63",
         {{"hart_ip.pt.long_address", "91b73a5c91"},
          {"hart_ip.pt.rsp.ext_device_status", "0x03"},
          {"hart_ip.pt.rsp.standardized_status_0", "0x20"},
          {"hart_ip.pt.rsp.analog_channel_fixed", "0"}},
         commonFields("1", "0x86", "48", "18", "0", "0x10")},
        {"Hart7LongTag",
         0,
         "82 91 B7 3A 5C 91 14 00 47",
         {},
         commonFields("1", "0x86", "20", "34", "0", "0x10")},
        {"TransmitterProcessValues",
         0,
         "82 A6 05 01 02 03 03 00 22",
         {{"hart_ip.pt.rsp.pv_loop_current", "12"},
          {"hart_ip.pt.rsp.pv_units", "32"},
          {"hart_ip.pt.rsp.pv", "50"},
          {"hart_ip.pt.rsp.qv", "101.3"}},
         commonFields("1", "0x86", "3", "26", "0", "0x00")},
        {"NotImplemented",
         0,
         "82 A6 05 01 02 03 C8 00 E9",
         {},
         commonFields("1", "0x86", "200", "2", "64", "0x00")},
        {"ErrorOnlyStatus",
         0,
         "82 A6 05 01 02 03 33 04 00 01 03 08 1C",
         {},
         commonFields("1", "0x86", "51", "2", "9", "0x00")},
        {"BurstModeReply",
         1,
         "82 A6 05 01 02 03 01 00 20",
         {{"hart_ip.pt.long_address", "e605010203"}, {"hart_ip.pt.rsp.pv", "50"}},
         commonFields("1", "0x86", "1", "7", "0", "0x00")},
        {"BurstFrame",
         1,
         nullptr, // whatever the device sends on its own
         {{"hart_ip.pt.long_address", "6605010203"}, {"hart_ip.pt.rsp.pv_units", "32"}},
         commonFields("2", "0x81", "1", "7", "0", "0x00")},
        // The HART 7 flowmeter, its clock held at 15 s: volume flow 50 m3/h
        // (unit 19), mass flow 49900 kg/h (75), loop current 4 mA (mode
        // disabled at address 5), 50 % of 0-100 m3/h. Classifications: 66
        // volumetric flow, 72 mass flow, 68 volume, 64 temperature.
        {"Hart7Command1",
         0,
         "82 91 B7 3A 5C 91 01 00 52",
         {{"hart_ip.pt.rsp.pv_units", "19"}, {"hart_ip.pt.rsp.pv", "50"}},
         commonFields("1", "0x86", "1", "7", "0", "0x10")},
        {"Hart7Command2",
         0,
         "82 91 B7 3A 5C 91 02 00 51",
         {{"hart_ip.pt.rsp.pv_loop_current", "4"}, {"hart_ip.pt.rsp.pv_percent_range", "50"}},
         commonFields("1", "0x86", "2", "10", "0", "0x10")},
        {"Hart7Command3",
         0,
         "82 91 B7 3A 5C 91 03 00 50",
         {{"hart_ip.pt.rsp.pv_loop_current", "4"},
          {"hart_ip.pt.rsp.pv_units", "19"},
          {"hart_ip.pt.rsp.pv", "50"},
          {"hart_ip.pt.rsp.sv_units", "75"},
          {"hart_ip.pt.rsp.sv", "49900"},
          {"hart_ip.pt.rsp.tv_units", "43"},
          {"hart_ip.pt.rsp.qv_units", "32"}},
         commonFields("1", "0x86", "3", "26", "0", "0x10")},
        {"Hart7Command7",
         0,
         "82 91 B7 3A 5C 91 07 00 54",
         {{"hart_ip.pt.rsp.poll_address", "5"}, {"hart_ip.pt.rsp.loop_current_mode", "0x00"}},
         commonFields("1", "0x86", "7", "4", "0", "0x10")},
        {"Hart7Command8",
         0,
         "82 91 B7 3A 5C 91 08 00 5B",
         {{"hart_ip.pt.rsp.primary_variable_classification", "0x42"},
          {"hart_ip.pt.rsp.secondary_variable_classification", "0x48"},
          {"hart_ip.pt.rsp.tertiary_variable_classification", "0x44"},
          {"hart_ip.pt.rsp.quaternary_variable_classification", "0x40"}},
         commonFields("1", "0x86", "8", "6", "0", "0x10")},
        // Volume flow (good: c0), temperature (poor accuracy: 40), loop
        // current (fixed, constant: b0) and code 7, which the device does not
        // have (not used: unit 250, bad, constant: 30); slot 0 taken at
        // 00:00:15 (15000 ms * 32 = 00 07 53 00).
        {"Hart7Command9",
         0,
         "82 91 B7 3A 5C 91 09 04 00 03 F5 07 AF",
         {{"hart_ip.pt.rsp.ext_device_status", "0x03"},
          {"hart_ip.pt.rsp.slot0_device_var", "0"},
          {"hart_ip.pt.rsp.slot0_device_var_classification", "66"},
          {"hart_ip.pt.rsp.slot0_units", "19"},
          {"hart_ip.pt.rsp.slot0_device_var_value", "50"},
          {"hart_ip.pt.rsp.slot0_device_var_status", "0xc0"},
          {"hart_ip.pt.rsp.slot1_device_var", "3"},
          {"hart_ip.pt.rsp.slot1_device_var_classify", "64"},
          {"hart_ip.pt.rsp.slot1_units", "32"},
          {"hart_ip.pt.rsp.slot1_device_var_status", "0x40"},
          {"hart_ip.pt.rsp.slot2_device_var", "245"},
          {"hart_ip.pt.rsp.slot2_device_var_classify", "84"},
          {"hart_ip.pt.rsp.slot2_units", "39"},
          {"hart_ip.pt.rsp.slot2_device_var_value", "4"},
          {"hart_ip.pt.rsp.slot2_device_var_status", "0xb0"},
          {"hart_ip.pt.rsp.slot3_device_var", "7"},
          {"hart_ip.pt.rsp.slot3_device_var_classify", "0"},
          {"hart_ip.pt.rsp.slot3_units", "250"},
          {"hart_ip.pt.rsp.slot3_device_var_status", "0x30"},
          {"hart_ip.pt.rsp.slot0_data_timestamp", "00075300"}},
         commonFields("1", "0x86", "9", "39", "0", "0x10")},
        {"Hart7Command9EightSlots",
         0,
         "82 91 B7 3A 5C 91 09 08 00 01 02 03 F4 F5 F6 07 A2",
         {{"hart_ip.pt.rsp.slot4_device_var", "244"},
          {"hart_ip.pt.rsp.slot4_units", "57"},
          {"hart_ip.pt.rsp.slot4_device_var_value", "50"},
          {"hart_ip.pt.rsp.slot6_device_var", "246"},
          {"hart_ip.pt.rsp.slot6_device_var_value", "50"},
          {"hart_ip.pt.rsp.slot7_device_var", "7"},
          {"hart_ip.pt.rsp.slot7_units", "250"},
          {"hart_ip.pt.rsp.slot0_data_timestamp", "00075300"}},
         commonFields("1", "0x86", "9", "71", "0", "0x10")},
        {"Hart7Command33",
         0,
         "82 91 B7 3A 5C 91 21 02 00 01 71",
         {{"hart_ip.pt.rsp.slot0_device_var", "0"},
          {"hart_ip.pt.rsp.slot0_units", "19"},
          {"hart_ip.pt.rsp.slot0_device_var_value", "50"},
          {"hart_ip.pt.rsp.slot1_device_var", "1"},
          {"hart_ip.pt.rsp.slot1_units", "75"},
          {"hart_ip.pt.rsp.slot1_device_var_value", "49900"}},
         commonFields("1", "0x86", "33", "14", "0", "0x10")},
        // The dissector leaves 54, 90 and 95 as payload: the bytes as sent.
        // 54: serial 02 D6 87, m3/h, limits 300 and -300, damping 1 s, span
        // 3, volumetric flow, no family, every 100 ms, no properties.
        {"Hart7Command54",
         0,
         "82 91 B7 3A 5C 91 36 01 00 64",
         {{"hart_ip.pt.payload", "0002d6871343960000c39600003f8000004040000042fa00000c8000"}},
         commonFields("1", "0x86", "54", "30", "0", "0x10")},
        // 90: 1.1.2024 00:00:15, never set (1.1.2024 00:00), flags 03.
        {"Hart7Command90",
         0,
         "82 91 B7 3A 5C 91 5A 00 09",
         {{"hart_ip.pt.payload", "01017c0007530001017c0000000003"}},
         commonFields("1", "0x86", "90", "17", "0", "0x10")},
        // 95: the rows above sent the flowmeter 13 requests (0, 48, 20, 1,
        // 2, 3, 7, 8, 9, 9, 33, 54, 90), each answered; this is the 14th.
        {"Hart7Command95",
         0,
         "82 91 B7 3A 5C 91 5F 00 0C",
         {{"hart_ip.pt.payload", "000e000d0000"}},
         commonFields("1", "0x86", "95", "8", "0", "0x10")},
        // Writes: configuration changed (40) from here, counter 7 -> 9.
        {"Hart7Command6",
         0,
         "82 91 B7 3A 5C 91 06 02 05 00 52",
         {{"hart_ip.pt.rsp.poll_address", "5"}, {"hart_ip.pt.rsp.loop_current_mode", "0x00"}},
         commonFields("1", "0x86", "6", "4", "0", "0x50")},
        {"Hart7Command22",
         0,
         "82 91 B7 3A 5C 91 16 20 46 54 2D 32 30 36 20 52 45 54 55 52 4E 00 00 00 00 00 00 00 00 "
         "00 00 00 00 00 00 00 00 00 00 00 44",
         {{"hart_ip.pt.rsp.tag", "FT-206 RETURN"}},
         commonFields("1", "0x86", "22", "34", "0", "0x50")},
        {"Hart7IdentityAfterWrites",
         0,
         "02 85 00 00 87",
         {{"hart_ip.pt.rsp.configure_change", "9"}},
         commonFields("1", "0x06", "0", "24", "0", "0x50")},
        // 38 with the counter read: the flag is cleared for this master.
        {"Hart7Command38",
         0,
         "82 91 B7 3A 5C 91 26 02 00 09 7E",
         {{"hart_ip.pt.rsp.configure_change", "9"}},
         commonFields("1", "0x86", "38", "4", "0", "0x10")},
        // What the HART 7 device page sends besides, read as payload: the
        // mapping (50) and its write (51, the same mapping: a write all the
        // same, counter 10), squawk (72) and self test (41) without data,
        // and the clock set to 14.3.2024 00:00:15 (89: code 1, date, time;
        // the simulated reply carries code, date and time).
        {"Hart7Command50",
         0,
         "82 91 B7 3A 5C 91 32 00 61",
         {{"hart_ip.pt.payload", "00010203"}},
         commonFields("1", "0x86", "50", "6", "0", "0x10")},
        {"Hart7Command51",
         0,
         "82 91 B7 3A 5C 91 33 04 00 01 02 03 64",
         {{"hart_ip.pt.payload", "00010203"}},
         commonFields("1", "0x86", "51", "6", "0", "0x50")},
        {"Hart7Command72",
         0,
         "82 91 B7 3A 5C 91 48 00 1B",
         {{"hart_ip.pt.payload", ""}},
         commonFields("1", "0x86", "72", "2", "0", "0x50")},
        {"Hart7Command41",
         0,
         "82 91 B7 3A 5C 91 29 00 7A",
         {{"hart_ip.pt.payload", ""}},
         commonFields("1", "0x86", "41", "2", "0", "0x50")},
        {"Hart7Command89",
         0,
         "82 91 B7 3A 5C 91 59 0A 01 0E 03 7C 00 07 53 00 00 00 24",
         {{"hart_ip.pt.payload", "010e037c00075300"}},
         commonFields("1", "0x86", "89", "10", "0", "0x50")},
    };
    return kRows;
}

std::string runTshark(const std::string& capture, const std::vector<std::string>& fields) {
    std::string cmd = std::string(TSHARK_PROGRAM) + " -r " + capture +
                      " -T fields -E separator=/t -E occurrence=f";
    for (const auto& f : fields)
        cmd += " -e " + f;
    cmd += " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(cmd.c_str(), "r"), ::pclose);
    if (!pipe) return {};
    std::string out;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe.get())) > 0)
        out.append(buf.data(), n);
    return out;
}

std::vector<std::string> split(const std::string& line, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, sep))
        parts.push_back(part);
    if (!line.empty() && line.back() == sep) parts.emplace_back();
    return parts;
}

TEST(Tshark, ReadsEveryReplyAsTheRowExpects) {
    sim::SimNetwork network;
    network.withDevice(5, [](sim::SimDevice& d) { d.holdClock(std::chrono::seconds(15)); });
    sim::SimTransmitter bursting;
    bursting.withState([](sim::SimState& s) {
        s.burstCommand = 1;
        s.burstMode = true;
    });
    LineClient networkLine(network.portPath());
    LineClient burstLine(bursting.portPath());

    std::vector<Bytes> pdus;
    for (const Row& row : rows()) {
        LineClient& line = row.device == 0 ? networkLine : burstLine;
        std::optional<Bytes> pdu;
        if (row.request) {
            line.send(hex(row.request));
            pdu = line.nextReply();
        } else {
            do
                pdu = line.nextFrame();
            while (pdu && (pdu->front() & 0x07) != 0x01);
        }
        ASSERT_TRUE(pdu) << row.name << ": nothing received";
        pdus.push_back(*pdu);
    }

    char capture[] = "/tmp/rx460k-sim-tshark-XXXXXX";
    const int fd = ::mkstemp(capture);
    ASSERT_GE(fd, 0);
    ::close(fd);
    writeCapture(capture, pdus);

    std::vector<std::string> fields = kCommonFields;
    for (const Row& row : rows())
        for (const auto& [name, value] : row.fields)
            if (std::find(fields.begin(), fields.end(), name) == fields.end())
                fields.push_back(name);
    const std::string out = runTshark(capture, fields);
    ::unlink(capture);

    const std::vector<std::string> lines = split(out, '\n');
    ASSERT_GE(lines.size(), rows().size()) << out;
    for (std::size_t i = 0; i < rows().size(); ++i) {
        const Row& row = rows()[i];
        SCOPED_TRACE(row.name);
        const std::vector<std::string> shown = split(lines[i], '\t');
        ASSERT_EQ(shown.size(), fields.size()) << lines[i];
        std::map<std::string, std::string> byName;
        for (std::size_t f = 0; f < fields.size(); ++f)
            byName[fields[f]] = shown[f];
        for (const auto& [name, value] : row.common)
            EXPECT_EQ(byName[name], value) << name;
        for (const auto& [name, value] : row.fields)
            EXPECT_EQ(byName[name], value) << name;
        // The checksum tshark shows is the frame's XOR, and the byte count
        // accounts for every byte of the frame.
        const Bytes& pdu = pdus[i];
        std::uint8_t x = 0;
        for (std::size_t b = 0; b + 1 < pdu.size(); ++b)
            x ^= pdu[b];
        char expected[8];
        std::snprintf(expected, sizeof expected, "0x%02x", x);
        EXPECT_EQ(byName["hart_ip.pt.checksum"], expected);
        const std::size_t addressBytes = (pdu[0] & 0x80) ? 5 : 1;
        EXPECT_EQ(std::to_string(pdu.size() - addressBytes - 4), byName["hart_ip.pt.length"]);
    }
}

} // namespace
