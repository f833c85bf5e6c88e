// Received bytes: one event per chunk, chunks end after ReadIntervalTimeout of
// quiet or at 2048 bytes, nothing lost, reordered or altered.
#include "support.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace serialtest;

struct Piece {
    qsizetype bytes;
    std::chrono::milliseconds pauseAfter;
};

struct ChunkCase {
    const char* name;
    int intervalAfterOpen; // ReadIntervalTimeout set while open; 0: keep 300
    int totalConstant;     // ReadTotalTimeoutConstant set while open
    std::vector<Piece> pieces;
    std::vector<qsizetype> chunks;
};

class CommChunking : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(CommChunking, DeliversOneEventPerChunk) {
    const ChunkCase& c = GetParam();
    Pty pty;
    TComm comm;
    Recorder seen(comm);
    setWindowValues(comm, pty.path());
    comm.OpenPort();
    if (c.intervalAfterOpen != 0) comm.setReadIntervalTimeout(c.intervalAfterOpen);
    comm.setReadTotalTimeoutConstant(c.totalConstant);

    qsizetype total = 0;
    for (const auto& piece : c.pieces)
        total += piece.bytes;
    const QByteArray sent = pattern(total);
    // The far side writes on its own thread, so its pauses are real pauses
    // while this thread runs the event loop.
    std::thread farSide([&] {
        qsizetype at = 0;
        for (const auto& piece : c.pieces) {
            pty.write(sent.mid(at, piece.bytes));
            at += piece.bytes;
            std::this_thread::sleep_for(piece.pauseAfter);
        }
    });
    const bool arrived = waitUntil([&] { return seen.receivedSize() >= total; });
    farSide.join();

    EXPECT_TRUE(arrived);
    EXPECT_EQ(seen.chunkSizes(), c.chunks);
    EXPECT_EQ(seen.received(), sent);
    EXPECT_FALSE(seen.offMainThread);
}

using namespace std::chrono_literals;

INSTANTIATE_TEST_SUITE_P(
    Replies, CommChunking,
    ::testing::Values(
        ChunkCase{"GapsShorterThanTheQuietTime",
                  0,
                  0,
                  {{5, 100ms}, {5, 100ms}, {5, 100ms}, {5, 0ms}},
                  {20}},
        ChunkCase{"PauseLongerThanTheQuietTime", 0, 0, {{10, 400ms}, {10, 0ms}}, {10, 10}},
        ChunkCase{"BurstLongerThanTheBuffer", 0, 0, {{5000, 0ms}}, {2048, 2048, 904}},
        ChunkCase{"ShorterQuietTimeSetWhileOpen", 50, 0, {{10, 250ms}, {10, 0ms}}, {10, 10}},
        ChunkCase{"LongerQuietTimeSetWhileOpen", 1500, 0, {{10, 500ms}, {10, 0ms}}, {20}},
        // The total deadline counts from a chunk's first byte: 750 ms cut a
        // steady trickle into chunks although it is never quiet for 2 s.
        ChunkCase{"TotalTimeoutEndsAChunk",
                  2000,
                  750,
                  {{5, 300ms}, {5, 300ms}, {5, 300ms}, {5, 300ms}, {5, 300ms}, {5, 0ms}},
                  {15, 15}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommReceive, EveryByteValuePassesUnchanged) {
    Pty pty;
    TComm comm;
    Recorder seen(comm);
    setWindowValues(comm, pty.path());
    comm.setReadIntervalTimeout(50);
    comm.OpenPort();

    // XON, XOFF, CR, LF, ETX (^C), DEL and 0xFF first, then all 256 values.
    QByteArray sent("\x11\x13\x0D\x0A\x03\x7F\xFF", 7);
    for (int b = 0; b < 256; ++b)
        sent += static_cast<char>(b);
    pty.write(sent);
    EXPECT_TRUE(waitUntil([&] { return seen.receivedSize() >= sent.size(); }));
    EXPECT_EQ(seen.received().toHex(' '), sent.toHex(' '));
}

TEST(CommReceive, IgnoreNullCharDropsZeroBytes) {
    Pty pty;
    TComm comm;
    Recorder seen(comm);
    setWindowValues(comm, pty.path());
    comm.setReadIntervalTimeout(50);
    comm.OpenPort();
    comm.setIgnoreNullChar(true);

    pty.write(QByteArray("\x00\x41\x00\x00\x42\x00", 6));
    pty.write(QByteArray("\x43", 1));
    EXPECT_TRUE(waitUntil([&] { return seen.receivedSize() >= 3; }));
    EXPECT_EQ(seen.received(), QByteArray("ABC"));
}

} // namespace
