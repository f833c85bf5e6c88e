// The device going away while open (here: the pty's master side closing, as
// a USB modem's tty hangs up when it is unplugged): one hang-up event on the
// main thread after the data read before it, with its cause, no thread left
// running, a clean ClosePort and a working reopen.
#include "serial/comm_session.h"
#include "support.h"

#include <poll.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace serialtest;

double processCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Share of one CPU this process used while the event loop ran for `window`.
// The process's own use does not grow with other load on the machine.
double cpuShareOver(std::chrono::milliseconds window) {
    const double cpuBefore = processCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    waitUntil([] { return false; }, window); // the measuring window itself
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallBefore;
    return (processCpuSeconds() - cpuBefore) / wall.count();
}

std::string withoutQueueEmpties(std::string sequence) {
    std::erase(sequence, 'E');
    return sequence;
}

struct LossCase {
    const char* name;
    // Brings the open port into the state in which the device goes.
    std::function<void(TComm&, Recorder&, Pty&)> prepare;
    QByteArray received;  // delivered before the hang-up
    std::string sequence; // events apart from "send queue empty"
};

void PrintTo(const LossCase& c, std::ostream* os) {
    *os << c.name;
}

class CommDeviceLoss : public ::testing::TestWithParam<LossCase> {};

TEST_P(CommDeviceLoss, ReportedOnceThenClosedAndReopened) {
    const LossCase& c = GetParam();
    auto pty = std::make_unique<Pty>();
    TComm comm;
    Recorder seen(comm);
    setWindowValues(comm, pty->path());
    const int threadsBefore = workerThreadCount();
    const int fdsBefore = openFdCount();
    comm.OpenPort();
    // Both threads running (each names itself as it starts), so that their
    // end below is their own doing.
    ASSERT_TRUE(waitUntil([&] { return workerThreadCount() == threadsBefore + 2; }));
    c.prepare(comm, seen, *pty);

    EXPECT_EQ(comm.hangupError(), 0);
    EXPECT_EQ(comm.hangupCause(), "");

    pty->closeMaster();
    ASSERT_TRUE(waitUntil([&] { return seen.hangups == 1; }));
    EXPECT_EQ(withoutQueueEmpties(seen.sequence), c.sequence);
    EXPECT_EQ(seen.received(), c.received);
    // A hung-up terminal reads as end of file but answers everything else,
    // writes included, with EIO; that is the cause whichever thread met it.
    EXPECT_EQ(comm.hangupError(), EIO);
    EXPECT_EQ(comm.hangupCause(), "Input/output error");
    // Both threads end on their own: nothing is left to spin on the dead
    // device, and nothing more can be queued.
    EXPECT_TRUE(waitUntil([&] { return workerThreadCount() == threadsBefore; }));
    EXPECT_FALSE(comm.SendBlock("x", 1));
    // Idle, the process uses about 1 %; a thread spinning on the dead device
    // gets at least its share of the machine (40 % at a load of 7 on two
    // cores), so 5 % tells the two apart whatever else runs.
    EXPECT_LT(cpuShareOver(std::chrono::milliseconds(300)), 0.05);
    EXPECT_EQ(seen.hangups, 1);
    EXPECT_TRUE(comm.isOpen()); // until the application closes it

    // Flushing and putting back the settings fail on the hung-up device;
    // the port closes all the same, every descriptor with it.
    comm.ClosePort();
    EXPECT_FALSE(comm.isOpen());
    EXPECT_EQ(comm.handle(), -1);
    EXPECT_TRUE(comm.sendQueueEmpty());
    EXPECT_EQ(openFdCount(), fdsBefore - 1); // less the master the test closed
    EXPECT_EQ(comm.hangupError(), EIO);      // still there to be shown after closing

    pty = std::make_unique<Pty>();
    comm.setCommName(pty->path());
    comm.setReadIntervalTimeout(300);
    comm.OpenPort();
    EXPECT_EQ(comm.hangupError(), 0); // a new session has lost nothing yet
    EXPECT_EQ(comm.hangupCause(), "");
    seen.chunks.clear();
    expectRoundTrip(comm, seen, *pty);
    EXPECT_EQ(seen.hangups, 1);
    EXPECT_FALSE(seen.offMainThread);
}

const QByteArray kReply = QByteArray::fromHex("ff ff 86 a6 06 bc 61 4e 03 00 00 00 00 42");

INSTANTIATE_TEST_SUITE_P(
    FarSideCloses, CommDeviceLoss,
    ::testing::Values(LossCase{"WhileIdle",
                               [](TComm&, Recorder& seen, Pty&) {
                                   ASSERT_TRUE(waitUntil([&] { return seen.sendEmpties == 1; }));
                               },
                               {},
                               "H"},
                      // Two blocks of 64 KiB are more than the pty buffers: the write
                      // thread is inside a block, waiting for room, when the device goes.
                      LossCase{"WhileABlockIsBeingWritten",
                               [](TComm& comm, Recorder&, Pty& pty) {
                                   const QByteArray block = pattern(65535, 5);
                                   ASSERT_TRUE(comm.SendBlock(block.constData(), 65535));
                                   ASSERT_TRUE(comm.SendBlock(block.constData(), 65535));
                                   pollfd fd{pty.master(), POLLIN, 0};
                                   ASSERT_TRUE(waitUntil([&] { return ::poll(&fd, 1, 0) > 0; }));
                                   EXPECT_FALSE(comm.sendQueueEmpty());
                               },
                               {},
                               "H"},
                      // The chunk is still being collected (a minute of quiet would end
                      // it): the hang-up sends it on first.
                      LossCase{"WhileAChunkIsBeingCollected",
                               [](TComm& comm, Recorder& seen, Pty& pty) {
                                   comm.setReadIntervalTimeout(60'000);
                                   pty.write(kReply);
                                   ASSERT_TRUE(waitUntil([&] { return comm.bytesRead() == 14; }));
                                   EXPECT_TRUE(seen.chunks.empty());
                               },
                               kReply, "DH"}),
    [](const auto& info) { return std::string(info.param.name); });

// The application closes the port from inside the event, as the Close button
// would, and may open a new device at once.
TEST(CommDeviceLossHandler, MayCloseAndReopenFromInsideTheEvent) {
    auto pty = std::make_unique<Pty>();
    auto next = std::make_unique<Pty>();
    TComm comm;
    Recorder seen(comm);
    setWindowValues(comm, pty->path());
    const int threadsBefore = workerThreadCount();
    int hangups = 0;
    // The cause as the handler sees it on entry, after ClosePort, and after
    // the next OpenPort.
    std::vector<std::string> causes;
    comm.OnRequestHangup = [&](QObject* sender) {
        EXPECT_EQ(sender, &comm);
        ++hangups;
        causes.push_back(comm.hangupCause());
        comm.ClosePort();
        causes.push_back(comm.hangupCause());
        comm.setCommName(next->path());
        comm.OpenPort();
        causes.push_back(comm.hangupCause());
    };
    comm.OpenPort();
    pty->closeMaster();
    ASSERT_TRUE(waitUntil([&] { return hangups == 1; }));
    EXPECT_EQ(causes, (std::vector<std::string>{"Input/output error", "Input/output error", ""}));
    EXPECT_TRUE(comm.isOpen());
    // The new open's two threads (they name themselves as they start), no more.
    EXPECT_TRUE(waitUntil([&] { return workerThreadCount() == threadsBefore + 2; }));
    expectRoundTrip(comm, seen, *next);
    EXPECT_EQ(hangups, 1);
}

// A hang-up still queued when the port is closed concerns a session that is
// over: it must not reach the application, least of all after a reopen.
TEST(CommDeviceLossAfterClose, StaleHangupIsDropped) {
    auto pty = std::make_unique<Pty>();
    TComm comm;
    Recorder seen(comm);
    setWindowValues(comm, pty->path());
    const int threadsBefore = workerThreadCount();
    comm.OpenPort();
    ASSERT_TRUE(waitUntilNoEvents([&] { return workerThreadCount() == threadsBefore + 2; }));
    pty->closeMaster();
    // The read thread posts the hang-up and ends; the event stays queued.
    ASSERT_TRUE(waitUntilNoEvents([&] { return workerThreadCount() == threadsBefore; }));
    comm.ClosePort();

    pty = std::make_unique<Pty>();
    comm.setCommName(pty->path());
    comm.OpenPort();
    expectRoundTrip(comm, seen, *pty); // runs the event loop past the stale event
    EXPECT_EQ(seen.hangups, 0);
    EXPECT_TRUE(comm.isOpen());
    // Nor does its cause: the open session has lost nothing.
    EXPECT_EQ(comm.hangupError(), 0);
    EXPECT_EQ(comm.hangupCause(), "");
}

// A write the kernel refuses ends the session with the write's errno, though
// the device never looks hung up to the read thread. n_null fails every
// write with EOPNOTSUPP and gives poll() nothing to report.
TEST(CommDeviceLossCause, AFailedWriteGivesItsErrno) {
    Pty pty;
    TComm comm;
    Recorder seen(comm);
    setWindowValues(comm, pty.path());
    const int threadsBefore = workerThreadCount();
    comm.OpenPort();
    ASSERT_TRUE(waitUntil([&] { return seen.sendEmpties == 1; }));
    if (!takeNothing(comm.handle())) GTEST_SKIP() << "this kernel has no n_null line discipline";

    ASSERT_TRUE(comm.SendBlock(kReply.constData(), static_cast<std::uint16_t>(kReply.size())));
    ASSERT_TRUE(waitUntil([&] { return seen.hangups == 1; }));
    EXPECT_EQ(withoutQueueEmpties(seen.sequence), "H");
    EXPECT_EQ(comm.hangupError(), EOPNOTSUPP);
    EXPECT_EQ(comm.hangupCause(), "Operation not supported");
    EXPECT_TRUE(waitUntil([&] { return workerThreadCount() == threadsBefore; }));
    comm.ClosePort();
    EXPECT_EQ(comm.hangupError(), EOPNOTSUPP);
}

// The words for a cause: the system's text for an errno, a short one for a
// hang-up that came without any.
TEST(CommDeviceLossCause, TextForEachCause) {
    const std::pair<int, std::string> rows[] = {
        {0, "hang-up"},
        {EIO, "Input/output error"},
        {ENXIO, "No such device or address"},
        {EBADF, "Bad file descriptor"},
    };
    for (const auto& [error, text] : rows)
        EXPECT_EQ(rxserial::hangupText(error), text) << error;
}

} // namespace
