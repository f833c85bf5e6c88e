// Rosemount 644 and 848T temperature transmitter groups: sensor type and
// connection of a 644 (commands 140/141, and the expanded command 31), and of
// one of four 848T channels (160/155) with that channel's unit (53).
#include "ops/ops.h"

#include "app/main_window.h"
#include "app/widgets.h"
#include "vendor/coded_list.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include <array>
#include <vector>

namespace vendor {

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

// Every request of these groups shows its frame only while ShowVendorFrames
// is on.
void send(app::RequestCycle& cycle, int reply, std::uint8_t command,
          const std::vector<std::uint8_t>& data) {
    cycle.begin(reply);
    cycle.sendLong(reply, command, data, {.echo = app::Echo::VendorFlag});
}

// The two queries of 140/160 answer sensor then connection at data bytes 1, 2.
void showSensorReply(app::RequestCycle& cycle, QComboBox* sensor, QComboBox* wires) {
    auto K = cycle.locate(hart::kStandardScan);
    if (!K) {
        cycle.setStatus(QStringLiteral("Upload failed!"));
        return;
    }
    const auto& b = cycle.buffer();
    showCode(sensor, kSensors, b[*K + 12]);
    showCode(wires, kWires, b[*K + 13]);
    cycle.setStatus(QStringLiteral("Upload successful!"));
}

} // namespace

void buildRosemountTemperature(TForm1& form) {
    auto& cycle = form.cycle();

    // ---- Rosemount 644 Sensor settings (port-dependent buttons)
    app::FormGroup g644("GroupBox11", QStringLiteral("Rosemount 644 Sensor settings"));
    auto* sensor644 = makeCodedCombo("ComboBox17", kSensors);
    sensor644->setMaxVisibleItems(kListRows);
    auto* wires644 = makeCodedCombo("ComboBox18", kWires);
    auto* query644 = app::makeButton("Button35", QStringLiteral("Query"));
    auto* set644 = app::makeButton("Button36", QStringLiteral("SET"));
    g644.addRow(QStringLiteral("Sensor type:"), {sensor644});
    g644.addRow(QStringLiteral("Connection Type:"), {wires644});
    g644.addRow(QString(), {query644, set644});

    form.onClick(query644, [&cycle] { send(cycle, k644Query, kRead644, {0x00}); });
    form.onClick(set644, [&cycle, sensor644, wires644] {
        auto codes = chosenCodes(
            cycle, {{sensor644, kSensors, "sensor type"}, {wires644, kWires, "connection type"}});
        if (codes) send(cycle, k644Set, kWrite644, {0x00, (*codes)[0], (*codes)[1]});
    });
    cycle.registerDecoder(
        k644Query, [&cycle, sensor644, wires644] { showSensorReply(cycle, sensor644, wires644); });

    // ---- Rosemount 848T settings (port-dependent buttons)
    app::FormGroup g848("GroupBox12", QStringLiteral("Rosemount 848T settings"));
    auto* channel = makeCodedCombo("ComboBox19", kChannels);
    // The list reads "CH1" from the start; CH1 is also what it sends.
    channel->setCurrentIndex(0);
    auto* sensor848 = makeCodedCombo("ComboBox21", kSensors);
    sensor848->setMaxVisibleItems(kListRows);
    auto* wires848 = makeCodedCombo("ComboBox20", kWires);
    auto* unit = makeCodedCombo("ComboBox22", kUnits);
    unit->setCurrentIndex(0);
    auto* query848 = app::makeButton("Button41", QStringLiteral("Query"));
    auto* set848 = app::makeButton("Button40", QStringLiteral("SET"));
    auto* setUnit = app::makeButton("Button43", QStringLiteral("SET"));
    g848.addRow(QStringLiteral("Channel:"), {channel, query848, set848});
    g848.addRow(QStringLiteral("Sensor Type:"), {sensor848});
    g848.addRow(QStringLiteral("Connection Type:"), {wires848});
    g848.addRow(QStringLiteral("Temperature Unit:"), {unit, setUnit});

    form.onClick(query848, [&cycle, channel] {
        if (auto codes = chosenCodes(cycle, {{channel, kChannels, "channel"}}))
            send(cycle, k848Query, kRead848, *codes);
    });
    form.onClick(set848, [&cycle, channel, sensor848, wires848] {
        auto codes = chosenCodes(cycle, {{channel, kChannels, "channel"},
                                         {sensor848, kSensors, "sensor type"},
                                         {wires848, kWires, "connection type"}});
        if (codes) send(cycle, k848Set, kWrite848, *codes);
    });
    form.onClick(setUnit, [&cycle, channel, unit] {
        auto codes = chosenCodes(
            cycle, {{channel, kChannels, "channel"}, {unit, kUnits, "temperature unit"}});
        if (codes) send(cycle, k848Unit, kWriteUnit, *codes);
    });
    // The channel and unit lists are not touched by the reply.
    cycle.registerDecoder(
        k848Query, [&cycle, sensor848, wires848] { showSensorReply(cycle, sensor848, wires848); });

    // ---- Rosemount 644 Sensor and Wiring Method (always enabled)
    app::FormGroup gWiring("GroupBox23", QStringLiteral("Rosemount 644 Sensor and Wiring Method"));
    auto* wiringSensor = makeCodedCombo("ComboBox36", kWiringSensors);
    wiringSensor->setCurrentIndex(0);
    auto* wiring = makeCodedCombo("ComboBox35", kWirings);
    wiring->setCurrentIndex(0);
    auto* wiringQuery = app::makeButton("Button70", QStringLiteral("Query"));
    auto* wiringSet = app::makeButton("Button69", QStringLiteral("SET"));
    gWiring.addRow(QStringLiteral("Sensor type:"), {wiringSensor});
    gWiring.addRow(QStringLiteral("Connection Type:"), {wiring});
    gWiring.addRow(QString(), {wiringQuery, wiringSet});

    form.onClick(wiringQuery, [&cycle] {
        send(cycle, kWiringQuery, kExpanded, {kExpandedHigh, kWiringRead, 0x00});
    });
    form.onClick(wiringSet, [&cycle, wiringSensor, wiring] {
        auto codes = chosenCodes(cycle, {{wiringSensor, kWiringSensors, "sensor type"},
                                         {wiring, kWirings, "connection type"}});
        if (codes)
            send(cycle, kWiringSet, kExpanded,
                 {kExpandedHigh, kWiringWrite, 0x00, (*codes)[0], (*codes)[1]});
    });
    cycle.registerDecoder(kWiringQuery, [&cycle, wiringSensor, wiring] {
        auto K = cycle.locate(hart::kRosemount644SensorScan);
        if (!K) {
            cycle.setStatus(QStringLiteral("Upload failed!"));
            return;
        }
        const auto& b = cycle.buffer();
        showCode(wiringSensor, kWiringSensors, b[*K + 14]);
        showCode(wiring, kWirings, b[*K + 15]);
        cycle.setStatus(QStringLiteral("Upload successful!"));
    });

    form.addToPage("TabSheet11", g644.box(), 0, 0);
    form.addToPage("TabSheet11", g848.box(), 0, 1);
    form.addToPage("TabSheet11", gWiring.box(), 1, 0);
}

} // namespace vendor
