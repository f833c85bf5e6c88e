// The frame assembler on its own, with the times of arrival chosen by the
// test: frames found in preambles and noise, split over reads, dropped when
// the line goes quiet in the middle; and the request parser's refusals.

#include "line_client.h"
#include "sim/frame_assembler.h"

#include <gtest/gtest.h>

#include <ostream>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using simtest::Bytes;
using simtest::hex;
using simtest::hexText;
using Clock = sim::FrameAssembler::Clock;

struct Chunk {
    int atMs; // arrival time from the start
    const char* bytes;
};

struct AssemblyRow {
    const char* name;
    std::vector<Chunk> chunks;
    std::vector<const char*> frames; // in order
    bool midFrameAtEnd = false;
};
void PrintTo(const AssemblyRow& x, std::ostream* os) {
    *os << x.name;
}

const AssemblyRow kAssemblyRows[] = {
    {"ShortFrameAfterPreambles", {{0, "FF FF FF FF FF 02 80 00 00 82"}}, {"02 80 00 00 82"}},
    {"LongFrameWithData",
     {{0, "FF FF 82 A6 05 01 02 03 33 04 00 01 03 05 11"}},
     {"82 A6 05 01 02 03 33 04 00 01 03 05 11"}},
    {"TwoFramesInOneRead",
     {{0, "FF FF 02 80 00 00 82 FF FF 02 85 00 00 87"}},
     {"02 80 00 00 82", "02 85 00 00 87"}},
    {"NoiseBeforeTheDelimiter", {{0, "00 86 06 55 FF 02 80 00 00 82"}}, {"02 80 00 00 82"}},
    {"SplitWithinTheGap",
     {{0, "FF FF 82 A6 05"}, {40, "01 02 03 0D"}, {140, "00 2C"}},
     {"82 A6 05 01 02 03 0D 00 2C"}},
    {"GapOfExactly100msKeepsTheFrame", {{0, "FF 02 80 00"}, {100, "00 82"}}, {"02 80 00 00 82"}},
    // Quiet for longer than 100 ms: the cut frame is gone, and the next
    // request is read whole instead of as the cut frame's tail.
    {"QuietGapDropsACutFrame",
     {{0, "FF FF 82 A6 05 01"}, {250, "FF FF 02 85 00 00 87"}},
     {"02 85 00 00 87"}},
    {"ByteCountStillOwed", {{0, "FF 02 80 00 03 01 02"}}, {}, true},
    // The checksum is not the assembler's business: the parser refuses it.
    {"WrongChecksumStillAFrame", {{0, "FF 02 80 00 00 00"}}, {"02 80 00 00 00"}},
    // Reply and burst delimiters start nothing on the master's side.
    {"RepliesAreNotRequests", {{0, "FF 06 80 00 00 86 FF 81 00"}}, {}},
};

class Assembly : public ::testing::TestWithParam<AssemblyRow> {};

TEST_P(Assembly, FramesOut) {
    const AssemblyRow& row = GetParam();
    sim::FrameAssembler assembler;
    const Clock::time_point start{};
    std::vector<std::string> got;
    for (const Chunk& c : row.chunks) {
        const Bytes bytes = hex(c.bytes);
        for (const Bytes& f : assembler.feed(bytes, start + std::chrono::milliseconds(c.atMs)))
            got.push_back(hexText(f));
    }
    EXPECT_EQ(got, std::vector<std::string>(row.frames.begin(), row.frames.end()));
    EXPECT_EQ(assembler.midFrame(), row.midFrameAtEnd);
}

INSTANTIATE_TEST_SUITE_P(Rows, Assembly, ::testing::ValuesIn(kAssemblyRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Assembly, ByteByByteGivesTheSameFrames) {
    const Bytes wire = hex("FF FF FF 82 A6 05 01 02 03 33 04 00 01 03 05 11 FF FF 02 80 00 00 82");
    sim::FrameAssembler assembler;
    std::vector<std::string> got;
    Clock::time_point t{};
    for (std::uint8_t b : wire) {
        t += 9ms; // 1200 baud
        for (const Bytes& f : assembler.feed(Bytes{b}, t))
            got.push_back(hexText(f));
    }
    EXPECT_EQ(got, (std::vector<std::string>{"82 A6 05 01 02 03 33 04 00 01 03 05 11",
                                             "02 80 00 00 82"}));
}

struct ParseRow {
    const char* name;
    const char* frame;
    bool parsed;
};
void PrintTo(const ParseRow& x, std::ostream* os) {
    *os << x.name;
}

const ParseRow kParseRows[] = {
    {"Short", "02 85 00 00 87", true},
    {"Long", "82 A6 05 01 02 03 33 04 00 01 03 05 11", true},
    {"WrongChecksum", "02 80 00 00 00", false},
    {"CountSaysMore", "02 80 00 01 83", false},
    {"CountSaysLess", "02 80 00 00 05 87", false},
    {"ReplyDelimiter", "06 80 00 00 86", false},
    {"JustADelimiter", "82", false},
    {"Empty", "", false},
};

class Parse : public ::testing::TestWithParam<ParseRow> {};

TEST_P(Parse, AcceptsOnlyWholeRequestFrames) {
    const Bytes frame = hex(GetParam().frame);
    EXPECT_EQ(sim::parseRequest(frame).has_value(), GetParam().parsed);
}

INSTANTIATE_TEST_SUITE_P(Rows, Parse, ::testing::ValuesIn(kParseRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Parse, ReadsTheFields) {
    const auto longReq = sim::parseRequest(hex("82 A6 05 01 02 03 33 04 00 01 03 05 11"));
    ASSERT_TRUE(longReq);
    EXPECT_TRUE(longReq->longFrame);
    EXPECT_EQ(longReq->master, 0x80);
    EXPECT_EQ(hexText(Bytes(longReq->longAddress.begin(), longReq->longAddress.end())),
              "26 05 01 02 03"); // master bit off
    EXPECT_EQ(longReq->command, 0x33);
    EXPECT_EQ(hexText(longReq->data), "00 01 03 05");

    const auto shortReq = sim::parseRequest(hex("02 45 00 00 47")); // secondary, burst bit, 5
    ASSERT_TRUE(shortReq);
    EXPECT_FALSE(shortReq->longFrame);
    EXPECT_EQ(shortReq->master, 0x00);
    EXPECT_EQ(shortReq->address, 5);
    EXPECT_TRUE(shortReq->data.empty());
}

// Random lines, cut anywhere: whatever comes out is a whole request frame by
// its own byte count (AddressSanitizer watches the reads).
TEST(Assembly, RandomBytesGiveOnlyWholeFrames) {
    std::mt19937 random(460);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> size(0, 40);
    std::uniform_int_distribution<int> gap(0, 150);
    const std::uint8_t kFavoured[] = {0xFF, 0x02, 0x82, 0x00};
    int frames = 0;
    for (int run = 0; run < 200; ++run) {
        sim::FrameAssembler assembler;
        Clock::time_point t{};
        for (int chunk = 0; chunk < 50; ++chunk) {
            Bytes bytes(static_cast<std::size_t>(size(random)));
            for (auto& b : bytes) {
                const int r = byte(random);
                // Many delimiters and small counts, so frames do complete.
                b = r < 128 ? kFavoured[r % 4] : static_cast<std::uint8_t>(r);
            }
            t += std::chrono::milliseconds(gap(random));
            for (const Bytes& f : assembler.feed(bytes, t)) {
                ++frames;
                ASSERT_TRUE(f[0] == 0x02 || f[0] == 0x82);
                const auto length = sim::requestFrameLength(f);
                ASSERT_TRUE(length);
                ASSERT_EQ(*length, f.size());
                sim::parseRequest(f); // may refuse, must not misread
            }
        }
    }
    EXPECT_GT(frames, 0);
}

} // namespace
