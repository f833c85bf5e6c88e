// OpenPort and ClosePort: exclusive use, reopening, the device's settings put
// back, and the threads' lifetime.
#include "support.h"

#include "serial/kernel_termios.h"
#include "serial/worker_thread.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace serialtest;

std::string openError(TComm& comm) {
    try {
        comm.OpenPort();
    } catch (const ECommsError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(CommOpen, SecondOpenIsRefusedAndTheFirstKeepsWorking) {
    Pty pty;
    TComm comm;
    Recorder seen(comm);
    setWindowValues(comm, pty.path());
    comm.OpenPort();
    const int handle = comm.handle();

    EXPECT_EQ(openError(comm), "This serial port already opened");
    EXPECT_TRUE(comm.isOpen());
    EXPECT_EQ(comm.handle(), handle);
    expectRoundTrip(comm, seen, pty);
}

TEST(CommOpen, SecondComponentOnTheSameDeviceIsRefused) {
    Pty pty;
    TComm first;
    Recorder seen(first);
    setWindowValues(first, pty.path());
    first.OpenPort();

    TComm second;
    setWindowValues(second, pty.path());
    EXPECT_EQ(openError(second), "Error opening serial port\n" + pty.path().toStdString() +
                                     " is busy: another program has the port open.");
    EXPECT_FALSE(second.isOpen());
    expectRoundTrip(first, seen, pty);

    // Once the first lets go, the device is free again.
    first.ClosePort();
    EXPECT_EQ(openError(second), "(no error)");
}

TEST(CommOpen, CloseIsIdempotentAndTheDeviceCanBeReopened) {
    Pty pty;
    TComm comm;
    Recorder seen(comm);
    comm.ClosePort(); // closed: nothing happens
    setWindowValues(comm, pty.path());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        comm.OpenPort();
        EXPECT_TRUE(comm.isOpen());
        expectRoundTrip(comm, seen, pty);
        comm.ClosePort();
        EXPECT_FALSE(comm.isOpen());
        EXPECT_EQ(comm.handle(), -1);
        EXPECT_TRUE(comm.sendQueueEmpty());
        comm.ClosePort();
    }
}

TEST(CommOpen, DestroyingAnOpenComponentEndsItsThreads) {
    Pty pty;
    const int before = workerThreadCount();
    auto comm = std::make_unique<TComm>();
    setWindowValues(*comm, pty.path());
    comm->OpenPort();
    // A new thread names itself as it starts.
    EXPECT_TRUE(waitUntil([&] { return workerThreadCount() == before + 2; }))
        << workerThreadCount();
    pty.write(pattern(10)); // leaves a chunk in collection and maybe events in the queue
    comm.reset();
    EXPECT_TRUE(waitUntil([&] { return workerThreadCount() == before; })) << workerThreadCount();
}

// The settings the device had before OpenPort are back after ClosePort, a
// speed without a Bxxx code included.
TEST(CommOpen, CloseRestoresTheSettingsFoundAtOpen) {
    struct Row {
        const char* name;
        speed_t speed; // B0: set `customBaud` instead
        int customBaud;
    };
    const Row rows[] = {{"cooked at 4800 baud", B4800, 0}, {"cooked at 250000 baud", B0, 250000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Pty pty;
        const QByteArray path = pty.path().toLocal8Bit();
        termios before{};
        {
            // A line as a terminal program might leave it: canonical, echoing,
            // XON/XOFF, two stop bits, its own XON character.
            const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
            ASSERT_GE(fd, 0);
            termios t{};
            ASSERT_EQ(::tcgetattr(fd, &t), 0);
            t.c_lflag |= ICANON | ECHO;
            t.c_iflag |= IXON | ICRNL;
            t.c_oflag |= OPOST;
            t.c_cflag |= CSTOPB;
            t.c_cc[VSTART] = 0x05;
            t.c_cc[VMIN] = 4;
            if (row.speed != B0) {
                cfsetospeed(&t, row.speed);
                cfsetispeed(&t, row.speed);
            }
            ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
            if (row.customBaud != 0) {
                ASSERT_EQ(rxserial::setCustomBaud(fd, row.customBaud), 0);
            }
            ASSERT_EQ(::tcgetattr(fd, &before), 0); // as the pty holds it
            ::close(fd);
        }
        const int baudBefore = row.customBaud != 0 ? row.customBaud : 4800;

        TComm comm;
        setWindowValues(comm, pty.path());
        comm.OpenPort();
        EXPECT_EQ(rxserial::currentBaud(comm.handle()), 1200);
        comm.ClosePort();

        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios after{};
        ASSERT_EQ(::tcgetattr(fd, &after), 0);
        EXPECT_EQ(rxserial::currentBaud(fd), baudBefore);
        ::close(fd);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(after.c_cc), NCCS),
                  QByteArray(reinterpret_cast<const char*>(before.c_cc), NCCS));
    }
}

// A worker that ignores the close signal: blocks on a pipe nobody writes.
class StuckThread : public TWorkerThread {
public:
    StuckThread() { (void)::pipe(pipe_); }
    ~StuckThread() override {
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }

protected:
    void run() override {
        char byte;
        (void)::read(pipe_[0], &byte, 1);
    }
    const char* threadName() const override { return "rx460k-stuck"; }

private:
    int pipe_[2] = {-1, -1};
};

TEST(CommThreadsDeathTest, WorkerThatDoesNotEndStopsTheProgramNamingIt) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            StuckThread thread;
            thread.start();
            thread.stop(std::chrono::milliseconds(50));
        },
        "serial worker thread \"rx460k-stuck\" did not end within 50 ms");
}

} // namespace
