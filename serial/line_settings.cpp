#include "serial/line_settings.h"

#include "serial/kernel_termios.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <system_error>
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

int modemLineError(int result) {
    if (result == 0 || unsupported(errno)) return 0;
    return errno;
}

int setModemLine(int fd, int line, bool on) {
    return modemLineError(::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line));
}

bool dtrOn(const TComm::LineSettings& s) {
    return s.dtrControl != TDtrControl::DtrDisable;
}
bool rtsOn(const TComm::LineSettings& s) {
    return s.rtsControl != TRtsControl::RtsDisable;
}

// The termios bits each setting owns, as they are named to the user. Data
// bits and parity enable are not checked on a pseudo-terminal (wireOnly).
struct FlagCheck {
    const char* name;
    tcflag_t termios::*word;
    tcflag_t mask;
    bool wireOnly;
};

constexpr std::array<FlagCheck, 11> kFlagChecks{{
    {"data bits", &termios::c_cflag, CSIZE, true},
    {"parity", &termios::c_cflag, PARENB, true},
    {"parity", &termios::c_cflag, PARODD | CMSPAR, false},
    {"stop bits", &termios::c_cflag, CSTOPB, false},
    {"hardware flow control", &termios::c_cflag, CRTSCTS, false},
    {"receiver", &termios::c_cflag, CREAD, false},
    {"modem status ignored (CLOCAL)", &termios::c_cflag, CLOCAL, false},
    {"parity checking", &termios::c_iflag, INPCK, false},
    {"XON/XOFF flow control", &termios::c_iflag, IXON | IXOFF | IXANY, false},
    {"raw mode", &termios::c_iflag,
     IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL, false},
    {"raw mode", &termios::c_lflag, ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN, false},
}};

struct CharCheck {
    const char* name;
    int index;
};

constexpr std::array<CharCheck, 4> kCharChecks{{
    {"XON character", VSTART},
    {"XOFF character", VSTOP},
    {"read mode", VMIN},
    {"read mode", VTIME},
}};

bool sameSpeed(int asked, int got) {
    return std::llabs(static_cast<long long>(got) - asked) * 50 <= asked;
}

void addOnce(std::vector<std::string>& names, std::string name) {
    for (const auto& known : names)
        if (known == name) return;
    names.push_back(std::move(name));
}

} // namespace

bool unsupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

bool toTermios(const TComm::LineSettings& s, termios& t) {
    // Raw: no echo, no canonical mode, no signal characters, no input or
    // output translation; XON/XOFF bytes pass unless flow control is asked for.
    t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                   IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    // CIBAUD cleared: the input speed follows the output speed, whatever
    // separate input speed (a custom one, say) the device had before.
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CIBAUD);

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

bool framesCharacters(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return true;
    // Device majors of pseudo-terminal slaves: 3 for the old BSD ones, 136 to
    // 143 for the Unix98 ones under /dev/pts.
    const unsigned int m = major(st.st_rdev);
    return !(m == 3 || (m >= 136 && m <= 143));
}

std::vector<std::string> settingsNotTaken(const termios& asked, int baud, const DeviceSettings& got,
                                          bool framed) {
    std::vector<std::string> names;
    const int input = got.inputBaud == 0 ? got.outputBaud : got.inputBaud;
    if (!sameSpeed(baud, got.outputBaud) || !sameSpeed(baud, input)) {
        std::string runs = std::to_string(got.outputBaud) + " baud";
        if (input != got.outputBaud) runs += " out, " + std::to_string(input) + " baud in";
        names.push_back("speed " + std::to_string(baud) + " baud (the device runs at " + runs +
                        ")");
    }
    for (const auto& check : kFlagChecks) {
        if (check.wireOnly && !framed) continue;
        if (((asked.*check.word ^ got.t.*check.word) & check.mask) != 0) addOnce(names, check.name);
    }
    for (const auto& check : kCharChecks)
        if (asked.c_cc[check.index] != got.t.c_cc[check.index]) addOnce(names, check.name);
    return names;
}

std::optional<Refusal> applyLineSettings(int fd, const TComm::LineSettings& s) {
    const auto failed = [](const char* what) {
        const int error = errno;
        return Refusal{std::string(what) + ": " + std::generic_category().message(error), error};
    };
    termios asked{};
    if (::tcgetattr(fd, &asked) != 0) return failed("Cannot read the line settings");
    const bool standardSpeed = toTermios(s, asked);
    // tcsetattr() succeeds when the device took any part of the request, so
    // success says little: what counts is what the device reports after it.
    // EINVAL is not final either: glibc reads the settings back itself and
    // answers EINVAL when a pseudo-terminal dropped the parity bit, after the
    // kernel took everything else. The read-back below decides.
    if (::tcsetattr(fd, TCSANOW, &asked) != 0 && errno != EINVAL)
        return failed("The device refused the line settings");
    if (!standardSpeed && s.baudRate > 0) {
        if (const int error = setCustomBaud(fd, s.baudRate); error != 0) {
            errno = error;
            return failed("The device refused the speed");
        }
    }
    if (const int error = applyModemLines(fd, s); error != 0) {
        errno = error;
        return failed("The device refused to set DTR and RTS");
    }

    DeviceSettings got{};
    if (::tcgetattr(fd, &got.t) != 0) return failed("Cannot read the line settings back");
    got.outputBaud = currentBaud(fd);
    got.inputBaud = currentInputBaud(fd);
    std::vector<std::string> missing =
        settingsNotTaken(asked, s.baudRate, got, framesCharacters(fd));

    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) == 0) {
        if (((lines & TIOCM_DTR) != 0) != dtrOn(s)) missing.push_back("DTR");
        // With RS-485 direction control the driver moves RTS itself.
        serial_rs485 rs485{};
        const bool toggling =
            ::ioctl(fd, TIOCGRS485, &rs485) == 0 && (rs485.flags & SER_RS485_ENABLED) != 0;
        if (!toggling && ((lines & TIOCM_RTS) != 0) != rtsOn(s)) missing.push_back("RTS");
    } else if (!unsupported(errno)) {
        return failed("Cannot read the modem lines back");
    }
    if (missing.empty()) return std::nullopt;

    std::string list;
    for (const auto& name : missing)
        list += (list.empty() ? "" : ", ") + name;
    return Refusal{"The device did not take these line settings: " + list + ".", 0};
}

int applyModemLines(int fd, const TComm::LineSettings& s) {
    if (const int error = setModemLine(fd, TIOCM_DTR, dtrOn(s)); error != 0) return error;

    // RtsTransmissionAvailable raises RTS only while sending: the kernel's
    // RS-485 mode does that where the driver has it. Without it RTS stays on,
    // as for RtsEnable.
    const bool toggle = s.rtsControl == TRtsControl::RtsTransmissionAvailable;
    serial_rs485 rs485{};
    const bool hasRs485 = ::ioctl(fd, TIOCGRS485, &rs485) == 0;
    if (hasRs485 && ((rs485.flags & SER_RS485_ENABLED) != 0) != toggle) {
        rs485.flags &= ~(SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND | SER_RS485_RTS_AFTER_SEND);
        if (toggle) rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        if (const int error = modemLineError(::ioctl(fd, TIOCSRS485, &rs485)); error != 0)
            return error;
    }
    if (hasRs485 && toggle) return 0;
    return setModemLine(fd, TIOCM_RTS, rtsOn(s));
}

} // namespace rxserial
