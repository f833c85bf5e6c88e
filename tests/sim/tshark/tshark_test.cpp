// The simulated devices' replies read by an independent decoder: each reply
// taken off the pty is wrapped as the HART PDU of a HART-IP response (a burst
// frame as a publish message) in a capture file, and Wireshark's HART-IP
// dissector (tshark) must read every frame cleanly, with the delimiter,
// address, command, byte count, status bytes and decoded fields each row
// expects.

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
