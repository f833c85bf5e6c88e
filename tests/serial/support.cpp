#include "support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <fcntl.h>
#include <linux/tty.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

namespace serialtest {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    QTimer tick; // makes sure the loop comes back to look at `done`
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool waitUntilNoEvents(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        std::this_thread::sleep_for(5ms); // a polling step, not a wait for the result
    }
    return true;
}

namespace {

// A joined thread can still be listed for a moment while the kernel finishes
// its exit: pthread_join returns once the thread has released its memory,
// before the task is gone from /proc. It then has PF_EXITING among the flags
// in its stat line (the ninth field; the name, in parentheses, may hold
// spaces).
bool exiting(const QString& statPath) {
    QFile stat(statPath);
    // A task that went meanwhile leaves nothing to read.
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray line = stat.readAll();
    const qsizetype nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0) return true;
    const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
    constexpr qsizetype kFlags = 6; // state ppid pgrp session tty_nr tpgid flags
    constexpr unsigned long kPfExiting = 0x4;
    return fields.size() <= kFlags || (fields[kFlags].toULong() & kPfExiting) != 0;
}

} // namespace

int workerThreadCount() {
    int n = 0;
    QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("rx460k-") &&
            !exiting(tasks.filePath(tid + QStringLiteral("/stat"))))
            ++n;
    }
    return n;
}

int openFdCount() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                .size());
}

Pty::Pty() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    ::close(slave); // the component under test opens it by name
    path_ = QString::fromLocal8Bit(name);
}

Pty::~Pty() {
    closeMaster();
}

void Pty::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(master_, bytes.constData() + done,
                                    static_cast<std::size_t>(bytes.size() - done));
        if (put > 0)
            done += put;
        else if (errno != EINTR)
            throw std::runtime_error("write to pty master failed");
    }
}

QByteArray Pty::readAvailable() {
    QByteArray out;
    char buffer[4096];
    pollfd fd{master_, POLLIN, 0};
    while (::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN) != 0) {
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) break;
        out.append(buffer, got);
    }
    return out;
}

void Pty::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

Recorder::Recorder(TComm& comm) {
    comm.OnReceiveData = [this](QObject*, const std::uint8_t* bytes, std::uint16_t length) {
        note('D');
        chunks.emplace_back(reinterpret_cast<const char*>(bytes), length);
    };
    comm.OnRequestHangup = [this](QObject*) {
        note('H');
        ++hangups;
    };
    comm.OnSendDataEmpty = [this](QObject*) {
        note('E');
        ++sendEmpties;
    };
    comm.OnReceiveError = [this](QObject*, std::uint32_t) { note('R'); };
    comm.OnModemStateChange = [this](QObject*, std::uint32_t) { note('M'); };
}

void Recorder::note(char kind) {
    sequence += kind;
    if (QThread::currentThread() != main_) offMainThread = true;
}

QByteArray Recorder::received() const {
    QByteArray all;
    for (const auto& chunk : chunks)
        all += chunk;
    return all;
}

std::vector<qsizetype> Recorder::chunkSizes() const {
    std::vector<qsizetype> sizes;
    for (const auto& chunk : chunks)
        sizes.push_back(chunk.size());
    return sizes;
}

bool takeNothing(int fd) {
    int discipline = N_NULL;
    return ::ioctl(fd, TIOCSETD, &discipline) == 0;
}

bool takeAgain(int fd) {
    int discipline = N_TTY;
    return ::ioctl(fd, TIOCSETD, &discipline) == 0;
}

void setWindowValues(TComm& comm, const QString& device) {
    comm.setCommName(device);
    comm.setBaudRate(1200);
    comm.setParity(TParity::Odd);
    comm.setByteSize(TByteSize::_8);
    comm.setStopBits(TStopBits::_1);
    comm.setReadIntervalTimeout(300);
    comm.setOutx_XonXoffFlow(false);
    comm.setInx_XonXoffFlow(false);
}

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

QByteArray pattern(qsizetype n, int seed) {
    QByteArray bytes(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 7 + (i >> 8) * 13 + seed) & 0xFF);
    return bytes;
}

} // namespace serialtest
