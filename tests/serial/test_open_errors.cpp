// Open errors that say why: the component's first line, the cause below it,
// errno and its kind kept in ECommsError.
#include "serial/open_error.h"
#include "support.h"

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace {

using namespace serialtest;
using Failure = ECommsError::OpenFailure;

// What OpenPort raised, or nothing.
std::optional<ECommsError> openFailure(TComm& comm) {
    try {
        comm.OpenPort();
    } catch (const ECommsError& e) {
        return e;
    }
    return std::nullopt;
}

const char* const kPermission =
    "Error opening serial port\n"
    "Permission denied on /dev/ttyUSB0: your user is not in the dialout group.\n"
    "Add it with: sudo usermod -aG dialout $USER\n"
    "then log out and back in (the group counts only from a new login).";

TEST(CommOpenError, EachErrnoGivesItsCause) {
    struct Row {
        int error;
        Failure failure;
        const char* message;    // what() in full
        const char* systemText; // glibc's text for the errno
    };
    const Row rows[] = {
        {EACCES, Failure::Permission, kPermission, "Permission denied"},
        {EPERM, Failure::Permission, kPermission, "Operation not permitted"},
        {EBUSY, Failure::Busy,
         "Error opening serial port\n/dev/ttyUSB0 is busy: another program has the port open.",
         "Device or resource busy"},
        {EWOULDBLOCK, Failure::Busy,
         "Error opening serial port\n/dev/ttyUSB0 is busy: another program has the port open.",
         "Resource temporarily unavailable"},
        {ENOENT, Failure::Missing,
         "Error opening serial port\nThere is no serial device at /dev/ttyUSB0.",
         "No such file or directory"},
        {ENODEV, Failure::Missing,
         "Error opening serial port\nThere is no serial device at /dev/ttyUSB0.", "No such device"},
        {ENXIO, Failure::Missing,
         "Error opening serial port\nThere is no serial device at /dev/ttyUSB0.",
         "No such device or address"},
        {EIO, Failure::Missing,
         "Error opening serial port\nThere is no serial device at /dev/ttyUSB0.",
         "Input/output error"},
        {EMFILE, Failure::Other, "Error opening serial port\nToo many open files",
         "Too many open files"},
        {EISDIR, Failure::Other, "Error opening serial port\nIs a directory", "Is a directory"},
        {ELOOP, Failure::Other, "Error opening serial port\nToo many levels of symbolic links",
         "Too many levels of symbolic links"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.systemText);
        const ECommsError e = rxserial::openError(row.error, "/dev/ttyUSB0");
        EXPECT_EQ(std::string(e.what()), row.message);
        EXPECT_EQ(e.error(), row.error);
        EXPECT_EQ(e.openFailure(), row.failure);
        EXPECT_EQ(e.systemText(), row.systemText);
    }
}

TEST(CommOpenError, MessagesWithoutACauseKeepTheirText) {
    const ECommsError plain("This serial port already opened");
    EXPECT_STREQ(plain.what(), "This serial port already opened");
    EXPECT_EQ(plain.error(), 0);
    EXPECT_EQ(plain.openFailure(), Failure::None);
    EXPECT_EQ(plain.systemText(), "");

    const ECommsError event = rxserial::setupError("Unable to create event", EMFILE);
    EXPECT_STREQ(event.what(), "Unable to create event\nToo many open files");
    EXPECT_EQ(event.error(), EMFILE);
}

// What a pseudo-terminal and the file system really produce.
TEST(CommOpenError, RealDevicesAndFilesSayWhy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plainFile = dir.filePath(QStringLiteral("not-a-port"));
    {
        QFile file(plainFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    Pty pty;
    const std::string ptyPath = pty.path().toStdString();
    const std::string busy =
        "Error opening serial port\n" + ptyPath + " is busy: another program has the port open.";

    struct Row {
        const char* name;
        QString path;
        // Another opener holding the device the way the row says; returns its
        // descriptor, or -1 for none.
        std::function<int(const QString&)> holdOpen;
        Failure failure;
        std::string message;
    };
    const auto none = [](const QString&) { return -1; };
    const auto openAndDo = [](std::function<void(int)> step) {
        return [step](const QString& path) {
            const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (fd >= 0) step(fd);
            return fd;
        };
    };
    const Row rows[] = {
        {"missing path", QStringLiteral("/dev/rx460k-no-such-device"), none, Failure::Missing,
         "Error opening serial port\nThere is no serial device at /dev/rx460k-no-such-device."},
        {"directory", dir.path(), none, Failure::Other,
         "Error opening serial port\nIs a directory"},
        {"/dev/null", QStringLiteral("/dev/null"), none, Failure::None,
         "File handle is not a comm handle "},
        {"plain file", plainFile, none, Failure::None, "File handle is not a comm handle "},
        {"pty locked by another program", pty.path(),
         openAndDo([](int fd) { ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0); }), Failure::Busy,
         busy},
        // Root passes TIOCEXCL; the component refuses a device in exclusive
        // mode anyway, so the answer is the same for every user.
        {"pty in exclusive mode", pty.path(),
         openAndDo([](int fd) { ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0); }), Failure::Busy, busy},
    };
    // What the other opener has: its exclusive mode and bytes it has not read.
    const auto holderState = [&](int fd) {
        int exclusive = -1;
        int unread = -1;
        ::ioctl(fd, TIOCGEXCL, &exclusive);
        ::ioctl(fd, FIONREAD, &unread);
        return std::pair(exclusive, unread);
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int other = row.holdOpen(row.path);
        std::pair<int, int> held;
        if (other >= 0) {
            pty.write("abc\n"); // one line: the holder reads in canonical mode
            ASSERT_TRUE(waitUntil([&] { return holderState(other).second == 4; }));
            held = holderState(other);
        }
        TComm comm;
        setWindowValues(comm, row.path);
        const auto error = openFailure(comm);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(std::string(error->what()), row.message);
        EXPECT_EQ(error->openFailure(), row.failure);
        EXPECT_FALSE(comm.isOpen());
        EXPECT_EQ(comm.handle(), -1);
        EXPECT_FALSE(comm.SendBlock("x", 1));
        if (other >= 0) {
            EXPECT_EQ(holderState(other), held); // the refused open touched nothing
            ::ioctl(other, TIOCNXCL);
            ::close(other);
            // Once the other opener has let go, the port opens.
            EXPECT_FALSE(openFailure(comm).has_value());
        }
    }
}

// A speed the device does not run at after it was set fails the open; the
// device is left as it was found and nothing stays open.
TEST(CommOpenError, SettingsTheDeviceDoesNotTakeFailTheOpen) {
    Pty pty;
    termios found{};
    {
        const int fd = ::open(pty.path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::tcgetattr(fd, &found), 0);
        ::close(fd);
    }
    const int fds = openFdCount();
    const int threads = workerThreadCount();
    TComm comm;
    setWindowValues(comm, pty.path());
    comm.setBaudRate(0); // no device runs at 0 baud; a new pty runs at 38400
    const auto error = openFailure(comm);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(std::string(error->what()),
              "Error opening serial port\n"
              "The device did not take these line settings: speed 0 baud (the device runs at "
              "38400 baud).");
    EXPECT_EQ(error->openFailure(), Failure::Settings);
    EXPECT_FALSE(comm.isOpen());
    EXPECT_EQ(openFdCount(), fds);
    EXPECT_EQ(workerThreadCount(), threads);

    termios after{};
    const int fd = ::open(pty.path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0); // not left in exclusive mode either
    ASSERT_EQ(::tcgetattr(fd, &after), 0);
    ::close(fd);
    EXPECT_EQ(after.c_lflag, found.c_lflag); // still canonical: the raw mode was undone
    EXPECT_EQ(after.c_iflag, found.c_iflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&found));

    comm.setBaudRate(1200);
    EXPECT_FALSE(openFailure(comm).has_value());
}

} // namespace
