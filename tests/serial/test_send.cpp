// SendBlock and the write thread: copies, order, completeness, the
// send-queue-empty flag and its event.
#include "support.h"

#include <gtest/gtest.h>

namespace {

using namespace serialtest;

class CommSend : public ::testing::Test {
protected:
    void SetUp() override {
        setWindowValues(comm, pty.path());
        comm.OpenPort();
    }

    // Reads the master until `n` bytes came or the wait gives up.
    QByteArray readAtMaster(qsizetype n) {
        QByteArray got;
        waitUntil([&] { return (got += pty.readAvailable()).size() >= n; });
        return got;
    }

    Pty pty;
    TComm comm;
    Recorder seen{comm};
};

TEST_F(CommSend, RefusedForAnEmptyBlockOrAClosedPort) {
    const char byte = 0x55;
    EXPECT_FALSE(comm.SendBlock(&byte, 0));
    EXPECT_FALSE(comm.SendBlock(nullptr, 1));
    comm.ClosePort();
    EXPECT_FALSE(comm.SendBlock(&byte, 1));
    TComm neverOpened;
    EXPECT_FALSE(neverOpened.SendBlock(&byte, 1));
    EXPECT_TRUE(pty.readAvailable().isEmpty());
}

TEST_F(CommSend, BlocksSentBackToBackArriveCompleteAndInOrder) {
    QByteArray expected;
    QByteArray block;
    for (int i = 1; i <= 60; ++i) {
        block = pattern(i * 7 % 97 + 1, i);
        expected += block;
        ASSERT_TRUE(comm.SendBlock(block.constData(), static_cast<std::uint16_t>(block.size())));
        block.fill('\xEE'); // the component sent its own copy
    }
    EXPECT_EQ(readAtMaster(expected.size()), expected);
    EXPECT_TRUE(waitUntil([&] { return comm.sendQueueEmpty(); }));
}

TEST_F(CommSend, ControlAndHighBytesPassUnchanged) {
    QByteArray sent("\x11\x13\x0D\x0A\x03\x7F\xFF", 7);
    for (int b = 0; b < 256; ++b)
        sent += static_cast<char>(b);
    ASSERT_TRUE(comm.SendBlock(sent.constData(), static_cast<std::uint16_t>(sent.size())));
    EXPECT_EQ(readAtMaster(sent.size()).toHex(' '), sent.toHex(' '));
}

// Two maximal blocks are more than the pseudo-terminal buffers, so the write
// thread meets a full device and must continue each block where it stopped.
TEST_F(CommSend, BlocksLargerThanTheDeviceBufferAreContinued) {
    const QByteArray first = pattern(65535, 3);
    const QByteArray second = pattern(65535, 4);
    ASSERT_TRUE(comm.SendBlock(first.constData(), 65535));
    ASSERT_TRUE(comm.SendBlock(second.constData(), 65535));
    const QByteArray got = readAtMaster(2 * 65535);
    ASSERT_EQ(got.size(), 2 * 65535);
    EXPECT_TRUE(got == first + second);
}

TEST_F(CommSend, QueueEmptyIsReportedAfterStartAndAfterEachWrite) {
    EXPECT_TRUE(waitUntil([&] { return seen.sendEmpties == 1; }));
    EXPECT_TRUE(comm.sendQueueEmpty());

    ASSERT_TRUE(comm.SendBlock("\x02\x80", 2));
    EXPECT_TRUE(waitUntil([&] { return seen.sendEmpties == 2; }));
    EXPECT_EQ(readAtMaster(2), QByteArray("\x02\x80"));
    EXPECT_TRUE(comm.sendQueueEmpty());

    ASSERT_TRUE(comm.SendBlock("\x03", 1));
    EXPECT_TRUE(waitUntil([&] { return seen.sendEmpties == 3; }));
    EXPECT_FALSE(seen.offMainThread);
}

} // namespace
