// Siemens, KROHNE TT50C and ABB TTH200 temperature transmitter groups: sensor
// type and connection of each maker's transmitter, read and written with the
// maker's own commands.
#include "devices/devices.h"

#include "devices/channel.h"
#include "devices/coded_list.h"
#include "hart/link_buffer.h"
#include "host/bind.h"
#include "host/makers.h"
#include "host/provenance.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <vector>

namespace devices {

namespace {

// ---- Siemens: one list naming sensor and wiring together. The SET sends both
// codes; the query answers them in the same places (0x00, sensor, connection).
struct SiemensItem {
    const char* text;
    std::uint8_t sensor;
    std::uint8_t connection;
};
constexpr std::array kSiemensItems{
    SiemensItem{"PT100，A=385  2 WIRE", 0x01, 0x02},
    SiemensItem{"PT100，A=385  4 WIRE", 0x01, 0x04},
    SiemensItem{"T/C，K  2 WIRE", 0x84, 0x02},
    SiemensItem{"T/C，S  2 WIRE", 0x87, 0x02},
};
// What the SET sends while nothing is chosen.
constexpr SiemensItem kSiemensUnselected{"", 0x87, 0x02};

// ---- KROHNE TT50C. An item without a read-back code ("00 None", "13_other",
// the empty ones) sends its code but is never selected by a reply carrying it.
constexpr std::array kKrohneSensorItems{
    CodedItem{"00 None", 0x00, std::nullopt},
    CodedItem{"01-01 PT100, a=385", 0x01},
    CodedItem{"02-02 PT1000,a=385", 0x02},
    CodedItem{"03-03 D100, a=392", 0x03},
    CodedItem{"04-04 PTx, a=385 ", 0x04},
    CodedItem{"05_10 Ni100", 0x10},
    CodedItem{"06_11 Ni1000", 0x11},
    CodedItem{"07_80 T/C typ B", 0x80},
    CodedItem{"08_81 T/C typ E", 0x81},
    CodedItem{"09_82 T/C typ J", 0x82},
    CodedItem{"0A_83 /T/C typ K", 0x83},
    CodedItem{"0B_84 T/C typ DIN L ", 0x84},
    CodedItem{"0C_85 T/C typ N", 0x85},
    CodedItem{"0D_86 T/C typ R", 0x86},
    CodedItem{"0E_87 T/C typ S", 0x87},
    CodedItem{"0F_88 T/C typ T", 0x88},
    CodedItem{"10_89 T/C typ DIN U", 0x89},
    CodedItem{"11_8A T/C typ A/E", 0x8A},
    CodedItem{"12_A0 T/C typ X", 0xA0},
    CodedItem{"13_other", 0x00, std::nullopt},
    // Six empty items keep the positions the device's list has.
    CodedItem{"", 0x00, std::nullopt},
    CodedItem{"", 0x00, std::nullopt},
    CodedItem{"", 0x00, std::nullopt},
    CodedItem{"", 0x00, std::nullopt},
    CodedItem{"", 0x00, std::nullopt},
    CodedItem{"", 0x00, std::nullopt},
};
constexpr int kKrohneOther = 19; // "13_other": every code the list does not name
constexpr CodedList kKrohneSensor{kKrohneSensorItems, OnUnknown::Other, kKrohneOther, 0x00};

constexpr std::array kKrohneConnectionItems{
    CodedItem{"00 None", 0x00, std::nullopt},
    CodedItem{"02 二线制", 0x02},
    CodedItem{"03 三线制", 0x03},
    CodedItem{"04 四线制", 0x04},
    CodedItem{"05 Differential", 0x05},
    CodedItem{"10 SmartSense", 0x10},
};
// A code the list does not carry shows "00 None".
constexpr CodedList kKrohneConnection{kKrohneConnectionItems, OnUnknown::Other, 0, 0x00};

// ---- ABB TTH200
constexpr std::array kAbbSensorItems{
    CodedItem{"00 None", 0x00, std::nullopt},
    CodedItem{"01-01 0..500ohm", 0x01},
    CodedItem{"02-02 0..5000ohm", 0x02},
    CodedItem{"03-0B PT50", 0x0B},
    CodedItem{"04_0C None", 0x0C},
    CodedItem{"05_0D PT100(IEC751)", 0x0D},
    CodedItem{"06_0E PT500(IEC751)", 0x0E},
    CodedItem{"07_0F PT1000(IEC751)", 0x0F},
    CodedItem{"08_15 PT50(JIS1604)", 0x15},
    CodedItem{"09_16 PT100(JIS1604)", 0x16},
    CodedItem{"10_1F PT50(MIL24388)", 0x1F},
    CodedItem{"11_20 PT100(MIL24388)", 0x20},
    CodedItem{"12_21 PT200(MIL24388)", 0x21},
    CodedItem{"13_23 PT1000(MIL24388)", 0x23},
    CodedItem{"14_47 NI50(DIN43760)", 0x47},
    CodedItem{"15_48 NI100(DIN43760)", 0x48},
    CodedItem{"16_49 NI120(DIN43760)", 0x49},
    CodedItem{"17_4A NI1000(DIN43760)", 0x4A},
    CodedItem{"18_51 CU10 a=4270", 0x51},
    CodedItem{"19_52 CU100 a=4270", 0x52},
    CodedItem{"20_64 Pt10(IEC751) ", 0x64},
    CodedItem{"21_67 PT10(JIS1604)", 0x67},
    CodedItem{"22_6A PT10(MIL24388)", 0x6A},
    CodedItem{"23_81 -125..125mv", 0x81},
    CodedItem{"24_82 -125..1200mv", 0x82},
    CodedItem{"25_83 TC type B(IEC584)", 0x83},
    CodedItem{"26_84 TC type C(ASTME988)", 0x84},
    CodedItem{"27_85 TC type D(ASTME988)", 0x85},
    CodedItem{"28_86 TC type E(ICE584)", 0x86},
    CodedItem{"29_88 TC type J(ICE584)", 0x88},
    CodedItem{"30_89 TC type K(ICE584)", 0x89},
    CodedItem{"31_8A TC type N(ICE584)", 0x8A},
    CodedItem{"32_8B TC type R(ICE584)", 0x8B},
    CodedItem{"33_8C TC type S(ICE584)", 0x8C},
    CodedItem{"34_8D TC type T(ICE584)", 0x8D},
    CodedItem{"35_8E TC type L(DIN4710)", 0x8E},
    CodedItem{"36_8F TC type U(DIN4710)", 0x8F},
    CodedItem{"37_Other", 0x00}, // a reply of 0x00 selects this item, not "00 None"
};
// A code the list does not carry leaves it with nothing chosen.
constexpr CodedList kAbbSensor{kAbbSensorItems, OnUnknown::Clear, -1, 0x00};

constexpr std::array kAbbConnectionItems{
    CodedItem{"00 None", 0x00, std::nullopt},
    CodedItem{"01 None", 0x00, std::nullopt}, // the device takes 0x00, not 0x01
    CodedItem{"02 二线制", 0x02},
    CodedItem{"03 三线制", 0x03},
    CodedItem{"04 四线制", 0x04},
};
// A code the list does not carry shows "00 None".
constexpr CodedList kAbbConnection{kAbbConnectionItems, OnUnknown::Other, 0, 0x00};

// ---- Requests
constexpr int kSiemensRead = 140;
constexpr int kSiemensWrite = 141;
constexpr int kKrohneRead = 521;
constexpr int kKrohneWrite = 523;
constexpr int kAbbRead = 525;
constexpr int kAbbWrite = 526;

constexpr int kKrohneSavedLength = 10;

struct Controls {
    QComboBox* siemens;          // ComboBox7
    QComboBox* krohneSensor;     // TT50NEXING
    QComboBox* krohneConnection; // TT50WAR
    QComboBox* abbSensor;        // ABBTTH200NEIXING
    QComboBox* abbConnection;    // ABBTTH200WAY
};

void siemensWrite(const Controls& c, host::Payload& p) {
    const int i = c.siemens->currentIndex();
    const SiemensItem& item = i >= 0 && static_cast<std::size_t>(i) < kSiemensItems.size()
                                  ? kSiemensItems[static_cast<std::size_t>(i)]
                                  : kSiemensUnselected;
    p.bytes(std::array{std::uint8_t{0x00}, item.sensor, item.connection});
}

// Every list of this tab sends 0x00 while nothing is chosen, so chosenCode
// never stops a SET here.
void krohneWrite(const Controls& c, host::Payload& p) {
    p.byte(chosenCode(c.krohneSensor, kKrohneSensor, "sensor type"));
    p.byte(chosenCode(c.krohneConnection, kKrohneConnection, "connection"));
    // The rest of the device's block goes back as the last read left it.
    const auto& b = p.buffer();
    p.bytes(std::span(b).subspan(hart::lb::kKrohneSaved, kKrohneSavedLength));
}

void abbWrite(const Controls& c, host::Payload& p) {
    p.byte(0x00);
    p.byte(chosenCode(c.abbSensor, kAbbSensor, "sensor type"));
    p.byte(chosenCode(c.abbConnection, kAbbConnection, "connection"));
}

// Each SET sends a code for a list with nothing chosen; only what the
// query read, or the user chose, goes to the device.
void keepSiemens(const Controls& c, host::Keep& k) {
    k.list(c.siemens, kSiemensRead);
    k.orRefuse(host::keepRefusal(QStringLiteral("the sensor and connection type"),
                                 QStringLiteral("sensor and connection type")));
}

void keepKrohne(const Controls& c, host::Keep& k) {
    k.list(c.krohneSensor, kKrohneRead);
    k.list(c.krohneConnection, kKrohneRead);
    k.orRefuse(host::keepRefusal(QStringLiteral("the sensor type and the connection"),
                                 QStringLiteral("sensor type and connection")));
}

void keepAbb(const Controls& c, host::Keep& k) {
    k.list(c.abbSensor, kAbbRead);
    k.list(c.abbConnection, kAbbRead);
    k.orRefuse(host::keepRefusal(QStringLiteral("the sensor type and the connection"),
                                 QStringLiteral("sensor type and connection")));
}

// Every button of this tab shows its frame only while ShowVendorFrames is on.
constexpr auto kVendor = host::Echo::VendorFlag;
using Row = host::RequestRow<Controls>;
constexpr Row kRequests[] = {
    {.button = "Button2", .replyCode = kSiemensRead, .frame = host::longFrame(140),
     .data = channelZero, .echo = kVendor, .maker = &host::kSiemens},
    {.button = "Button11", .replyCode = kSiemensWrite, .frame = host::longFrame(141),
     .data = siemensWrite, .echo = kVendor, .keep = keepSiemens, .maker = &host::kSiemens},
    {.button = "Button63", .replyCode = kKrohneRead, .frame = host::longFrame(130),
     .echo = kVendor, .gate = host::PortGate::Always, .maker = &host::kKrohne},
    {.button = "Button64", .replyCode = kKrohneWrite, .frame = host::longFrame(131),
     .data = krohneWrite, .echo = kVendor, .gate = host::PortGate::Always, .keep = keepKrohne, .maker = &host::kKrohne},
    {.button = "Button68", .replyCode = kAbbRead, .frame = host::longFrame(190),
     .data = channelZero, .echo = kVendor, .gate = host::PortGate::Always, .maker = &host::kAbb},
    {.button = "Button67", .replyCode = kAbbWrite, .frame = host::longFrame(195),
     .data = abbWrite, .echo = kVendor, .gate = host::PortGate::Always, .keep = keepAbb, .maker = &host::kAbb},
};

// Reply data of the three reads.
constexpr int kSiemensSensor = 1; // after the channel byte
constexpr int kSiemensConnection = 2;
constexpr int kKrohneSensorCode = 0;
constexpr int kKrohneConnectionCode = 1;
constexpr int kKrohneBlock = 2; // the ten bytes the write sends back
constexpr int kAbbSensorCode = 1;
constexpr int kAbbConnectionCode = 2;

// Siemens: accepted only with three data bytes and a connection code below 5.
bool siemensAccepted(const host::Reply& r) {
    return r.byteCount() == 5 && r.byte(kSiemensConnection) < 5;
}

void showSiemens(const Controls& c, const host::Reply& r) {
    const auto row = std::find_if(kSiemensItems.begin(), kSiemensItems.end(), [&](auto& i) {
        return i.sensor == r.byte(kSiemensSensor) && i.connection == r.byte(kSiemensConnection);
    });
    // A pair the list does not hold leaves it with nothing chosen.
    host::selectIndex(c.siemens, row == kSiemensItems.end()
                                     ? -1
                                     : static_cast<int>(row - kSiemensItems.begin()));
}

void showKrohne(const Controls& c, const host::Reply& r) {
    std::copy_n(r.at(kKrohneBlock, kKrohneSavedLength), kKrohneSavedLength,
                r.buffer().begin() + hart::lb::kKrohneSaved);
    showCode(c.krohneSensor, kKrohneSensor, r.byte(kKrohneSensorCode));
    showCode(c.krohneConnection, kKrohneConnection, r.byte(kKrohneConnectionCode));
}

void showAbb(const Controls& c, const host::Reply& r) {
    showCode(c.abbSensor, kAbbSensor, r.byte(kAbbSensorCode));
    showCode(c.abbConnection, kAbbConnection, r.byte(kAbbConnectionCode));
}

// 141 (Siemens) and 526 (ABB) are judged by the generic write result, 523
// (KROHNE) by its variant.
constexpr host::ReaderRow<Controls> kReaders[] = {
    {.replyCode = kSiemensRead, .reads = 3, .fill = showSiemens, .accept = siemensAccepted},
    {.replyCode = kKrohneRead,
     .reads = 2 + kKrohneSavedLength,
     .fill = showKrohne,
     .scan = hart::kKrohneReadScan,
     .failureText = host::status::kUploadFailedPlain},
    {.replyCode = kAbbRead,
     .reads = 3,
     .fill = showAbb,
     .scan = hart::kAbbReadScan,
     .failureText = host::status::kUploadFailedPlain},
};

QComboBox* codedCombo(const char* name, const CodedList& list) {
    auto* combo = makeCodedCombo(name, list);
    // The first item sends the same code as "nothing chosen" would, and shows it.
    combo->setCurrentIndex(0);
    return combo;
}

// "Query" and "SET" side by side, to the right under the lists.
QWidget* buttonRow(host::Buttons& buttons, const char* query, const char* set) {
    auto* row = new QWidget;
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->addStretch(1);
    h->addWidget(buttons.make(query, QStringLiteral("Query")));
    h->addWidget(buttons.make(set, QStringLiteral("SET")));
    return row;
}

} // namespace

void buildSiemensKrohneAbbTemperature(host::PageHost& host) {
    host::Buttons buttons;

    QStringList siemensTexts;
    for (const auto& item : kSiemensItems)
        siemensTexts << QString::fromUtf8(item.text);
    Controls c{
        host::makeCombo("ComboBox7", siemensTexts),  codedCombo("TT50NEXING", kKrohneSensor),
        codedCombo("TT50WAR", kKrohneConnection),   codedCombo("ABBTTH200NEIXING", kAbbSensor),
        codedCombo("ABBTTH200WAY", kAbbConnection),
    };
    // Shown from the start, so that the SET writes what the list says.
    c.siemens->setCurrentIndex(0);

    host::FormGroup siemens("GroupBox9", QStringLiteral("Siemens temperature transmitter"));
    siemens.addRow(QStringLiteral("Siemens Temperature Sensor Type:"), {c.siemens});
    siemens.addRow(QString(), {buttonRow(buttons, "Button2", "Button11")});

    host::FormGroup krohne("GroupBox21", QStringLiteral("KROHNE TT50C"));
    krohne.addRow(QStringLiteral("Sensor Type:"), {c.krohneSensor});
    krohne.addRow(QStringLiteral("Connection Type:"), {c.krohneConnection});
    krohne.addRow(QString(), {buttonRow(buttons, "Button63", "Button64")});

    host::FormGroup abb("GroupBox22", QStringLiteral("ABBTTH200"));
    abb.addRow(QStringLiteral("Sensor Type:"), {c.abbSensor});
    abb.addRow(QStringLiteral("Connection Type:"), {c.abbConnection});
    abb.addRow(QString(), {buttonRow(buttons, "Button68", "Button67")});

    for (auto* combo :
         {c.siemens, c.krohneSensor, c.krohneConnection, c.abbSensor, c.abbConnection})
        combo->setMinimumWidth(260);

    host.place(host::Page::SiemensKrohneAbbTemperature, siemens.box(), 0, 0);
    host.place(host::Page::SiemensKrohneAbbTemperature, krohne.box(), 1, 0);
    host.place(host::Page::SiemensKrohneAbbTemperature, abb.box(), 2, 0);
    // The groups keep their own width; the rest of the page stays empty.
    auto* rest = new QWidget;
    rest->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    host.place(host::Page::SiemensKrohneAbbTemperature, rest, 0, 1);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);
}

} // namespace devices
