#include "serial/line_settings.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <array>
#include <utility>

// What Linux does not offer, and what the properties then do:
//  - Outx_DsrFlow, DsrSensitivity, DtrHandshake: termios has no DSR/DTR flow
//    control; DtrHandshake keeps DTR on while open, the two flags are stored
//    and have no effect.
//  - TxContinueOnXoff, XonLimit, XoffLimit: the tty layer sends XOFF/XON at
//    its own fixed buffer thresholds; stored, no effect.
//  - ReplaceWhenParityError, ReplacedChar: with parity checking on (INPCK)
//    the kernel hands over a byte with a parity or framing error as 0x00 and
//    cannot be told another replacement character.
//  - IgnoreNullChar: no termios flag; the read thread drops 0x00 bytes.
//  - StopBits _1_5: CSTOPB, which the UART turns into 1.5 stop bits only with
//    5 data bits (2 otherwise).
//  - A pseudo-terminal keeps speed, flags and control characters but always
//    reports CS8 without PARENB: it has no wire to frame.

namespace rxserial {

namespace {

constexpr std::array<std::pair<int, speed_t>, 30> kSpeeds{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

constexpr std::array<tcflag_t, 4> kByteSizes{CS5, CS6, CS7, CS8};

// By TParity: None, Odd, Even, Mark, Space.
constexpr std::array<tcflag_t, 5> kParities{
    0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR,
};

template <typename E> constexpr std::size_t index(E e) {
    return static_cast<std::size_t>(e);
}

void setModemLine(int fd, int line, bool on) {
    // Errors are left alone: ENOTTY/EINVAL mean the device has no such line
    // (a pseudo-terminal), which is "not supported here" rather than a
    // failure, and a device that has gone away is reported by the read thread.
    (void)::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

} // namespace

bool toTermios(const TComm::LineSettings& s, termios& t) {
    // Raw: no echo, no canonical mode, no signal characters, no input or
    // output translation; XON/XOFF bytes pass unless flow control is asked for.
    t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                   IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);

    t.c_cflag |= CREAD | CLOCAL | kByteSizes[index(s.byteSize)] | kParities[index(s.parity)];
    if (s.stopBits != TStopBits::_1) t.c_cflag |= CSTOPB;
    if (s.outxCtsFlow || s.rtsControl == TRtsControl::RtsHandshake) t.c_cflag |= CRTSCTS;
    if (s.parityCheck) t.c_iflag |= INPCK;
    if (s.outxXonXoffFlow) t.c_iflag |= IXON;
    if (s.inxXonXoffFlow) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
    // read() returns what is there; the read thread does all the timing.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    for (const auto& [rate, code] : kSpeeds) {
        if (rate == s.baudRate) {
            cfsetispeed(&t, code);
            cfsetospeed(&t, code);
            return true;
        }
    }
    return false;
}

void applyModemLines(int fd, const TComm::LineSettings& s) {
    setModemLine(fd, TIOCM_DTR, s.dtrControl != TDtrControl::DtrDisable);

    // RtsTransmissionAvailable raises RTS only while sending: the kernel's
    // RS-485 mode does that where the driver has it. Without it RTS stays on,
    // as for RtsEnable.
    const bool toggle = s.rtsControl == TRtsControl::RtsTransmissionAvailable;
    serial_rs485 rs485{};
    const bool hasRs485 = ::ioctl(fd, TIOCGRS485, &rs485) == 0;
    if (hasRs485 && ((rs485.flags & SER_RS485_ENABLED) != 0) != toggle) {
        rs485.flags &= ~(SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND | SER_RS485_RTS_AFTER_SEND);
        if (toggle) rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        (void)::ioctl(fd, TIOCSRS485, &rs485);
    }
    if (hasRs485 && toggle) return;
    setModemLine(fd, TIOCM_RTS, s.rtsControl != TRtsControl::RtsDisable);
}

} // namespace rxserial
