// Line settings as the device holds them after OpenPort and after setters.
#include "serial/custom_baud.h"
#include "support.h"

#include <termios.h>

#include <gtest/gtest.h>

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
