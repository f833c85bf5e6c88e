// Yokogawa and E+H temperature transmitter groups.
//
// Yokogawa: sensor type and connection (131/134), two-wire lead resistance
// (170/171). E+H: per sensor, sensor type, connection and offset are read with
// 144 and written with 145; the write sends back the two bytes that opened the
// read's reply, so each value write is available only once its read has
// succeeded, and only until another sensor number is chosen. The polynomial
// and Callendar-Van Dusen coefficients are written without a read.
#include "devices/devices.h"

#include "devices/channel.h"
#include "devices/coded_list.h"
#include "hart/link_buffer.h"
#include "host/bind.h"
#include "host/makers.h"
#include "host/provenance.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>

namespace devices {

namespace {

// Each text carries its position and, after the first hyphen, its code.
constexpr std::array kYokoSensorItems{
    CodedItem{"00-0C-Pt100 IEC 751", 0x0C},
    CodedItem{"01-0D-Pt200 IEC 751", 0x0D},
    CodedItem{"02-0E-Pt500 IEC 751", 0x0E},
    CodedItem{"03-0F-Pt1000 IEC 751", 0x0F},
    CodedItem{"04-16-Pt100 JIS C1604-81", 0x16},
    CodedItem{"05-49-Ni120 DIN 43760", 0x49},
    CodedItem{"06-5B-Cu10 SAMA RC21-4", 0x5B},
    CodedItem{"07-83-T/C Type B IEC 584", 0x83},
    CodedItem{"08-86-T/C Type E IEC 584", 0x86},
    CodedItem{"09-88-T/C Type J IEC 584", 0x88},
    CodedItem{"10-89-T/C Type K IEC 584", 0x89},
    CodedItem{"11-8A-T/C Type N IEC 584", 0x8A},
    CodedItem{"12-8B-T/C Type R IEC 584", 0x8B},
    CodedItem{"13-8C-T/C Type S IEC 584", 0x8C},
    CodedItem{"14-8D-T/C Type T IEC 584", 0x8D},
    CodedItem{"15-85-T/C Type W3", 0x85},
    CodedItem{"16-84-T/C Type C(W5)", 0x84},
    CodedItem{"17-8E-T/C Type L DIN 43710", 0x8E},
    CodedItem{"18-8F-T/C Type U DIN 43710", 0x8F},
    CodedItem{"19-F0-T/C User table", 0xF0},
    CodedItem{"20-01-Ohms", 0x01},
    CodedItem{"21-81-Millivolts", 0x81},
    CodedItem{"22-FB-No connection", 0xFB},
    CodedItem{"23-other", 0xFF},
};
constexpr CodedList kYokoSensors{kYokoSensorItems, OnUnknown::Other, 23, 0xFF};

// Connection code = position + 2; nothing chosen sends 1.
constexpr std::array kYokoWireItems{
    CodedItem{"Two-wire System", 2},
    CodedItem{"Three-wire System", 3},
    CodedItem{"Four-wire System", 4},
};
constexpr CodedList kYokoWires{kYokoWireItems, OnUnknown::Clear, -1, 0x01};

constexpr std::array kEhSensorItems{
    CodedItem{"00-F1-Pt50 GOST(a=0.003911)", 0xF1},
    CodedItem{"01-0C-Pt100 IEC60751(a=0.00385)", 0x0C},
    CodedItem{"02-16-Pt100 JISC1604-81(a=0.003916)", 0x16},
    CodedItem{"03-2A-Pt100 SAMA(a=0.003923)", 0x2A},
    CodedItem{"04-F2-Pt100 GOST(a=0.003911)", 0xF2},
    CodedItem{"05-0D-Pt200 IEC60751(a=0.00385)", 0x0D},
    CodedItem{"06-0E-Pt500 IEC60751(a=0.00385)", 0x0E},
    CodedItem{"07-0F-Pt1000 IEC60751(a=0.00385)", 0x0F},
    CodedItem{"08-48-Ni100 DIN43760(a=0.006180)", 0x48},
    CodedItem{"09-3F-Ni120 DIN43760(a=0.006180)", 0x3F},
    CodedItem{"10-4A-Ni1000 DIN43760(a=0.006180)", 0x4A},
    CodedItem{"11-51-Cu10 Edison(a=0.004271)", 0x51},
    CodedItem{"12-F3-Cu50 GOST(a=0.004278)", 0xF3},
    CodedItem{"13-F4-Cu100 GOST(a=0.004278)", 0xF4},
    CodedItem{"14-83-TC Type B(PtRh30-PtRh6) IEC60584", 0x83},
    CodedItem{"15-84-TC Type C(W5Re-W26Re) ASTM E988", 0x84},
    CodedItem{"16-85-TC Type D(W3Re-W25Re) ASTM E988", 0x85},
    CodedItem{"17-86-TC Type E(NiCr-CuNi) IEC60584", 0x86},
    CodedItem{"18-88-TC Type J(Fe-CuNi) IEC60584", 0x88},
    CodedItem{"19-89-TC Type K(NiCr-Ni) IEC60584", 0x89},
    CodedItem{"20-8E-TC Type L(Fe-CuNi) IEC60584", 0x8E},
    CodedItem{"21-8A-TC Type N(NiCrSi-NiSi) IEC60584", 0x8A},
    CodedItem{"22-8B-TC Type R(PtRh31-Pt) IEC60584", 0x8B},
    CodedItem{"23-8C-TC Type S(PtRh10-Pt) IEC60584", 0x8C},
    CodedItem{"24-8D-TC Type T(Cu-CuNi) IEC60584", 0x8D},
    CodedItem{"25-8F-TC Type U(Cu-CuNi) IEC60584", 0x8F},
    CodedItem{"26-F0-Polynom RTD", 0xF0},
    CodedItem{"27-03-callendar Van-Dusen", 0x03},
    CodedItem{"28-01-10...400 Ohm", 0x01},
    CodedItem{"29-02-10...2000 Ohm", 0x02},
    CodedItem{"30-81--20..100mv", 0x81},
    CodedItem{"31-other", 0xFF},
};
constexpr CodedList kEhSensors{kEhSensorItems, OnUnknown::Other, 31, 0xFF};

// The connection code is the position: "04_4line" is 2 on the wire.
constexpr std::array kEhWireItems{
    CodedItem{"00_2 line", 0},
    CodedItem{"01_3line", 1},
    CodedItem{"04_4line", 2},
};
constexpr CodedList kEhWires{kEhWireItems, OnUnknown::Clear, -1, 0xFF};

// Coefficient lists: the code is the offset added to the parameter byte.
// With nothing chosen the offset would name a different parameter, so such
// a write is not sent.
constexpr std::array kPolynomItems{
    CodedItem{"Set Coefficient X0", 0}, CodedItem{"Set Coefficient X1", 1},
    CodedItem{"Set Coefficient X2", 2}, CodedItem{"Set Coefficient X3", 3},
    CodedItem{"Set Coefficient X4", 4},
};
constexpr CodedList kPolynom{kPolynomItems, OnUnknown::Keep, -1, std::nullopt};
constexpr std::array kCallendarItems{
    CodedItem{"Coefficient A", 0},
    CodedItem{"Coefficient B", 1},
    CodedItem{"Coefficient C", 2},
    CodedItem{"Coefficient R0", 3},
};
constexpr CodedList kCallendar{kCallendarItems, OnUnknown::Keep, -1, std::nullopt};

// E+H parameter bytes, by sensor: "Sensor Number 1" (position 0) uses the
// first column, anything else the second.
struct EhParameter {
    std::uint8_t sensor1;
    std::uint8_t sensor2;
};
constexpr EhParameter kEhSensorType{0x30, 0x40};
constexpr EhParameter kEhConnection{0x31, 0x41};
constexpr EhParameter kEhOffset{0x35, 0x45};
constexpr EhParameter kEhPolynom{0x38, 0x48};   // + coefficient X0..X4
constexpr EhParameter kEhCallendar{0x60, 0x64}; // + A, B, C, R0
constexpr std::uint8_t kEhFloatMark = 0xFB;     // follows the parameter of a coefficient write

// Reply codes and commands.
constexpr int kYokoQuery = 1131;
constexpr int kYokoSet = 1134;
constexpr int kYokoResistanceQuery = 1170;
constexpr int kYokoResistanceSet = 1171;
constexpr int kEhSensorQuery = 2145;
constexpr int kEhSensorSet = 2146;
constexpr int kEhWireQuery = 2147;
constexpr int kEhWireSet = 2148;
constexpr int kEhOffsetQuery = 2149;
constexpr int kEhOffsetSet = 2150;
constexpr int kEhPolynomSet = 2152;
constexpr int kEhCallendarSet = 2154;

constexpr std::uint8_t kYokoRead = 131;
constexpr std::uint8_t kYokoWrite = 134;
constexpr std::uint8_t kYokoResistanceRead = 170;
constexpr std::uint8_t kYokoResistanceWrite = 171;
constexpr std::uint8_t kEhRead = 144;
constexpr std::uint8_t kEhWrite = 145;

constexpr int kYokoResistanceChars = 5;
constexpr int kEhOffsetChars = 6;

struct Controls {
    QComboBox* yokoSensor;     // YokoSensorTypeList
    QComboBox* yokoWires;      // YokoConnectionList
    QLineEdit* resistance;     // YokoTwoWireResistanceEdit
    QComboBox* sensorNumber;   // TempBIAHO
    QComboBox* ehSensor;       // EHTEMNX
    QComboBox* ehWires;        // EHTEMFS
    QLineEdit* offset;         // EHPIANYI
    QComboBox* polynom;        // POTMXU
    QLineEdit* polynomValue;   // RTDxishu
    QComboBox* callendar;      // CALL_ALP
    QLineEdit* callendarValue; // CALL_ALP_XS
    QPushButton* sensorSet;    // Button57
    QPushButton* wireSet;      // Button60
    QPushButton* offsetSet;    // Button66
};

// The parameter byte of the sensor chosen in "Sensor Number".
std::uint8_t parameter(const Controls& c, EhParameter p) {
    return c.sensorNumber->currentIndex() == 0 ? p.sensor1 : p.sensor2;
}

// The two bytes a successful read kept, sent back first by its write.
void savedBytes(host::Payload& p, int savedAt) {
    const auto& b = p.buffer();
    p.byte(b[static_cast<std::size_t>(savedAt)]);
    p.byte(b[static_cast<std::size_t>(savedAt + 1)]);
}

void yokoSet(const Controls& c, host::Payload& p) {
    p.byte(0x00);
    p.byte(chosenCode(c.yokoSensor, kYokoSensors, "sensor type"));
    p.byte(chosenCode(c.yokoWires, kYokoWires, "connection type"));
}

void resistanceSet(const Controls& c, host::Payload& p) {
    p.wireFloat(c.resistance);
}

void ehSensorQuery(const Controls& c, host::Payload& p) {
    p.byte(parameter(c, kEhSensorType));
}
void ehWireQuery(const Controls& c, host::Payload& p) {
    p.byte(parameter(c, kEhConnection));
}
void ehOffsetQuery(const Controls& c, host::Payload& p) {
    p.byte(parameter(c, kEhOffset));
}

void ehSensorSet(const Controls& c, host::Payload& p) {
    const std::uint8_t code = chosenCode(c.ehSensor, kEhSensors, "sensor type");
    savedBytes(p, hart::lb::kEhSaved2145);
    p.byte(code);
}
void ehWireSet(const Controls& c, host::Payload& p) {
    const std::uint8_t code = chosenCode(c.ehWires, kEhWires, "connection type");
    savedBytes(p, hart::lb::kEhSaved2147);
    p.byte(code);
}
void ehOffsetSet(const Controls& c, host::Payload& p) {
    savedBytes(p, hart::lb::kEhSaved2149);
    p.wireFloat(c.offset);
}

// A coefficient write: the parameter plus the chosen coefficient's offset,
// the float mark, the value.
void ehPolynomSet(const Controls& c, host::Payload& p) {
    const std::uint8_t offset = chosenCode(c.polynom, kPolynom, "coefficient");
    p.byte(static_cast<std::uint8_t>(parameter(c, kEhPolynom) + offset));
    p.byte(kEhFloatMark);
    p.wireFloat(c.polynomValue);
}
void ehCallendarSet(const Controls& c, host::Payload& p) {
    const std::uint8_t offset = chosenCode(c.callendar, kCallendar, "coefficient");
    p.byte(static_cast<std::uint8_t>(parameter(c, kEhCallendar) + offset));
    p.byte(kEhFloatMark);
    p.wireFloat(c.callendarValue);
}

// The Yokogawa and E+H SETs send a code for a list with nothing chosen: only
// what was read, or the user chose, goes out.
void keepYokogawa(const Controls& c, host::Keep& k) {
    k.list(c.yokoSensor, kYokoQuery);
    k.list(c.yokoWires, kYokoQuery);
    k.orRefuse(host::keepRefusal(QStringLiteral("the sensor type and the connection type"),
                                 QStringLiteral("sensor type and connection type")));
}

void keepEhSensor(const Controls& c, host::Keep& k) {
    k.list(c.ehSensor, kEhSensorQuery);
    k.orRefuse(QStringLiteral("Nothing sent: SET writes the sensor type. Press Query first, so "
                              "that the sensor type the device holds is kept."));
}

void keepEhWires(const Controls& c, host::Keep& k) {
    k.list(c.ehWires, kEhWireQuery);
    k.orRefuse(QStringLiteral("Nothing sent: SET writes the connection type. Press Query first, "
                              "so that the connection type the device holds is kept."));
}

// Every button is enabled whatever the port state; the E+H value writes are
// enabled by their reads instead.
constexpr auto kAlways = host::PortGate::Always;
using Row = host::RequestRow<Controls>;
constexpr Row kRequests[] = {
    {.button = "Button52", .replyCode = kYokoQuery, .frame = host::longFrame(kYokoRead),
     .data = channelZero, .echo = host::Echo::Hide, .gate = kAlways, .maker = &host::kYokogawa},
    {.button = "Button53", .replyCode = kYokoSet, .frame = host::longFrame(kYokoWrite),
     .data = yokoSet, .echo = host::Echo::Hide, .gate = kAlways, .keep = keepYokogawa, .maker = &host::kYokogawa},
    {.button = "Button54", .replyCode = kYokoResistanceQuery,
     .frame = host::longFrame(kYokoResistanceRead), .echo = host::Echo::VendorFlag,
     .gate = kAlways, .maker = &host::kYokogawa},
    {.button = "Button55", .replyCode = kYokoResistanceSet,
     .frame = host::longFrame(kYokoResistanceWrite), .data = resistanceSet,
     .echo = host::Echo::Hide, .gate = kAlways, .maker = &host::kYokogawa},
    {.button = "Button56", .replyCode = kEhSensorQuery, .frame = host::longFrame(kEhRead),
     .data = ehSensorQuery, .echo = host::Echo::VendorFlag, .gate = kAlways, .maker = &host::kEndressHauser},
    {.button = "Button59", .replyCode = kEhWireQuery, .frame = host::longFrame(kEhRead),
     .data = ehWireQuery, .echo = host::Echo::Hide, .gate = kAlways, .maker = &host::kEndressHauser},
    {.button = "Button65", .replyCode = kEhOffsetQuery, .frame = host::longFrame(kEhRead),
     .data = ehOffsetQuery, .echo = host::Echo::Hide, .gate = kAlways, .maker = &host::kEndressHauser},
    {.button = "Button57", .replyCode = kEhSensorSet, .frame = host::longFrame(kEhWrite),
     .data = ehSensorSet, .echo = host::Echo::Hide, .gate = kAlways, .keep = keepEhSensor, .maker = &host::kEndressHauser},
    {.button = "Button60", .replyCode = kEhWireSet, .frame = host::longFrame(kEhWrite),
     .data = ehWireSet, .echo = host::Echo::Hide, .gate = kAlways, .keep = keepEhWires, .maker = &host::kEndressHauser},
    {.button = "Button66", .replyCode = kEhOffsetSet, .frame = host::longFrame(kEhWrite),
     .data = ehOffsetSet, .echo = host::Echo::Hide, .gate = kAlways, .maker = &host::kEndressHauser},
    {.button = "Button61", .replyCode = kEhPolynomSet, .frame = host::longFrame(kEhWrite),
     .data = ehPolynomSet, .echo = host::Echo::Hide, .gate = kAlways, .maker = &host::kEndressHauser},
    {.button = "Button62", .replyCode = kEhCallendarSet, .frame = host::longFrame(kEhWrite),
     .data = ehCallendarSet, .echo = host::Echo::Hide, .gate = kAlways, .maker = &host::kEndressHauser},
};

// Reply data of the Yokogawa reads: the channel, then sensor and connection;
// the lead resistance as a float.
constexpr int kYokoSensorCode = 1;
constexpr int kYokoConnectionCode = 2;
constexpr int kResistance = 0;
// E+H reads: two bytes the matching write sends back, then the value.
constexpr int kEhKept = 0;
constexpr int kEhValue = 2;

void showYoko(const Controls& c, const host::Reply& r) {
    showCode(c.yokoSensor, kYokoSensors, r.byte(kYokoSensorCode));
    showCode(c.yokoWires, kYokoWires, r.byte(kYokoConnectionCode));
}

void showResistance(const Controls& c, const host::Reply& r) {
    c.resistance->setText(r.floatText(kResistance, kYokoResistanceChars));
}

// A found E+H reply keeps its first two data bytes for the matching write,
// which becomes available.
void keep(const host::Reply& r, int savedAt, QPushButton* write) {
    write->setEnabled(true);
    r.buffer()[static_cast<std::size_t>(savedAt)] = r.byte(kEhKept);
    r.buffer()[static_cast<std::size_t>(savedAt + 1)] = r.byte(kEhKept + 1);
}

void showEhSensor(const Controls& c, const host::Reply& r) {
    keep(r, hart::lb::kEhSaved2145, c.sensorSet);
    showCode(c.ehSensor, kEhSensors, r.byte(kEhValue));
}
void showEhWires(const Controls& c, const host::Reply& r) {
    keep(r, hart::lb::kEhSaved2147, c.wireSet);
    showCode(c.ehWires, kEhWires, r.byte(kEhValue));
}
void showEhOffset(const Controls& c, const host::Reply& r) {
    keep(r, hart::lb::kEhSaved2149, c.offsetSet);
    c.offset->setText(r.floatText(kEhValue, kEhOffsetChars));
}

// The E+H replies must start within the first eleven bytes.
constexpr host::ReaderRow<Controls> kReaders[] = {
    {kYokoQuery, 3, showYoko},
    {kYokoResistanceQuery, 4, showResistance},
    {.replyCode = kEhSensorQuery,
     .reads = 3,
     .fill = showEhSensor,
     .scan = hart::kFixedWindowScan,
     .failureText = host::status::kUploadFailedPlain},
    {.replyCode = kEhWireQuery,
     .reads = 3,
     .fill = showEhWires,
     .scan = hart::kFixedWindowScan,
     .failureText = host::status::kUploadFailedPlain},
    {.replyCode = kEhOffsetQuery,
     .reads = 6,
     .fill = showEhOffset,
     .scan = hart::kFixedWindowScan,
     .failureText = host::status::kUploadFailedPlain},
};

} // namespace

void buildYokogawaEhTemperature(host::PageHost& host) {
    host::Buttons buttons;
    Controls c{};

    // ---- Yokogawa Temperature Transmitter
    host::FormGroup yoko("GroupBox19", QStringLiteral("Yokogawa Temperature Transmitter"));
    c.yokoSensor = makeCodedCombo("YokoSensorTypeList", kYokoSensors);
    c.yokoSensor->setCurrentIndex(0);
    c.yokoWires = makeCodedCombo("YokoConnectionList", kYokoWires);
    c.yokoWires->setCurrentIndex(0);
    c.resistance = host::makeEdit("YokoTwoWireResistanceEdit");
    yoko.addRow(QStringLiteral("Sensor Type:"), {c.yokoSensor});
    yoko.addRow(QStringLiteral("Connection Type:"),
                {c.yokoWires, buttons.make("Button52", QStringLiteral("Query")),
                 buttons.make("Button53", QStringLiteral("SET"))});
    yoko.addRow(QStringLiteral("Two-wire resistance:"),
                {c.resistance, buttons.make("Button54", QStringLiteral("Query")),
                 buttons.make("Button55", QStringLiteral("SET"))});

    // ---- E+H Temperature Transmitter
    host::FormGroup eh("GroupBox20", QStringLiteral("E+H Temperature Transmitter"));
    c.sensorNumber = host::makeCombo(
        "TempBIAHO", {QStringLiteral("Sensor Number 1"), QStringLiteral("Sensor Number 2")});
    c.sensorNumber->setCurrentIndex(0);
    c.ehSensor = makeCodedCombo("EHTEMNX", kEhSensors);
    c.ehSensor->setCurrentIndex(0);
    c.ehWires = makeCodedCombo("EHTEMFS", kEhWires);
    c.ehWires->setCurrentIndex(0);
    c.offset = host::makeEdit("EHPIANYI");
    c.polynom = makeCodedCombo("POTMXU", kPolynom);
    c.polynom->setCurrentIndex(0);
    c.polynomValue = host::makeEdit("RTDxishu");
    c.callendar = makeCodedCombo("CALL_ALP", kCallendar);
    c.callendar->setCurrentIndex(0);
    c.callendarValue = host::makeEdit("CALL_ALP_XS");

    c.sensorSet = buttons.make("Button57", QStringLiteral("SET"));
    c.wireSet = buttons.make("Button60", QStringLiteral("SET"));
    c.offsetSet = buttons.make("Button66", QStringLiteral("SET"));
    auto* polynomSet = buttons.make("Button61", QStringLiteral("SET"));
    auto* callendarSet = buttons.make("Button62", QStringLiteral("SET"));
    for (auto* b : {c.sensorSet, c.wireSet, c.offsetSet, polynomSet, callendarSet})
        b->setEnabled(false);

    // The SET buttons share the last column with the coefficient writes.
    eh.addRow(QStringLiteral("Sensor Type:"), {c.sensorNumber});
    eh.addRow(QStringLiteral("Sensor Type:"),
              {c.ehSensor, buttons.make("Button56", QStringLiteral("Query")), nullptr,
               c.sensorSet});
    eh.addRow(QStringLiteral("Connection Type:"),
              {c.ehWires, buttons.make("Button59", QStringLiteral("Query")), nullptr, c.wireSet});
    eh.addRow(QStringLiteral("Sensor Unit & Offset:"),
              {c.offset, buttons.make("Button65", QStringLiteral("Query")), nullptr,
               c.offsetSet});
    eh.addRow(QStringLiteral("Polynom_RTD Sensor:"),
              {c.polynom, host::makeLabel(QStringLiteral("Coefficient:")), c.polynomValue,
               polynomSet});
    eh.addRow(QStringLiteral("callendar-Alp(ABC):"),
              {c.callendar, host::makeLabel(QStringLiteral("Coefficient:")), c.callendarValue,
               callendarSet});

    // Choosing a sensor number (the same one included), or typing into the
    // list, withdraws the value writes until their reads succeed again and
    // makes the coefficient writes available.
    auto sensorChosen = [c, polynomSet, callendarSet] {
        for (auto* b : {c.sensorSet, c.wireSet, c.offsetSet})
            b->setEnabled(false);
        for (auto* b : {polynomSet, callendarSet})
            b->setEnabled(true);
    };
    QObject::connect(c.sensorNumber, &QComboBox::activated, c.sensorNumber, sensorChosen);
    QObject::connect(c.sensorNumber->lineEdit(), &QLineEdit::textEdited, c.sensorNumber,
                     sensorChosen);

    host.place(host::Page::RosemountEhTemperature, yoko.box(), 1, 1);
    host.place(host::Page::RosemountEhTemperature, eh.box(), 2, 0, 1, 2);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);
}

} // namespace devices
