// Published properties, their defaults, device names and the termios mapping.
#include "serial/line_settings.h"
#include "serial/tcomm.h"

#include <QMetaProperty>
#include <QVariant>

#include <gtest/gtest.h>

namespace {

TEST(CommProperties, PublishedWithTheComponentDefaults) {
    struct Row {
        const char* name;
        QVariant value;
    };
    const Row rows[] = {
        {"CommName", QStringLiteral("COM2")},
        {"BaudRate", 9600},
        {"ParityCheck", false},
        {"Outx_CtsFlow", false},
        {"Outx_DsrFlow", false},
        {"DtrControl", QVariant::fromValue(TDtrControl::DtrEnable)},
        {"DsrSensitivity", false},
        {"TxContinueOnXoff", true},
        {"Outx_XonXoffFlow", true},
        {"Inx_XonXoffFlow", true},
        {"ReplaceWhenParityError", false},
        {"IgnoreNullChar", false},
        {"RtsControl", QVariant::fromValue(TRtsControl::RtsEnable)},
        {"XonLimit", 500},
        {"XoffLimit", 500},
        {"ByteSize", QVariant::fromValue(TByteSize::_8)},
        {"Parity", QVariant::fromValue(TParity::None)},
        {"StopBits", QVariant::fromValue(TStopBits::_1)},
        {"XonChar", QVariant::fromValue(char{0x11})},
        {"XoffChar", QVariant::fromValue(char{0x13})},
        {"ReplacedChar", QVariant::fromValue(char{0x00})},
        {"ReadIntervalTimeout", 100},
        {"ReadTotalTimeoutMultiplier", 0},
        {"ReadTotalTimeoutConstant", 0},
        {"WriteTotalTimeoutMultiplier", 0},
        {"WriteTotalTimeoutConstant", 0},
    };
    TComm comm;
    const QMetaObject* meta = comm.metaObject();
    EXPECT_EQ(meta->propertyCount() - meta->propertyOffset(), static_cast<int>(std::size(rows)));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int index = meta->indexOfProperty(row.name);
        ASSERT_GE(index, 0);
        EXPECT_TRUE(meta->property(index).isWritable());
        EXPECT_EQ(meta->property(index).metaType(), row.value.metaType());
        EXPECT_EQ(comm.property(row.name), row.value);
    }
}

TEST(CommProperties, EnumPropertiesTakeTheirNames) {
    TComm comm;
    EXPECT_TRUE(comm.setProperty("Parity", QStringLiteral("Odd")));
    EXPECT_TRUE(comm.setProperty("DtrControl", QStringLiteral("DtrDisable")));
    EXPECT_TRUE(comm.setProperty("StopBits", QStringLiteral("_2")));
    EXPECT_EQ(comm.Parity(), TParity::Odd);
    EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrDisable);
    EXPECT_EQ(comm.StopBits(), TStopBits::_2);
    comm.setBaudRate(1200);
    EXPECT_EQ(comm.property("BaudRate").toInt(), 1200);
}

TEST(CommProperties, CommNameNamesTheDevice) {
    const std::pair<const char*, const char*> rows[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM3", "/dev/ttyS2"},
        {"COM9", "/dev/ttyS8"},
        {"COM12", "/dev/ttyS11"},
        {"com2", "/dev/ttyS1"},
        {"COM0", "COM0"},
        {"COM", "COM"},
        {"COM3x", "COM3x"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/pts/7", "/dev/pts/7"},
    };
    for (const auto& [name, device] : rows)
        EXPECT_EQ(TComm::devicePath(QString::fromLatin1(name)), QString::fromLatin1(device))
            << name;
}

// The termios flags each combination of framing settings must produce.
TEST(CommProperties, FramingMapsOntoTermios) {
    struct Row {
        TByteSize size;
        TParity parity;
        TStopBits stop;
        tcflag_t expected; // of CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
    };
    const Row rows[] = {
        {TByteSize::_8, TParity::Odd, TStopBits::_1, CS8 | PARENB | PARODD},
        {TByteSize::_8, TParity::None, TStopBits::_1, CS8},
        {TByteSize::_7, TParity::Even, TStopBits::_2, CS7 | PARENB | CSTOPB},
        {TByteSize::_6, TParity::Mark, TStopBits::_1, CS6 | PARENB | CMSPAR | PARODD},
        {TByteSize::_5, TParity::Space, TStopBits::_1_5, CS5 | PARENB | CMSPAR | CSTOPB},
    };
    for (const auto& row : rows) {
        TComm::LineSettings s;
        s.byteSize = row.size;
        s.parity = row.parity;
        s.stopBits = row.stop;
        termios t{};
        t.c_cflag = PARENB | PARODD | CMSPAR | CSTOPB | CS5; // leftovers to be replaced
        EXPECT_TRUE(rxserial::toTermios(s, t));
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), row.expected)
            << static_cast<int>(row.size) << '/' << static_cast<int>(row.parity) << '/'
            << static_cast<int>(row.stop);
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), tcflag_t{CREAD | CLOCAL});
    }
}

TEST(CommProperties, FlowControlAndCharactersMapOntoTermios) {
    TComm::LineSettings s; // component defaults: XON/XOFF both ways
    s.xonChar = 0x21;
    s.xoffChar = 0x23;
    s.parityCheck = true;
    s.outxCtsFlow = true;
    termios t{};
    t.c_iflag = IXANY | ICRNL | ISTRIP;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_oflag = OPOST;
    EXPECT_TRUE(rxserial::toTermios(s, t));
    EXPECT_EQ(t.c_iflag, tcflag_t{IXON | IXOFF | INPCK});
    EXPECT_EQ(t.c_lflag, tcflag_t{0});
    EXPECT_EQ(t.c_oflag, tcflag_t{0});
    EXPECT_NE(t.c_cflag & CRTSCTS, tcflag_t{0});
    EXPECT_EQ(t.c_cc[VSTART], 0x21);
    EXPECT_EQ(t.c_cc[VSTOP], 0x23);
    EXPECT_EQ(cfgetospeed(&t), speed_t{B9600});

    s.outxCtsFlow = false;
    s.rtsControl = TRtsControl::RtsHandshake; // RTS handshaking is CRTSCTS as well
    s.baudRate = 250000;                      // no Bxxx code: set through termios2
    EXPECT_FALSE(rxserial::toTermios(s, t));
    EXPECT_NE(t.c_cflag & CRTSCTS, tcflag_t{0});
}

} // namespace
