// Yokogawa and E+H temperature transmitter groups.
//
// Yokogawa: sensor type and connection (131/134), two-wire lead resistance
// (170/171). E+H: per sensor, sensor type, connection and offset are read with
// 144 and written with 145; the write sends back the two bytes that opened the
// read's reply, so each value write is available only once its read has
// succeeded, and only until another sensor number is chosen. The polynomial
// and Callendar-Van Dusen coefficients are written without a read.
#include "ops/ops.h"

#include "app/main_window.h"
#include "app/widgets.h"
#include "hart/encodings.h"
#include "vendor/coded_list.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <vector>

namespace vendor {

namespace {

using namespace hart::lb;

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

void send(app::RequestCycle& cycle, int reply, std::uint8_t command,
          const std::vector<std::uint8_t>& data, app::Echo echo) {
    cycle.sendLong(reply, command, data, {.echo = echo});
}

std::vector<std::uint8_t> withFloat(std::vector<std::uint8_t> head, const QLineEdit* edit) {
    auto f = hart::wireFloatFromText(app::textOf(edit)); // throws before anything is sent
    head.insert(head.end(), f.begin(), f.end());
    return head;
}

// The long reply of an E+H read must start within the first eleven bytes.
// When it does, its first two data bytes are kept for the matching write,
// which becomes available.
std::optional<int> takeEhReply(app::RequestCycle& cycle, int savedAt, QPushButton* write) {
    auto K = cycle.locate(hart::kFixedWindowScan);
    if (!K) {
        cycle.setStatus(QStringLiteral("Upload failed"));
        return std::nullopt;
    }
    auto& b = cycle.buffer();
    write->setEnabled(true);
    b[savedAt] = b[*K + 11];
    b[savedAt + 1] = b[*K + 12];
    return K;
}

} // namespace

void buildYokogawaEhTemperature(TForm1& form) {
    auto& cycle = form.cycle();

    // ---- Yokogawa Temperature Transmitter
    app::FormGroup yoko("GroupBox19", QStringLiteral("Yokogawa Temperature Transmitter"));
    auto* yokoSensor = makeCodedCombo("YokoSensorTypeList", kYokoSensors);
    yokoSensor->setCurrentIndex(0);
    auto* yokoWires = makeCodedCombo("YokoConnectionList", kYokoWires);
    yokoWires->setCurrentIndex(0);
    auto* resistance = app::makeEdit("YokoTwoWireResistanceEdit");
    auto* yokoQuery = app::makeButton("Button52", QStringLiteral("Query"));
    auto* yokoSet = app::makeButton("Button53", QStringLiteral("SET"));
    auto* resistanceQuery = app::makeButton("Button54", QStringLiteral("Query"));
    auto* resistanceSet = app::makeButton("Button55", QStringLiteral("SET"));
    yoko.addRow(QStringLiteral("Sensor Type:"), {yokoSensor});
    yoko.addRow(QStringLiteral("Connection Type:"), {yokoWires, yokoQuery, yokoSet});
    yoko.addRow(QStringLiteral("Two-wire resistance:"),
                {resistance, resistanceQuery, resistanceSet});

    form.onClick(yokoQuery, [&cycle] {
        cycle.begin(kYokoQuery);
        send(cycle, kYokoQuery, kYokoRead, {0x00}, app::Echo::Hide);
    });
    form.onClick(yokoSet, [&cycle, yokoSensor, yokoWires] {
        auto codes = chosenCodes(cycle, {{yokoSensor, kYokoSensors, "sensor type"},
                                         {yokoWires, kYokoWires, "connection type"}});
        if (!codes) return;
        cycle.begin(kYokoSet);
        send(cycle, kYokoSet, kYokoWrite, {0x00, (*codes)[0], (*codes)[1]}, app::Echo::Hide);
    });
    form.onClick(resistanceQuery, [&cycle] {
        cycle.begin(kYokoResistanceQuery);
        send(cycle, kYokoResistanceQuery, kYokoResistanceRead, {}, app::Echo::VendorFlag);
    });
    form.onClick(resistanceSet, [&cycle, resistance] {
        cycle.begin(kYokoResistanceSet);
        send(cycle, kYokoResistanceSet, kYokoResistanceWrite, withFloat({}, resistance),
             app::Echo::Hide);
    });

    cycle.registerDecoder(kYokoQuery, [&cycle, yokoSensor, yokoWires] {
        auto K = cycle.locate(hart::kStandardScan);
        if (!K) {
            cycle.setStatus(QStringLiteral("Upload failed!"));
            return;
        }
        const auto& b = cycle.buffer();
        showCode(yokoSensor, kYokoSensors, b[*K + 12]);
        showCode(yokoWires, kYokoWires, b[*K + 13]);
        cycle.setStatus(QStringLiteral("Upload successful!"));
    });
    cycle.registerDecoder(kYokoResistanceQuery, [&cycle, resistance] {
        auto K = cycle.locate(hart::kStandardScan);
        if (!K) {
            cycle.setStatus(QStringLiteral("Upload failed!"));
            return;
        }
        resistance->setText(QString::fromStdString(
            hart::floatTextOf(cycle.buffer().data() + *K + 11, kYokoResistanceChars)));
        cycle.setStatus(QStringLiteral("Upload successful!"));
    });

    // ---- E+H Temperature Transmitter
    app::FormGroup eh("GroupBox20", QStringLiteral("E+H Temperature Transmitter"));
    auto* sensorNumber = app::makeCombo(
        "TempBIAHO", {QStringLiteral("Sensor Number 1"), QStringLiteral("Sensor Number 2")});
    sensorNumber->setCurrentIndex(0);
    auto* ehSensor = makeCodedCombo("EHTEMNX", kEhSensors);
    ehSensor->setCurrentIndex(0);
    auto* ehWires = makeCodedCombo("EHTEMFS", kEhWires);
    ehWires->setCurrentIndex(0);
    auto* offset = app::makeEdit("EHPIANYI");
    auto* polynom = makeCodedCombo("POTMXU", kPolynom);
    polynom->setCurrentIndex(0);
    auto* polynomValue = app::makeEdit("RTDxishu");
    auto* callendar = makeCodedCombo("CALL_ALP", kCallendar);
    callendar->setCurrentIndex(0);
    auto* callendarValue = app::makeEdit("CALL_ALP_XS");

    auto* sensorQuery = app::makeButton("Button56", QStringLiteral("Query"));
    auto* sensorSet = app::makeButton("Button57", QStringLiteral("SET"));
    auto* wireQuery = app::makeButton("Button59", QStringLiteral("Query"));
    auto* wireSet = app::makeButton("Button60", QStringLiteral("SET"));
    auto* offsetQuery = app::makeButton("Button65", QStringLiteral("Query"));
    auto* offsetSet = app::makeButton("Button66", QStringLiteral("SET"));
    auto* polynomSet = app::makeButton("Button61", QStringLiteral("SET"));
    auto* callendarSet = app::makeButton("Button62", QStringLiteral("SET"));
    for (auto* b : {sensorSet, wireSet, offsetSet, polynomSet, callendarSet})
        b->setEnabled(false);

    // The SET buttons share the last column with the coefficient writes.
    eh.addRow(QStringLiteral("Sensor Type:"), {sensorNumber});
    eh.addRow(QStringLiteral("Sensor Type:"), {ehSensor, sensorQuery, nullptr, sensorSet});
    eh.addRow(QStringLiteral("Connection Type:"), {ehWires, wireQuery, nullptr, wireSet});
    eh.addRow(QStringLiteral("Sensor Unit & Offset:"), {offset, offsetQuery, nullptr, offsetSet});
    eh.addRow(QStringLiteral("Polynom_RTD Sensor:"),
              {polynom, app::makeLabel(QStringLiteral("Coefficient:")), polynomValue, polynomSet});
    eh.addRow(
        QStringLiteral("callendar-Alp(ABC):"),
        {callendar, app::makeLabel(QStringLiteral("Coefficient:")), callendarValue, callendarSet});

    auto parameter = [sensorNumber](EhParameter p) {
        return sensorNumber->currentIndex() == 0 ? p.sensor1 : p.sensor2;
    };

    // Choosing a sensor number (the same one included), or typing into the
    // list, withdraws the value writes until their reads succeed again and
    // makes the coefficient writes available.
    auto sensorChosen = [=] {
        for (auto* b : {sensorSet, wireSet, offsetSet})
            b->setEnabled(false);
        for (auto* b : {polynomSet, callendarSet})
            b->setEnabled(true);
    };
    QObject::connect(sensorNumber, &QComboBox::activated, &form, sensorChosen);
    QObject::connect(sensorNumber->lineEdit(), &QLineEdit::textEdited, &form, sensorChosen);

    form.onClick(sensorQuery, [&cycle, parameter] {
        cycle.begin(kEhSensorQuery);
        send(cycle, kEhSensorQuery, kEhRead, {parameter(kEhSensorType)}, app::Echo::VendorFlag);
    });
    form.onClick(wireQuery, [&cycle, parameter] {
        cycle.begin(kEhWireQuery);
        send(cycle, kEhWireQuery, kEhRead, {parameter(kEhConnection)}, app::Echo::Hide);
    });
    form.onClick(offsetQuery, [&cycle, parameter] {
        cycle.begin(kEhOffsetQuery);
        send(cycle, kEhOffsetQuery, kEhRead, {parameter(kEhOffset)}, app::Echo::Hide);
    });

    form.onClick(sensorSet, [&cycle, ehSensor] {
        auto codes = chosenCodes(cycle, {{ehSensor, kEhSensors, "sensor type"}});
        if (!codes) return;
        const auto& b = cycle.buffer();
        cycle.begin(kEhSensorSet);
        send(cycle, kEhSensorSet, kEhWrite, {b[kEhSaved2145], b[kEhSaved2145 + 1], (*codes)[0]},
             app::Echo::Hide);
    });
    form.onClick(wireSet, [&cycle, ehWires] {
        auto codes = chosenCodes(cycle, {{ehWires, kEhWires, "connection type"}});
        if (!codes) return;
        const auto& b = cycle.buffer();
        cycle.begin(kEhWireSet);
        send(cycle, kEhWireSet, kEhWrite, {b[kEhSaved2147], b[kEhSaved2147 + 1], (*codes)[0]},
             app::Echo::Hide);
    });
    form.onClick(offsetSet, [&cycle, offset] {
        const auto& b = cycle.buffer();
        cycle.begin(kEhOffsetSet);
        send(cycle, kEhOffsetSet, kEhWrite,
             withFloat({b[kEhSaved2149], b[kEhSaved2149 + 1]}, offset), app::Echo::Hide);
    });
    form.onClick(polynomSet, [&cycle, parameter, polynom, polynomValue] {
        auto codes = chosenCodes(cycle, {{polynom, kPolynom, "coefficient"}});
        if (!codes) return;
        cycle.begin(kEhPolynomSet);
        auto p = static_cast<std::uint8_t>(parameter(kEhPolynom) + (*codes)[0]);
        send(cycle, kEhPolynomSet, kEhWrite, withFloat({p, kEhFloatMark}, polynomValue),
             app::Echo::Hide);
    });
    form.onClick(callendarSet, [&cycle, parameter, callendar, callendarValue] {
        auto codes = chosenCodes(cycle, {{callendar, kCallendar, "coefficient"}});
        if (!codes) return;
        cycle.begin(kEhCallendarSet);
        auto p = static_cast<std::uint8_t>(parameter(kEhCallendar) + (*codes)[0]);
        send(cycle, kEhCallendarSet, kEhWrite, withFloat({p, kEhFloatMark}, callendarValue),
             app::Echo::Hide);
    });

    cycle.registerDecoder(kEhSensorQuery, [&cycle, sensorSet, ehSensor] {
        if (auto K = takeEhReply(cycle, kEhSaved2145, sensorSet)) {
            showCode(ehSensor, kEhSensors, cycle.buffer()[*K + 13]);
            cycle.setStatus(QStringLiteral("Upload successful!"));
        }
    });
    cycle.registerDecoder(kEhWireQuery, [&cycle, wireSet, ehWires] {
        if (auto K = takeEhReply(cycle, kEhSaved2147, wireSet)) {
            showCode(ehWires, kEhWires, cycle.buffer()[*K + 13]);
            cycle.setStatus(QStringLiteral("Upload successful!"));
        }
    });
    cycle.registerDecoder(kEhOffsetQuery, [&cycle, offsetSet, offset] {
        if (auto K = takeEhReply(cycle, kEhSaved2149, offsetSet)) {
            offset->setText(QString::fromStdString(
                hart::floatTextOf(cycle.buffer().data() + *K + 13, kEhOffsetChars)));
            cycle.setStatus(QStringLiteral("Upload successful!"));
        }
    });

    form.addToPage("TabSheet11", yoko.box(), 1, 1);
    form.addToPage("TabSheet11", eh.box(), 2, 0, 1, 2);
}

} // namespace vendor
