// Line settings as the device holds them after OpenPort and after setters, and
// the read-back that tells whether the device took them.
#include "serial/kernel_termios.h"
#include "serial/line_settings.h"
#include "support.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace serialtest;

termios deviceSettings(const TComm& comm) {
    termios t{};
    EXPECT_EQ(::tcgetattr(comm.handle(), &t), 0);
    return t;
}

TEST(CommLineSettings, WindowValuesReachTheDevice) {
    Pty pty;
    TComm comm;
    setWindowValues(comm, pty.path());
    comm.OpenPort();
    const termios t = deviceSettings(comm);

    EXPECT_EQ(cfgetospeed(&t), speed_t{B1200});
    EXPECT_EQ(cfgetispeed(&t), speed_t{B1200});
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    // A pseudo-terminal always reports PARENB cleared (it has no wire to
    // frame), but keeps PARODD: odd, as asked. PARENB itself is checked on
    // the termios mapping (CommProperties.FramingMapsOntoTermios).
    EXPECT_NE(t.c_cflag & PARODD, tcflag_t{0});
    EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS | CMSPAR), tcflag_t{0});
    EXPECT_NE(t.c_cflag & CREAD, tcflag_t{0});
    EXPECT_NE(t.c_cflag & CLOCAL, tcflag_t{0});
    // Received parity not checked, no XON/XOFF, nothing translated.
    EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF | IXANY | ISTRIP | INLCR | IGNCR | ICRNL | PARMRK |
                           IGNPAR | BRKINT),
              tcflag_t{0});
    EXPECT_EQ(t.c_oflag & OPOST, tcflag_t{0});
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), tcflag_t{0});
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

// A setter stores only a change, and a change re-applies every line setting
// at once: a setting altered behind the component's back survives setting an
// unchanged value and is put right by a changed one.
TEST(CommLineSettings, ChangedSettingReappliesAllWhileOpen) {
    Pty pty;
    TComm comm;
    setWindowValues(comm, pty.path());
    comm.OpenPort();

    termios tampered = deviceSettings(comm);
    tampered.c_lflag |= ICANON;
    tampered.c_iflag |= IXON;
    cfsetospeed(&tampered, B9600);
    cfsetispeed(&tampered, B9600);
    ASSERT_EQ(::tcsetattr(comm.handle(), TCSANOW, &tampered), 0);

    comm.setBaudRate(1200);       // unchanged: nothing is applied
    comm.setParity(TParity::Odd); // unchanged
    termios t = deviceSettings(comm);
    EXPECT_EQ(cfgetospeed(&t), speed_t{B9600});
    EXPECT_NE(t.c_lflag & ICANON, tcflag_t{0});

    comm.setBaudRate(2400);
    t = deviceSettings(comm);
    EXPECT_EQ(cfgetospeed(&t), speed_t{B2400});
    EXPECT_EQ(t.c_lflag & ICANON, tcflag_t{0});
    EXPECT_EQ(t.c_iflag & IXON, tcflag_t{0});

    comm.setOutx_XonXoffFlow(true);
    comm.setXonChar(0x01);
    t = deviceSettings(comm);
    EXPECT_NE(t.c_iflag & IXON, tcflag_t{0});
    EXPECT_EQ(t.c_cc[VSTART], 0x01);

    comm.setBaudRate(250000); // no Bxxx code for it
    EXPECT_EQ(rxserial::currentBaud(comm.handle()), 250000);
}

TEST(CommLineSettings, SettingsMadeWhileClosedApplyAtOpen) {
    Pty pty;
    TComm comm;
    setWindowValues(comm, pty.path());
    comm.setBaudRate(19200);
    comm.setStopBits(TStopBits::_2);
    comm.setInx_XonXoffFlow(true);
    comm.OpenPort();
    const termios t = deviceSettings(comm);
    EXPECT_EQ(cfgetospeed(&t), speed_t{B19200});
    EXPECT_NE(t.c_cflag & CSTOPB, tcflag_t{0});
    EXPECT_NE(t.c_iflag & IXOFF, tcflag_t{0});
}

} // namespace

namespace {

// What the read-back reports for a device that changed what it was asked.
TEST(CommLineSettings, ReadBackNamesWhatTheDeviceDidNotTake) {
    TComm::LineSettings window;
    window.baudRate = 1200;
    window.parity = TParity::Odd;
    window.outxXonXoffFlow = false;
    window.inxXonXoffFlow = false;
    termios asked{};
    ASSERT_TRUE(rxserial::toTermios(window, asked));

    struct Row {
        const char* name;
        bool framed; // false: a pseudo-terminal
        std::function<void(rxserial::DeviceSettings&)> change;
        std::vector<std::string> expected;
    };
    const auto clear = [](tcflag_t termios::*word, tcflag_t bits) {
        return [=](rxserial::DeviceSettings& d) { d.t.*word &= ~bits; };
    };
    const auto set = [](tcflag_t termios::*word, tcflag_t bits) {
        return [=](rxserial::DeviceSettings& d) { d.t.*word |= bits; };
    };
    const Row rows[] = {
        {"all taken", true, [](rxserial::DeviceSettings&) {}, {}},
        {"speed 1 % off", true, [](rxserial::DeviceSettings& d) { d.outputBaud = 1188; }, {}},
        {"speed refused",
         true,
         [](rxserial::DeviceSettings& d) { d.outputBaud = 9600; },
         {"speed 1200 baud (the device runs at 9600 baud)"}},
        {"input speed apart",
         true,
         [](rxserial::DeviceSettings& d) { d.inputBaud = 2400; },
         {"speed 1200 baud (the device runs at 1200 baud out, 2400 baud in)"}},
        {"parity dropped by a UART", true, clear(&termios::c_cflag, PARENB), {"parity"}},
        {"parity dropped by a pty", false, clear(&termios::c_cflag, PARENB), {}},
        {"odd turned even", false, clear(&termios::c_cflag, PARODD), {"parity"}},
        {"mark parity where odd was asked", true, set(&termios::c_cflag, CMSPAR), {"parity"}},
        {"7 data bits on a UART",
         true,
         [](rxserial::DeviceSettings& d) { d.t.c_cflag = (d.t.c_cflag & ~CSIZE) | CS7; },
         {"data bits"}},
        {"7 data bits on a pty",
         false,
         [](rxserial::DeviceSettings& d) { d.t.c_cflag = (d.t.c_cflag & ~CSIZE) | CS7; },
         {}},
        {"no hardware flow control",
         true,
         set(&termios::c_cflag, CRTSCTS),
         {"hardware flow control"}},
        {"still canonical and echoing",
         true,
         [](rxserial::DeviceSettings& d) {
             d.t.c_lflag |= ICANON | ECHO;
             d.t.c_iflag |= ICRNL;
         },
         {"raw mode"}},
        {"XON character",
         true,
         [](rxserial::DeviceSettings& d) { d.t.c_cc[VSTART] = 0x01; },
         {"XON character"}},
        {"reads wait for 4 bytes",
         true,
         [](rxserial::DeviceSettings& d) { d.t.c_cc[VMIN] = 4; },
         {"read mode"}},
        {"two stop bits and XON/XOFF",
         false,
         [](rxserial::DeviceSettings& d) {
             d.t.c_cflag |= CSTOPB;
             d.t.c_iflag |= IXON;
         },
         {"stop bits", "XON/XOFF flow control"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        rxserial::DeviceSettings got{asked, 1200, 0};
        row.change(got);
        EXPECT_EQ(rxserial::settingsNotTaken(asked, 1200, got, row.framed), row.expected);
    }
}

TEST(CommLineSettings, OnlyAPseudoTerminalFramesNoCharacters) {
    Pty pty;
    const int slave = ::open(pty.path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    EXPECT_FALSE(rxserial::framesCharacters(slave));
    ::close(slave);
    const int null = ::open("/dev/null", O_RDWR);
    ASSERT_GE(null, 0);
    EXPECT_TRUE(rxserial::framesCharacters(null)); // a character device, not a pty
    ::close(null);
}

} // namespace
