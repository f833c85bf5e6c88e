// pcapng captures of HART frames as HART-IP over UDP/IPv4. Block layouts are
// checked byte by byte against the pcapng format; whole captures are read
// back by tshark, an independent decoder.

#include "hart/pcapng.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using hart_test::hex;
namespace pcapng = hart::pcapng;

std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(InternetChecksum, KnownHeaders) {
    // A textbook IPv4 header (192.168.0.1 -> 192.168.0.199) whose checksum is B861.
    EXPECT_EQ(pcapng::internetChecksum(hex("45 00 00 73 00 00 40 00 40 11 00 00 C0 A8 00 01 "
                                           "C0 A8 00 C7")),
              0xB861);
    // Summing a header that holds its checksum gives zero.
    EXPECT_EQ(pcapng::internetChecksum(hex("45 00 00 73 00 00 40 00 40 11 B8 61 C0 A8 00 01 "
                                           "C0 A8 00 C7")),
              0x0000);
    // Odd length: the last byte is the high half of a zero-padded word; the
    // carry out of 16 bits folds back in (FFFF + 0100 = 1_00FF -> 0100 -> ~FEFF).
    EXPECT_EQ(pcapng::internetChecksum(hex("FF FF 01")), 0xFEFF);
}

TEST(UdpPacket, HeadersOnTheLoopback) {
    const auto p = pcapng::udpPacket(50940, 5094, hex("AA BB CC"), 0x0102);
    const auto expected =
        hex("45 00 00 1F 01 02 40 00 40 11 00 00 7F 00 00 01 7F 00 00 01 " // IPv4, sum below
            "C6 FC 13 E6 00 0B 00 00 AA BB CC");                           // UDP, sum below
    ASSERT_EQ(p.size(), expected.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (i == 10 || i == 11 || i == 26 || i == 27) continue; // the checksums
        EXPECT_EQ(p[i], expected[i]) << "byte " << i;
    }
    // IPv4: 4500 + 001F + 0102 + 4000 + 4011 + 7F00 + 0001 + 7F00 + 0001 = 0x1_C434,
    // folded 0xC435, complemented 0x3BCA.
    EXPECT_EQ(p[10], 0x3B);
    EXPECT_EQ(p[11], 0xCA);
    // UDP over the pseudo header: 7F00 0001 7F00 0001 0011 000B + C6FC 13E6 000B 0000
    // AABB CC00 = 0x3_4FC6 -> 0x4FC9, complemented 0xB036.
    EXPECT_EQ(p[26], 0xB0);
    EXPECT_EQ(p[27], 0x36);
}

TEST(HartPduPacket, PortsAndMessageTypeFollowDirectionAndDelimiter) {
    struct Row {
        pcapng::Direction direction;
        const char* frame;
        std::uint16_t sourcePort, destinationPort;
        std::uint8_t messageType;
    };
    const std::vector<Row> rows{
        {pcapng::Direction::ToDevice, "FF FF 02 80 00 00 82", 50940, 5094, 0},
        {pcapng::Direction::FromDevice, "FF FF 06 80 00 02 40 00 C4", 5094, 50940, 1},
        {pcapng::Direction::FromDevice, "FF 81 E6 05 01 02 03 01 00 63", 5094, 50940, 2},
        {pcapng::Direction::FromDevice, "", 5094, 50940, 1},
    };
    for (const Row& row : rows) {
        const auto p = pcapng::hartPduPacket(row.direction, hex(row.frame), 0x0203);
        ASSERT_GE(p.size(), 36u) << row.frame;
        EXPECT_EQ(p[20] << 8 | p[21], row.sourcePort) << row.frame;
        EXPECT_EQ(p[22] << 8 | p[23], row.destinationPort) << row.frame;
        const std::size_t preambles = std::string(row.frame).find_first_not_of("F ") / 3;
        const auto pdu = hex(row.frame);
        const std::vector<std::uint8_t> body(
            pdu.begin() + static_cast<std::ptrdiff_t>(std::min(preambles, pdu.size())), pdu.end());
        // HART-IP header: version 1, type, id 3, status 0, sequence, byte count.
        std::vector<std::uint8_t> message{
            1, row.messageType, 3, 0, 0x02, 0x03, 0, static_cast<std::uint8_t>(8 + body.size())};
        message.insert(message.end(), body.begin(), body.end());
        EXPECT_EQ(std::vector<std::uint8_t>(p.begin() + 28, p.end()), message) << row.frame;
    }
}

TEST(PcapngWriter, BlocksByteByByte) {
    std::ostringstream out;
    pcapng::Writer writer(out);
    const auto headers = bytesOf(out.str());
    const auto expectedHeaders =
        hex("0A 0D 0D 0A 2C 00 00 00 4D 3C 2B 1A 01 00 00 00 FF FF FF FF FF FF FF FF " // SHB
            "04 00 06 00 72 78 34 36 30 6B 00 00 00 00 00 00 2C 00 00 00 "  // "rx460k", end
            "01 00 00 00 14 00 00 00 65 00 00 00 FF FF 00 00 14 00 00 00"); // IDB, raw IPv4
    EXPECT_EQ(headers, expectedHeaders);

    writer.writePacket(hex("AA BB CC"), std::uint64_t{0x0001020304050607});
    const auto all = bytesOf(out.str());
    const std::vector<std::uint8_t> packet(
        all.begin() + static_cast<std::ptrdiff_t>(headers.size()), all.end());
    EXPECT_EQ(packet, hex("06 00 00 00 24 00 00 00 00 00 00 00 03 02 01 00 07 06 05 04 "
                          "03 00 00 00 03 00 00 00 AA BB CC 00 24 00 00 00"));
    EXPECT_TRUE(writer.good());
}

TEST(PcapngWriter, ReportsAFailedWrite) {
    std::ostringstream out;
    pcapng::Writer writer(out);
    out.setstate(std::ios::badbit);
    writer.writePacket(hex("00"), std::uint64_t{0});
    EXPECT_FALSE(writer.good());
}

// ---- Read back by tshark.

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::vector<std::string> run(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return lines;
    std::array<char, 4096> buf{};
    while (std::fgets(buf.data(), static_cast<int>(buf.size()), pipe)) {
        std::string line(buf.data());
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        lines.push_back(line);
    }
    pclose(pipe);
    return lines;
}

class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("rx460k-" + std::to_string(getpid()) + "-" + name)) {}
    ~TemporaryFile() { std::filesystem::remove(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

TEST(PcapngTshark, RequestAndReplyDecodeAsHartIp) {
    if (!onPath("tshark")) {
        if (std::getenv("CI")) FAIL() << "tshark is not installed; CI must install it";
        GTEST_SKIP() << "tshark is not installed; install it to read captures back";
    }
    TemporaryFile file("exchange.pcapng");
    {
        std::FILE* f = std::fopen(file.path().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        pcapng::Writer writer(f, true);
        // Command 3 to manufacturer 0x26 device type 05 ID 010203, its reply
        // (12 mA, PV 21.9, more status available), then command 48 refused.
        writer.writePacket(pcapng::hartPduPacket(pcapng::Direction::ToDevice,
                                                 hex("FF FF FF FF FF 82 A6 05 01 02 03 03 00 22"),
                                                 7, 50940, 1),
                           std::uint64_t{1'700'000'000'123'456});
        writer.writePacket(
            pcapng::hartPduPacket(pcapng::Direction::FromDevice,
                                  hex("FF FF 86 A6 05 01 02 03 03 1A 00 10 41 40 00 00 20 41 AF "
                                      "33 33 20 40 86 66 66 20 00 00 00 00 20 00 00 00 00 05"),
                                  7, 50940, 2),
            std::uint64_t{1'700'000'000'400'000});
        writer.writePacket(pcapng::hartPduPacket(pcapng::Direction::ToDevice,
                                                 hex("FF FF 82 A6 05 01 02 03 30 00 11"), 8, 50940,
                                                 3),
                           std::uint64_t{1'700'000'001'000'000});
        writer.writePacket(pcapng::hartPduPacket(pcapng::Direction::FromDevice,
                                                 hex("FF FF 86 A6 05 01 02 03 30 02 40 00 57"), 8,
                                                 50940, 4),
                           std::uint64_t{1'700'000'001'250'000});
        EXPECT_TRUE(writer.good());
        std::fclose(f);
    }
    const auto lines =
        run("tshark -r '" + file.path().string() +
            "' -o ip.check_checksum:TRUE -o udp.check_checksum:TRUE -T fields -E separator=, "
            "-e frame.time_epoch -e udp.srcport -e udp.dstport -e ip.checksum.status "
            "-e udp.checksum.status -e hart_ip.message_type -e hart_ip.message_id "
            "-e hart_ip.transaction_id -e hart_ip.msg_length -e hart_ip.pt.command "
            "-e hart_ip.pt.response_code -e hart_ip.pt.device_status 2>/dev/null");
    // Checksum status 1 is "good" in tshark's fields (0 bad, 2 unverified).
    const std::vector<std::string> expected{
        "1700000000.123456000,50940,5094,1,1,0,3,7,17,3,,",
        "1700000000.400000000,5094,50940,1,1,1,3,7,43,3,0,0x10",
        "1700000001.000000000,50940,5094,1,1,0,3,8,17,48,,",
        "1700000001.250000000,5094,50940,1,1,1,3,8,19,48,64,0x00",
    };
    EXPECT_EQ(lines, expected);
}

} // namespace
