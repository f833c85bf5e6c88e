// OpenPort's failures, ClosePort, the far side going away, and the threads'
// lifetime.
#include "support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

// The component's own worker threads, by the names they give themselves
// (a sanitizer's helper threads come and go on their own).
int threadCount() {
    int n = 0;
    QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("rx460k-")) ++n;
    }
    return n;
}

// Sends a block each way and checks both arrive.
void expectRoundTrip(TComm& comm, Recorder& seen, Pty& pty) {
    const QByteArray out = pattern(16, 1);
    ASSERT_TRUE(comm.SendBlock(out.constData(), static_cast<std::uint16_t>(out.size())));
    QByteArray atMaster;
    EXPECT_TRUE(waitUntil([&] { return (atMaster += pty.readAvailable()).size() >= out.size(); }));
    EXPECT_EQ(atMaster, out);

    const QByteArray in = pattern(16, 2);
    const QByteArray before = seen.received();
    pty.write(in);
    EXPECT_TRUE(waitUntil([&] { return seen.receivedSize() >= before.size() + in.size(); }));
    EXPECT_EQ(seen.received(), before + in);
}

TEST(CommOpen, FailuresRaiseTheirMessageAndLeaveItClosed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plainFile = dir.filePath(QStringLiteral("not-a-port"));
    {
        QFile file(plainFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const std::pair<QString, const char*> rows[] = {
        {QStringLiteral("/dev/rx460k-no-such-device"), "Error opening serial port"},
        {dir.path(), "Error opening serial port"}, // a directory cannot be opened read-write
        {QStringLiteral("/dev/null"), "File handle is not a comm handle "},
        {plainFile, "File handle is not a comm handle "},
    };
    for (const auto& [name, message] : rows) {
        SCOPED_TRACE(name.toStdString());
        TComm comm;
        comm.setCommName(name);
        EXPECT_EQ(openError(comm), message);
        EXPECT_FALSE(comm.isOpen());
        EXPECT_EQ(comm.handle(), -1);
        EXPECT_FALSE(comm.SendBlock("x", 1));
    }
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
    EXPECT_EQ(openError(second), "Error opening serial port");
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
    const int before = threadCount();
    auto comm = std::make_unique<TComm>();
    setWindowValues(*comm, pty.path());
    comm->OpenPort();
    // A new thread names itself as it starts.
    EXPECT_TRUE(waitUntil([&] { return threadCount() == before + 2; })) << threadCount();
    pty.write(pattern(10)); // leaves a chunk in collection and maybe events in the queue
    comm.reset();
    EXPECT_TRUE(waitUntil([&] { return threadCount() == before; })) << threadCount();
}

TEST(CommOpen, FarSideClosingPostsHangupThenCloseAndReopenWork) {
    auto pty = std::make_unique<Pty>();
    TComm comm;
    Recorder seen(comm);
    setWindowValues(comm, pty->path());
    comm.setReadIntervalTimeout(50);
    comm.OpenPort();

    pty->write(pattern(5));
    EXPECT_TRUE(waitUntil([&] { return seen.receivedSize() == 5; }));
    pty->closeMaster(); // the kernel discards what the slave has not read yet
    EXPECT_TRUE(waitUntil([&] { return seen.hangups == 1; }));
    // Both threads have ended: nothing more can be queued.
    EXPECT_TRUE(waitUntil([&] { return !comm.SendBlock("x", 1); }));
    EXPECT_TRUE(comm.isOpen());

    comm.ClosePort();
    EXPECT_FALSE(comm.isOpen());
    EXPECT_EQ(seen.hangups, 1);

    pty = std::make_unique<Pty>();
    comm.setCommName(pty->path());
    comm.OpenPort();
    seen.chunks.clear();
    expectRoundTrip(comm, seen, *pty);
    EXPECT_EQ(seen.hangups, 1);
    EXPECT_FALSE(seen.offMainThread);
}

} // namespace
