// Rosemount 644 and 848T temperature transmitter groups: sensor type and
// connection of a 644 (commands 140/141, and the expanded command 31), and of
// one of four 848T channels (160/155) with that channel's unit (53).
#include "devices/devices.h"

#include "devices/channel.h"
#include "devices/coded_list.h"
#include "host/bind.h"
#include "host/makers.h"
#include "host/provenance.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include <array>
#include <vector>

namespace devices {

namespace {

// The 644/848T sensor codes. The number that starts each text is the list
// position, not the code.
constexpr std::array kSensorItems{
    CodedItem{"0_PT50  a=391", 0x0E},
    CodedItem{"1_PT100  a=385", 0x01},
    CodedItem{"2_PT100  a=391", 0x0F},
    CodedItem{"3_PT100  a=3916", 0x02},
    CodedItem{"4_PT200  a=385", 0x03},
    CodedItem{"5_PT200  a=3916", 0x10},
    CodedItem{"6_PT500  a=385", 0x04},
    CodedItem{"7_Ni120", 0x05},
    CodedItem{"8_Cu10", 0x06},
    CodedItem{"9_Cu50,a=426", 0x0A},
    CodedItem{"10_Cu50,a=428", 0x0B},
    CodedItem{"11_Cu100 a=426", 0x0C},
    CodedItem{"12_Cu100 a=428", 0x0D},
    CodedItem{"13_PT1000 a=385", 0x07},
    CodedItem{"14_Cal vanDusen", 0x08},
    CodedItem{"15_Ohms", 0x00},
    CodedItem{"16_Millivolts", 0x80},
    CodedItem{"17_T/C typ B", 0x81},
    CodedItem{"18_T/C typ E", 0x82},
    CodedItem{"19_T/C typ J", 0x83},
    CodedItem{"20_T/C typ K", 0x84},
    CodedItem{"21_T/C typ N", 0x85},
    CodedItem{"22_T/C typ R", 0x86},
    CodedItem{"23_T/C typ S", 0x87},
    CodedItem{"24_T/C typ T", 0x88},
    CodedItem{"25_T/C  ty DIN L", 0x89},
    CodedItem{"26_T/C  ty DIN U", 0x8C},
    CodedItem{"27_T/C typ W5Re26                  ", 0x8D}, // 18 trailing blanks
    CodedItem{"28_T/C typ GOSTL    ", 0x8F},                // 4 trailing blanks
};
// A code with no item (9, for one) leaves the list as it was.
constexpr CodedList kSensors{kSensorItems, OnUnknown::Keep, -1, std::nullopt};

constexpr std::array kWireItems{
    CodedItem{"2线制", 2},
    CodedItem{"3线制", 3},
    CodedItem{"4线制", 4},
};
constexpr CodedList kWires{kWireItems, OnUnknown::Keep, -1, std::nullopt};

// The expanded-command sensor and wiring lists, each with an "other" item
// that is sent as 0 and shown for every code the other items do not carry.
constexpr std::array kWiringSensorItems{
    CodedItem{"0_PT100 IEC-751", 0x0C},   CodedItem{"1_PT200 IEC-751", 0x0D},
    CodedItem{"2_PT500 IEC-751", 0x0E},   CodedItem{"3_PT100 JISC 1604", 0x16},
    CodedItem{"4_PT200 JISC 1604", 0x17}, CodedItem{"5_T/C typ B", 0x83},
    CodedItem{"6_T/C typ E", 0x86},       CodedItem{"7_T/C typ J", 0x88},
    CodedItem{"8_T/C typ K", 0x89},       CodedItem{"9_other", 0x00},
};
constexpr CodedList kWiringSensors{kWiringSensorItems, OnUnknown::Other, 9, 0x00};

constexpr std::array kWiringItems{
    CodedItem{"2线制", 2},
    CodedItem{"3线制", 3},
    CodedItem{"4线制", 4},
    CodedItem{"other", 0},
};
constexpr CodedList kWirings{kWiringItems, OnUnknown::Other, 3, 0x00};

constexpr std::array kChannelItems{
    CodedItem{"CH1", 1},
    CodedItem{"CH2", 2},
    CodedItem{"CH3", 3},
    CodedItem{"CH4", 4},
};
constexpr CodedList kChannels{kChannelItems, OnUnknown::Keep, -1, std::nullopt};

// HART unit codes.
constexpr std::array kUnitItems{
    CodedItem{"degc", 32},
    CodedItem{"degf", 33},
    CodedItem{"degr", 34},
    CodedItem{"kelvin", 35},
};
constexpr CodedList kUnits{kUnitItems, OnUnknown::Keep, -1, std::nullopt};

// Reply codes and commands.
constexpr int k644Query = 1140;
constexpr int k644Set = 1145;
constexpr int k848Query = 1160;
constexpr int k848Set = 1155;
constexpr int k848Unit = 1153;
constexpr int kWiringQuery = 1181;
constexpr int kWiringSet = 1182;

constexpr std::uint8_t kRead644 = 140;
constexpr std::uint8_t kWrite644 = 141;
constexpr std::uint8_t kRead848 = 160;
constexpr std::uint8_t kWrite848 = 155;
constexpr std::uint8_t kWriteUnit = 53;
constexpr std::uint8_t kExpanded = 31;
// Expanded command numbers carried in the first two data bytes of 31, most
// significant byte first; a 0 byte follows them.
constexpr std::uint8_t kExpandedHigh = 0x04;
constexpr std::uint8_t kWiringRead = 0x01;  // 0x0401
constexpr std::uint8_t kWiringWrite = 0x80; // 0x0480

constexpr int kListRows = 25; // the long sensor lists drop down this far

struct Controls {
    QComboBox* sensor644;    // ComboBox17
    QComboBox* wires644;     // ComboBox18
    QComboBox* channel;      // ComboBox19
    QComboBox* sensor848;    // ComboBox21
    QComboBox* wires848;     // ComboBox20
    QComboBox* unit;         // ComboBox22
    QComboBox* wiringSensor; // ComboBox36
    QComboBox* wiring;       // ComboBox35
};

void set644(const Controls& c, host::Payload& p) {
    p.byte(0x00);
    p.byte(chosenCode(c.sensor644, kSensors, "sensor type"));
    p.byte(chosenCode(c.wires644, kWires, "connection type"));
}

void channel848(const Controls& c, host::Payload& p) {
    p.byte(chosenCode(c.channel, kChannels, "channel"));
}

void set848(const Controls& c, host::Payload& p) {
    channel848(c, p);
    p.byte(chosenCode(c.sensor848, kSensors, "sensor type"));
    p.byte(chosenCode(c.wires848, kWires, "connection type"));
}

void unit848(const Controls& c, host::Payload& p) {
    channel848(c, p);
    p.byte(chosenCode(c.unit, kUnits, "temperature unit"));
}

void readWiring(const Controls&, host::Payload& p) {
    p.bytes(std::array{kExpandedHigh, kWiringRead, std::uint8_t{0x00}});
}

void setWiring(const Controls& c, host::Payload& p) {
    p.bytes(std::array{kExpandedHigh, kWiringWrite, std::uint8_t{0x00}});
    p.byte(chosenCode(c.wiringSensor, kWiringSensors, "sensor type"));
    p.byte(chosenCode(c.wiring, kWirings, "connection type"));
}

// The wiring SET sends 0x00 for a list with nothing chosen: only what the
// query read, or the user chose, goes to the device.
void keepWiring(const Controls& c, host::Keep& k) {
    k.list(c.wiringSensor, kWiringQuery);
    k.list(c.wiring, kWiringQuery);
    k.orRefuse(host::keepRefusal(QStringLiteral("the sensor type and the connection type"),
                                 QStringLiteral("sensor type and connection type")));
}

// Every request of these groups shows its frame only while ShowVendorFrames
// is on. The 644 and 848T buttons are enabled with the port; the wiring
// method's buttons always.
constexpr auto kVendor = host::Echo::VendorFlag;
using Row = host::RequestRow<Controls>;
constexpr Row kRequests[] = {
    {.button = "Button35", .replyCode = k644Query, .frame = host::longFrame(kRead644),
     .data = channelZero, .echo = kVendor, .maker = &host::kRosemount},
    {.button = "Button36", .replyCode = k644Set, .frame = host::longFrame(kWrite644),
     .data = set644, .echo = kVendor, .maker = &host::kRosemount},
    {.button = "Button41", .replyCode = k848Query, .frame = host::longFrame(kRead848),
     .data = channel848, .echo = kVendor, .maker = &host::kRosemount},
    {.button = "Button40", .replyCode = k848Set, .frame = host::longFrame(kWrite848),
     .data = set848, .echo = kVendor, .maker = &host::kRosemount},
    {.button = "Button43", .replyCode = k848Unit, .frame = host::longFrame(kWriteUnit),
     .data = unit848, .echo = kVendor, .maker = &host::kRosemount},
    {.button = "Button70", .replyCode = kWiringQuery, .frame = host::longFrame(kExpanded),
     .data = readWiring, .echo = kVendor, .gate = host::PortGate::Always, .maker = &host::kRosemount},
    {.button = "Button69", .replyCode = kWiringSet, .frame = host::longFrame(kExpanded),
     .data = setWiring, .echo = kVendor, .gate = host::PortGate::Always, .keep = keepWiring, .maker = &host::kRosemount},
};

// Replies of 140 and 160: the channel, then sensor and connection.
constexpr int kSensorCode = 1;
constexpr int kConnectionCode = 2;
// Reply of the expanded read: the expanded command number and a 0 byte first.
constexpr int kWiringSensorCode = 3;
constexpr int kWiringCode = 4;

void show644(const Controls& c, const host::Reply& r) {
    showCode(c.sensor644, kSensors, r.byte(kSensorCode));
    showCode(c.wires644, kWires, r.byte(kConnectionCode));
}

// The channel and unit lists are not touched by the reply.
void show848(const Controls& c, const host::Reply& r) {
    showCode(c.sensor848, kSensors, r.byte(kSensorCode));
    showCode(c.wires848, kWires, r.byte(kConnectionCode));
}

void showWiring(const Controls& c, const host::Reply& r) {
    showCode(c.wiringSensor, kWiringSensors, r.byte(kWiringSensorCode));
    showCode(c.wiring, kWirings, r.byte(kWiringCode));
}

constexpr host::ReaderRow<Controls> kReaders[] = {
    {k644Query, 3, show644},
    {k848Query, 3, show848},
    {.replyCode = kWiringQuery, .reads = 5, .fill = showWiring, .scan = hart::kRosemount644SensorScan},
};

} // namespace

void buildRosemountTemperature(host::PageHost& host) {
    host::Buttons buttons;
    Controls c{};

    // ---- Rosemount 644 Sensor settings
    host::FormGroup g644("GroupBox11", QStringLiteral("Rosemount 644 Sensor settings"));
    c.sensor644 = makeCodedCombo("ComboBox17", kSensors);
    c.sensor644->setMaxVisibleItems(kListRows);
    c.wires644 = makeCodedCombo("ComboBox18", kWires);
    g644.addRow(QStringLiteral("Sensor type:"), {c.sensor644});
    g644.addRow(QStringLiteral("Connection Type:"), {c.wires644});
    g644.addRow(QString(), {buttons.make("Button35", QStringLiteral("Query")),
                            buttons.make("Button36", QStringLiteral("SET"))});

    // ---- Rosemount 848T settings
    host::FormGroup g848("GroupBox12", QStringLiteral("Rosemount 848T settings"));
    c.channel = makeCodedCombo("ComboBox19", kChannels);
    // The list reads "CH1" from the start; CH1 is also what it sends.
    c.channel->setCurrentIndex(0);
    c.sensor848 = makeCodedCombo("ComboBox21", kSensors);
    c.sensor848->setMaxVisibleItems(kListRows);
    c.wires848 = makeCodedCombo("ComboBox20", kWires);
    c.unit = makeCodedCombo("ComboBox22", kUnits);
    c.unit->setCurrentIndex(0);
    g848.addRow(QStringLiteral("Channel:"),
                {c.channel, buttons.make("Button41", QStringLiteral("Query")),
                 buttons.make("Button40", QStringLiteral("SET"))});
    g848.addRow(QStringLiteral("Sensor Type:"), {c.sensor848});
    g848.addRow(QStringLiteral("Connection Type:"), {c.wires848});
    g848.addRow(QStringLiteral("Temperature Unit:"),
                {c.unit, buttons.make("Button43", QStringLiteral("SET"))});

    // ---- Rosemount 644 Sensor and Wiring Method
    host::FormGroup gWiring("GroupBox23",
                            QStringLiteral("Rosemount 644 Sensor and Wiring Method"));
    c.wiringSensor = makeCodedCombo("ComboBox36", kWiringSensors);
    c.wiringSensor->setCurrentIndex(0);
    c.wiring = makeCodedCombo("ComboBox35", kWirings);
    c.wiring->setCurrentIndex(0);
    gWiring.addRow(QStringLiteral("Sensor type:"), {c.wiringSensor});
    gWiring.addRow(QStringLiteral("Connection Type:"), {c.wiring});
    gWiring.addRow(QString(), {buttons.make("Button70", QStringLiteral("Query")),
                               buttons.make("Button69", QStringLiteral("SET"))});

    host.place(host::Page::RosemountEhTemperature, g644.box(), 0, 0);
    host.place(host::Page::RosemountEhTemperature, g848.box(), 0, 1);
    host.place(host::Page::RosemountEhTemperature, gWiring.box(), 1, 0);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);
}

} // namespace devices
