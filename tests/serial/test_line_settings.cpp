// Line settings as the device holds them after OpenPort and after setters, and
// the read-back that tells whether the device took them.
#include "serial/kernel_termios.h"
#include "serial/line_settings.h"
#include "support.h"

#include <QMetaProperty>
#include <QVariant>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
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

namespace {

// Settings the device refuses while open: reported through lineSettingsFailed
// from inside the setter, once per run of refusals.
struct Reports {
    explicit Reports(TComm& comm) {
        QObject::connect(&comm, &TComm::lineSettingsFailed, &comm,
                         [this](const QString& message) { messages.push_back(message); });
    }
    std::size_t count() const { return messages.size(); }
    std::string last() const { return messages.empty() ? "" : messages.back().toStdString(); }

    std::vector<QString> messages;
};

// Every property that goes to the device, each changed from the window's values.
struct Change {
    const char* name;
    QVariant value;
};

const Change kLineChanges[] = {
    {"BaudRate", 2400},
    {"ParityCheck", true},
    {"Outx_CtsFlow", true},
    {"Outx_DsrFlow", true},
    {"DtrControl", QVariant::fromValue(TDtrControl::DtrDisable)},
    {"DsrSensitivity", true},
    {"TxContinueOnXoff", false},
    {"Outx_XonXoffFlow", true},
    {"Inx_XonXoffFlow", true},
    {"ReplaceWhenParityError", true},
    {"IgnoreNullChar", true},
    {"RtsControl", QVariant::fromValue(TRtsControl::RtsTransmissionAvailable)},
    {"XonLimit", 100},
    {"XoffLimit", 100},
    {"ByteSize", QVariant::fromValue(TByteSize::_7)},
    {"Parity", QVariant::fromValue(TParity::Even)},
    {"StopBits", QVariant::fromValue(TStopBits::_2)},
    {"XonChar", QVariant::fromValue(char{0x01})},
    {"XoffChar", QVariant::fromValue(char{0x02})},
    {"ReplacedChar", QVariant::fromValue(char{'?'})},
};

bool startsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}
bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The message names the property and ends with the system's text.
void expectReportOf(const std::string& message, const std::string& property,
                    const std::string& systemText) {
    EXPECT_TRUE(startsWith(message, "Line settings not applied (" + property + "): ")) << message;
    EXPECT_TRUE(endsWith(message, ": " + systemText)) << message;
}

TEST(CommLineSettingsRefused, TheTableHoldsEveryPropertyThatGoesToTheDevice) {
    TComm comm;
    const QMetaObject* meta = comm.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const std::string name = meta->property(i).name();
        // The device's name and the read thread's time-outs never reach the device.
        if (name == "CommName" || endsWith(name, "Timeout") || endsWith(name, "Multiplier") ||
            endsWith(name, "Constant"))
            continue;
        EXPECT_TRUE(std::any_of(std::begin(kLineChanges), std::end(kLineChanges),
                                [&](const Change& c) { return name == c.name; }))
            << name;
    }
}

// Each setter checks what became of its change: a pseudo-terminal takes them
// all (the modem lines it lacks are no failure), and one that takes no
// settings at all has each refusal reported, naming the property.
TEST(CommLineSettingsRefused, EverySetterWhileOpenIsChecked) {
    for (const auto& change : kLineChanges) {
        SCOPED_TRACE(change.name);
        {
            Pty pty;
            TComm comm;
            Reports reports(comm);
            setWindowValues(comm, pty.path());
            comm.OpenPort();
            ASSERT_TRUE(comm.setProperty(change.name, change.value));
            EXPECT_EQ(reports.count(), 0u) << reports.last();
            EXPECT_EQ(comm.property(change.name), change.value);
        }
        Pty pty;
        TComm comm;
        Reports reports(comm);
        setWindowValues(comm, pty.path());
        comm.OpenPort();
        if (!takeNothing(comm.handle()))
            GTEST_SKIP() << "this kernel has no n_null line discipline";
        ASSERT_TRUE(comm.setProperty(change.name, change.value));
        ASSERT_EQ(reports.count(), 1u);
        expectReportOf(reports.last(), change.name, "Invalid argument");
        EXPECT_EQ(comm.property(change.name), change.value); // kept as asked
    }
}

// Ways the kernel refuses the settings of an open pseudo-terminal.
struct RefusalCase {
    const char* name;
    std::function<bool(TComm&, Pty&)> refuse; // false: not available here
    std::string systemText;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class CommLineSettingsRefusal : public ::testing::TestWithParam<RefusalCase> {};

// The first refusal is reported and the ones after it are not; the values
// asked for are kept and reach the next device opened, and a reopened port
// reports again.
TEST_P(CommLineSettingsRefusal, ReportedOnceUntilReopened) {
    const RefusalCase& c = GetParam();
    auto pty = std::make_unique<Pty>();
    TComm comm;
    Reports reports(comm);
    setWindowValues(comm, pty->path());
    comm.OpenPort();
    if (!c.refuse(comm, *pty)) GTEST_SKIP() << c.name << " is not available here";

    comm.setParity(TParity::Even);
    ASSERT_EQ(reports.count(), 1u);
    expectReportOf(reports.last(), "Parity", c.systemText);
    comm.setBaudRate(2400);
    comm.setDtrControl(TDtrControl::DtrDisable);
    comm.setXonChar(0x01);
    EXPECT_EQ(reports.count(), 1u) << reports.last();
    EXPECT_EQ(comm.Parity(), TParity::Even);
    EXPECT_EQ(comm.BaudRate(), 2400);
    EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrDisable);
    EXPECT_EQ(comm.XonChar(), 0x01);

    comm.ClosePort();
    pty = std::make_unique<Pty>();
    comm.setCommName(pty->path());
    comm.OpenPort();
    EXPECT_EQ(reports.count(), 1u) << reports.last();
    const termios t = deviceSettings(comm);
    EXPECT_EQ(cfgetospeed(&t), speed_t{B2400});
    EXPECT_EQ(t.c_cflag & PARODD, tcflag_t{0}); // even; PARENB a pty does not keep
    EXPECT_EQ(t.c_cc[VSTART], 0x01);

    ASSERT_TRUE(c.refuse(comm, *pty));
    comm.setStopBits(TStopBits::_2);
    ASSERT_EQ(reports.count(), 2u);
    expectReportOf(reports.last(), "StopBits", c.systemText);
}

INSTANTIATE_TEST_SUITE_P(Kernel, CommLineSettingsRefusal,
                         ::testing::Values(
                             // n_null answers every termios request with EINVAL.
                             RefusalCase{
                                 "NoLineDiscipline",
                                 [](TComm& comm, Pty&) { return takeNothing(comm.handle()); },
                                 "Invalid argument"},
                             // A hung-up terminal answers every request with EIO.
                             RefusalCase{"HungUp",
                                         [](TComm&, Pty& pty) {
                                             pty.closeMaster();
                                             return true;
                                         },
                                         "Input/output error"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A setting the device takes again ends the run: the next refusal is reported.
TEST(CommLineSettingsRefused, ReportedAgainAfterAnApplySucceeded) {
    Pty pty;
    TComm comm;
    Reports reports(comm);
    setWindowValues(comm, pty.path());
    comm.OpenPort();
    if (!takeNothing(comm.handle())) GTEST_SKIP() << "this kernel has no n_null line discipline";
    comm.setParity(TParity::Even);
    ASSERT_EQ(reports.count(), 1u);

    ASSERT_TRUE(takeAgain(comm.handle()));
    comm.setBaudRate(2400);
    EXPECT_EQ(reports.count(), 1u) << reports.last();
    // The whole line went out, the parity refused before included.
    const termios t = deviceSettings(comm);
    EXPECT_EQ(cfgetospeed(&t), speed_t{B2400});
    EXPECT_EQ(t.c_cflag & PARODD, tcflag_t{0});

    ASSERT_TRUE(takeNothing(comm.handle()));
    comm.setStopBits(TStopBits::_2);
    ASSERT_EQ(reports.count(), 2u);
    expectReportOf(reports.last(), "StopBits", "Invalid argument");
}

} // namespace
