// Splitting line bytes into HART frames. Frames are written out from the
// data-link layer rules, checksums XORed by hand.

#include "hart/frame_parser.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using hart_test::hex;

std::string hx(unsigned value, int digits = 2) {
    std::array<char, 16> buf{};
    std::snprintf(buf.data(), buf.size(), "%0*X", digits, value);
    return buf.data();
}

std::string hx(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t b : bytes)
        text += (text.empty() ? "" : " ") + hx(b);
    return "[" + text + "]";
}

// Every field of a segment in one line, so that table rows can spell out the
// whole expected result.
std::string describe(const hart::FrameSegment& s) {
    const std::string where = std::to_string(s.offset) + "+" + std::to_string(s.length);
    if (!s.frame) return "unparsed@" + where;
    const hart::Frame& f = *s.frame;
    static constexpr const char* kTypes[] = {"?", "burst", "request", "?", "?", "?", "reply"};
    std::string t = "frame@" + where + " p" + std::to_string(f.preambles) + " " + hx(f.delimiter) +
                    " " + kTypes[static_cast<int>(f.type)] + (f.longAddress ? " long" : " short");
    if (f.physicalLayer != 0) t += " phys=" + std::to_string(f.physicalLayer);
    if (f.address) {
        const hart::FrameAddress& a = *f.address;
        t += a.primaryMaster ? " primary" : " secondary";
        if (a.burstMode) t += " burst";
        if (f.longAddress)
            t += " mfr=" + hx(a.manufacturerId) + " type=" + hx(a.deviceType) +
                 " xtype=" + hx(a.expandedDeviceType, 4) + " id=" + hx(a.deviceId, 6);
        else
            t += " poll=" + std::to_string(a.pollingAddress);
    } else {
        t += " addr=" + hx(f.addressBytes);
    }
    if (!f.expansion.empty()) t += " exp=" + hx(f.expansion);
    if (f.command) t += " cmd=" + std::to_string(*f.command);
    if (f.expandedCommand) t += " ext=" + std::to_string(*f.expandedCommand);
    if (f.byteCount) t += " bc=" + std::to_string(*f.byteCount) + " data=" + hx(f.data);
    if (f.responseCode) t += " rc=" + hx(*f.responseCode);
    if (f.deviceStatus) t += " st=" + hx(*f.deviceStatus);
    t += " sum=" + (f.checksumReceived ? hx(*f.checksumReceived) : std::string("--")) + "/" +
         hx(f.checksumComputed);
    if (f.checksumWrong()) t += " BADSUM";
    if (f.truncated) t += " CUT";
    return t;
}

std::vector<std::string> describeAll(const std::string& bytes) {
    std::vector<std::string> lines;
    for (const hart::FrameSegment& s : hart::parseFrames(hex(bytes)))
        lines.push_back(describe(s));
    return lines;
}

// Command 3 reply from manufacturer 0x26 device type 05 ID 010203: 12 mA,
// PV 21.9 degC (unit 32), SV 4.2, TV and QV 0.
const std::string kCmd3Reply = "FF FF FF 86 A6 05 01 02 03 03 1A 00 00 41 40 00 00 20 41 AF 33 33 "
                               "20 40 86 66 66 20 00 00 00 00 20 00 00 00 00 15";
const std::string kCmd3ReplyData =
    "[00 00 41 40 00 00 20 41 AF 33 33 20 40 86 66 66 20 00 00 00 00 20 00 00 00 00]";

struct Row {
    const char* what;
    std::string bytes;
    std::vector<std::string> segments;
};

TEST(FrameParser, FramesAndUnparsedStretches) {
    const std::vector<Row> rows{
        {"nothing", "", {}},
        {"command 0 short request",
         "FF FF FF FF FF 02 80 00 00 82",
         {"frame@0+10 p5 02 request short primary poll=0 cmd=0 bc=0 data=[] sum=82/82"}},
        {"command 0 short reply, HART 5 identity",
         "FF FF 06 80 00 0E 00 00 FE 26 05 05 05 01 00 01 08 01 02 03 5D",
         {"frame@0+21 p2 06 reply short primary poll=0 cmd=0 bc=14 "
          "data=[00 00 FE 26 05 05 05 01 00 01 08 01 02 03] rc=00 st=00 sum=5D/5D"}},
        {"long reply to command 3",
         kCmd3Reply,
         {"frame@0+38 p3 86 reply long primary mfr=26 type=05 xtype=2605 id=010203 cmd=3 bc=26 "
          "data=" +
          kCmd3ReplyData + " rc=00 st=00 sum=15/15"}},
        {"burst frame, burst bit set, more status available",
         "FF FF FF FF FF 81 E6 05 01 02 03 01 07 00 10 20 41 AF 33 33 BA",
         {"frame@0+21 p5 81 burst long primary burst mfr=26 type=05 xtype=2605 id=010203 cmd=1 "
          "bc=7 data=[00 10 20 41 AF 33 33] rc=00 st=10 sum=BA/BA"}},
        {"two expansion bytes",
         "FF FF C2 A6 05 01 02 03 AA BB 03 00 73",
         {"frame@0+13 p2 C2 request long primary mfr=26 type=05 xtype=2605 id=010203 "
          "exp=[AA BB] cmd=3 bc=0 data=[] sum=73/73"}},
        {"one expansion byte",
         "FF A2 A6 05 01 02 03 AA 03 00 A8",
         {"frame@0+11 p1 A2 request long primary mfr=26 type=05 xtype=2605 id=010203 exp=[AA] "
          "cmd=3 bc=0 data=[] sum=A8/A8"}},
        {"secondary master, burst bit, polling address 63",
         "FF FF 02 7F 0D 00 70",
         {"frame@0+7 p2 02 request short secondary burst poll=63 cmd=13 bc=0 data=[] "
          "sum=70/70"}},
        {"physical layer bits",
         "FF FF 0A 80 00 00 8A",
         {"frame@0+7 p2 0A request short phys=1 primary poll=0 cmd=0 bc=0 data=[] sum=8A/8A"}},
        {"expanded command in a request",
         "FF FF 82 A6 05 01 02 03 1F 02 02 00 3E",
         {"frame@0+13 p2 82 request long primary mfr=26 type=05 xtype=2605 id=010203 cmd=31 "
          "ext=512 bc=2 data=[02 00] sum=3E/3E"}},
        {"expanded command in a reply follows the status bytes",
         "FF FF 86 A6 05 01 02 03 1F 04 00 00 02 00 3C",
         {"frame@0+15 p2 86 reply long primary mfr=26 type=05 xtype=2605 id=010203 cmd=31 "
          "ext=512 bc=4 data=[00 00 02 00] rc=00 st=00 sum=3C/3C"}},
        {"error reply: status bytes only",
         "FF FF 06 80 00 02 40 00 C4",
         {"frame@0+9 p2 06 reply short primary poll=0 cmd=0 bc=2 data=[40 00] rc=40 st=00 "
          "sum=C4/C4"}},
        {"communication error reply",
         "FF 06 82 00 02 88 00 0E",
         {"frame@0+8 p1 06 reply short primary poll=2 cmd=0 bc=2 data=[88 00] rc=88 st=00 "
          "sum=0E/0E"}},
        {"wrong checksum",
         "FF FF 02 80 00 00 83",
         {"frame@0+7 p2 02 request short primary poll=0 cmd=0 bc=0 data=[] sum=83/82 BADSUM"}},
        {"garbage before the preambles",
         "12 34 FF FF 02 80 00 00 82",
         {"unparsed@0+2", "frame@2+7 p2 02 request short primary poll=0 cmd=0 bc=0 data=[] "
                          "sum=82/82"}},
        {"two frames in one chunk, garbage between and after",
         "FF FF 02 80 00 00 82 00 FF FF 06 80 00 02 40 00 C4 12",
         {"frame@0+7 p2 02 request short primary poll=0 cmd=0 bc=0 data=[] sum=82/82",
          "unparsed@7+1",
          "frame@8+9 p2 06 reply short primary poll=0 cmd=0 bc=2 data=[40 00] rc=40 st=00 "
          "sum=C4/C4",
          "unparsed@17+1"}},
        {"frames back to back",
         "FF 02 80 00 00 82 FF 02 80 00 00 82",
         {"frame@0+6 p1 02 request short primary poll=0 cmd=0 bc=0 data=[] sum=82/82",
          "frame@6+6 p1 02 request short primary poll=0 cmd=0 bc=0 data=[] sum=82/82"}},
        {"byte count past the bytes received",
         "FF FF 86 A6 05 01 02 03 03 1A 00 00 41 40",
         {"frame@0+14 p2 86 reply long primary mfr=26 type=05 xtype=2605 id=010203 cmd=3 bc=26 "
          "data=[00 00 41 40] rc=00 st=00 sum=--/3D CUT"}},
        {"cut just before the checksum",
         "FF FF 82 A6 05 01 02 03 03 00",
         {"frame@0+10 p2 82 request long primary mfr=26 type=05 xtype=2605 id=010203 cmd=3 "
          "bc=0 data=[] sum=--/22 CUT"}},
        {"cut before the byte count",
         "FF 02 80 00",
         {"frame@0+4 p1 02 request short primary poll=0 cmd=0 sum=--/82 CUT"}},
        {"cut inside the long address",
         "FF FF 86 A6 05",
         {"frame@0+5 p2 86 reply long addr=[A6 05] sum=--/25 CUT"}},
        {"cut inside the expansion bytes",
         "FF C2 A6 05 01 02 03 AA",
         {"frame@0+8 p1 C2 request long primary mfr=26 type=05 xtype=2605 id=010203 exp=[AA] "
          "sum=--/CB CUT"}},
        {"delimiter alone", "FF 06", {"frame@0+2 p1 06 reply short addr=[] sum=--/06 CUT"}},
        {"no preamble: not a frame", "02 80 00 00 82", {"unparsed@0+5"}},
        {"unknown frame types are not frames",
         "FF FF 00 FF 03 FF 04 FF 05 FF 07 FF 85",
         {"unparsed@0+13"}},
        {"preambles at the end", "00 FF FF FF", {"unparsed@0+4"}},
        {"unknown delimiter, then a frame",
         "FF FF 05 FF 02 80 00 00 82",
         {"unparsed@0+3", "frame@3+6 p1 02 request short primary poll=0 cmd=0 bc=0 data=[] "
                          "sum=82/82"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(describeAll(row.bytes), row.segments) << row.what;
}

// Checks that hold for every input: segments cover the input in order without
// gaps, frames start with 0xFF and hold what their fields say.
void expectConsistent(const std::vector<std::uint8_t>& in) {
    const auto segments = hart::parseFrames(in);
    std::size_t next = 0;
    for (const hart::FrameSegment& s : segments) {
        ASSERT_EQ(s.offset, next);
        ASSERT_GT(s.length, 0u);
        next += s.length;
        ASSERT_LE(next, in.size());
        if (!s.frame) continue;
        const hart::Frame& f = *s.frame;
        EXPECT_GE(f.preambles, 1u);
        EXPECT_EQ(in[s.offset + f.preambles], f.delimiter);
        if (f.byteCount) {
            EXPECT_LE(f.data.size(), *f.byteCount);
        }
        // Recount the frame from its fields: the length must agree.
        const std::size_t counted = f.preambles + 1 + f.addressBytes.size() + f.expansion.size() +
                                    (f.command ? 1 : 0) + (f.byteCount ? 1 : 0) + f.data.size() +
                                    (f.checksumReceived ? 1 : 0);
        EXPECT_EQ(counted, s.length);
        EXPECT_EQ(f.truncated, !f.checksumReceived);
        if (f.truncated) {
            EXPECT_EQ(next, in.size()) << "only the last frame can be cut";
        }
    }
    EXPECT_EQ(next, in.size());
    for (std::size_t i = 1; i < segments.size(); ++i)
        EXPECT_FALSE(!segments[i - 1].frame && !segments[i].frame) << "unparsed stretches joined";
}

TEST(FrameParser, EveryCutOfTwoFramesIsSafeAndConsistent) {
    const auto chunk = hex("12 FF FF 02 80 00 00 82 " + kCmd3Reply);
    for (std::size_t n = 0; n <= chunk.size(); ++n) {
        SCOPED_TRACE("first " + std::to_string(n) + " bytes");
        expectConsistent({chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n)});
    }
}

TEST(FrameParser, RandomBytesAreSafeAndConsistent) {
    std::mt19937 random(460); // fixed seed: a failure can be replayed
    // Mostly preambles and delimiters, so that frames of every shape appear.
    const std::vector<std::uint8_t> alphabet{0xFF, 0xFF, 0xFF, 0x02, 0x06, 0x01, 0x82,
                                             0x86, 0x81, 0xE2, 0x00, 0x03, 0x1F};
    for (int round = 0; round < 5000; ++round) {
        std::vector<std::uint8_t> in(random() % 64);
        for (std::uint8_t& b : in)
            b = random() % 2 ? alphabet[random() % alphabet.size()]
                             : static_cast<std::uint8_t>(random());
        SCOPED_TRACE(hx(in));
        expectConsistent(in);
        if (HasFailure()) break;
    }
}

} // namespace
