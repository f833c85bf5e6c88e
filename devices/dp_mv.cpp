// "DP & MV Transmitter" page: the Rosemount 3051 zero, the Rosemount 300SMV
// dynamic-variable assignment and display content, and the display content,
// zero-set mode and zero cutoff of EJA transmitters.
#include "devices/devices.h"

#include "hart/link_buffer.h"
#include "host/bind.h"
#include "host/makers.h"
#include "host/provenance.h"
#include "host/device.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <vector>

namespace devices {

namespace {

constexpr int kZeroWrite = 1143;
constexpr int kSmvVariablesRead = 1150;
constexpr int kSmvWrite = 1151; // both 300SMV SETs
constexpr int kSmvDisplayRead = 1188;
constexpr int kEjaDisplayWrite = 1190;
constexpr int kEjaDisplayRead = 1191;
constexpr int kEjaZeroWrite = 1192;
constexpr int kEjaZeroRead = 1193;

// ---- 300SMV dynamic variables: the list position is the device-variable code.
// The item texts are kept as users know them, spelling included.
constexpr std::array kVariableItems{
    "defferential pressure", "absolute pressure", "Gage pressure",
    "process tempter",       "modul tempter",     "flow",
    "Energy FLow",           "Total flow",
};
struct VariableRow {
    const char* label;
    const char* combo;
};
constexpr std::array kVariables{
    VariableRow{"Variable1:", "ComboBox23"},
    VariableRow{"Variable2:", "ComboBox24"},
    VariableRow{"Variable3:", "ComboBox25"},
    VariableRow{"Variable4:", "ComboBox26"},
};

// ---- 300SMV display content: one bit per list in two bytes. Totalizer and
// flow rate count as shown unless set to "OFF"; the others only when "ON".
enum class Shown { UnlessOff, WhenOn };
struct DisplayBit {
    const char* label;
    const char* combo;
    int byte; // 0: first data byte, 1: second
    std::uint8_t mask;
    Shown rule;
};
constexpr std::array kDisplayBits{
    DisplayBit{"Totalizer:", "ComboBox33", 0, 0x01, Shown::UnlessOff},
    DisplayBit{"Flow_Rate:", "ComboBox34", 1, 0x40, Shown::UnlessOff},
    DisplayBit{"Output(%Rang):", "ComboBox30", 1, 0x20, Shown::WhenOn},
    DisplayBit{"Module_Temper:", "ComboBox31", 1, 0x10, Shown::WhenOn},
    DisplayBit{"Proces_Temper:", "ComboBox32", 1, 0x08, Shown::WhenOn},
    DisplayBit{"Gage_Pressure:", "ComboBox29", 1, 0x04, Shown::WhenOn},
    DisplayBit{"Abso_Pressure:", "ComboBox28", 1, 0x02, Shown::WhenOn},
    DisplayBit{"Differ_Pressure:", "ComboBox27", 1, 0x01, Shown::WhenOn},
};
constexpr int kOff = 0;
constexpr int kOn = 1;

// ---- EJA display content: positions 0-4 are their own code; "no display"
// is 0xFA. Read back, any other byte selects the position equal to it.
struct EjaDisplayItem {
    const char* text;
    std::uint8_t code;
};
constexpr std::array kEjaDisplayItems{
    EjaDisplayItem{"00Pres", 0x00},      EjaDisplayItem{"01pres%", 0x01},
    EjaDisplayItem{"02Engr.pRES", 0x02}, EjaDisplayItem{"03SP", 0x03},
    EjaDisplayItem{"04SP%", 0x04},       EjaDisplayItem{"05不显示", 0xFA},
};
constexpr std::array kEjaDisplayLists{"EJAXIANS1", "EJAXIANS2", "EJAXIANS3", "EJAXIANS4"};
// What follows the four display bytes in the SET.
constexpr std::array<std::uint8_t, 13> kEjaDisplayTail{0x00, 0x00, 0x01, 0x02, 0x01, 0x20, 0x20,
                                                       0x20, 0x20, 0x20, 0x20, 0x20, 0x20};

constexpr std::array kEjaModeItems{"0linear mode", "1Zero mode"};
constexpr int kCutoffLength = 5; // characters of the cutoff shown

struct Controls {
    std::array<QComboBox*, kVariables.size()> variables;
    std::array<QComboBox*, kDisplayBits.size()> display;
    std::array<QComboBox*, kEjaDisplayLists.size()> ejaDisplay;
    QComboBox* ejaMode;   // EJAMODEM
    QLineEdit* ejaCutoff; // EJAlingdian
};

// A list's position as a byte: nothing chosen (-1) goes out as 0xFF.
std::uint8_t positionByte(const QComboBox* combo) {
    return static_cast<std::uint8_t>(combo->currentIndex());
}

void smvVariables(const Controls& c, host::Payload& p) {
    for (auto* combo : c.variables)
        p.byte(positionByte(combo));
}

void smvDisplay(const Controls& c, host::Payload& p) {
    std::uint8_t data[2] = {0x00, 0x00};
    for (std::size_t i = 0; i < kDisplayBits.size(); ++i) {
        const DisplayBit& bit = kDisplayBits[i];
        const int position = c.display[i]->currentIndex();
        const bool shown = bit.rule == Shown::UnlessOff ? position != kOff : position == kOn;
        if (shown) data[bit.byte] |= bit.mask;
    }
    p.bytes(data);
}

void ejaDisplay(const Controls& c, host::Payload& p) {
    for (auto* combo : c.ejaDisplay) {
        const int i = combo->currentIndex();
        p.byte(i >= 0 && static_cast<std::size_t>(i) < kEjaDisplayItems.size()
                   ? kEjaDisplayItems[static_cast<std::size_t>(i)].code
                   : positionByte(combo));
    }
    p.bytes(kEjaDisplayTail);
}

void ejaCutoff(const Controls& c, host::Payload& p) {
    p.byte(p.device().pvUnit());
    p.wireFloat(c.ejaCutoff);
}

// The 300SMV and EJA SETs send a byte for every list, chosen or not: a list
// with nothing chosen must have been read from the current device.
void keepSmvVariables(const Controls& c, host::Keep& k) {
    for (auto* combo : c.variables)
        k.list(combo, kSmvVariablesRead);
    k.orRefuse(host::keepRefusal(QStringLiteral("the four variables"),
                                 QStringLiteral("variables")));
}

void keepSmvDisplay(const Controls& c, host::Keep& k) {
    for (auto* combo : c.display)
        k.list(combo, kSmvDisplayRead);
    k.orRefuse(host::keepRefusal(QStringLiteral("every display choice"),
                                 QStringLiteral("display choices")));
}

void keepEjaDisplay(const Controls& c, host::Keep& k) {
    for (auto* combo : c.ejaDisplay)
        k.list(combo, kEjaDisplayRead);
    k.orRefuse(host::keepRefusal(QStringLiteral("every display choice"),
                                 QStringLiteral("display choices")));
}

// None of the buttons follows ShowVendorFrames; the 300SMV buttons and the
// EJA display query leave the send view as it was. The EJA buttons are
// enabled whatever the port state.
using Row = host::RequestRow<Controls>;
constexpr Row kRequests[] = {
    {.button = "Button42", .replyCode = kZeroWrite, .frame = host::longFrame(43), .maker = &host::kRosemount},
    {.button = "Button44",
     .replyCode = kSmvVariablesRead,
     .frame = host::longFrame(50),
     .echo = host::Echo::Keep, .maker = &host::kRosemount},
    {.button = "Button45",
     .replyCode = kSmvWrite,
     .frame = host::longFrame(51),
     .data = smvVariables,
     .echo = host::Echo::Keep, .keep = keepSmvVariables, .maker = &host::kRosemount},
    {.button = "Button47",
     .replyCode = kSmvDisplayRead,
     .frame = host::longFrame(188),
     .echo = host::Echo::Keep, .maker = &host::kRosemount},
    {.button = "Button46",
     .replyCode = kSmvWrite,
     .frame = host::longFrame(189),
     .data = smvDisplay,
     .echo = host::Echo::Keep, .keep = keepSmvDisplay, .maker = &host::kRosemount},
    {.button = "Button48",
     .replyCode = kEjaDisplayRead,
     .frame = host::longFrame(152),
     .echo = host::Echo::Keep,
     .gate = host::PortGate::Always, .maker = &host::kYokogawa},
    {.button = "Button49",
     .replyCode = kEjaDisplayWrite,
     .frame = host::longFrame(153),
     .data = ejaDisplay,
     .gate = host::PortGate::Always, .keep = keepEjaDisplay, .maker = &host::kYokogawa},
    {.button = "Button50",
     .replyCode = kEjaZeroRead,
     .frame = host::longFrame(130),
     .gate = host::PortGate::Always, .maker = &host::kYokogawa},
    {.button = "Button51",
     .replyCode = kEjaZeroWrite,
     .frame = host::longFrame(131),
     .data = ejaCutoff,
     .gate = host::PortGate::Always, .maker = &host::kYokogawa},
};

// ---- Query replies, from the first data byte on.
void showVariables(const Controls& c, const host::Reply& r) {
    for (std::size_t i = 0; i < c.variables.size(); ++i)
        host::selectIndex(c.variables[i], r.byte(static_cast<int>(i)));
}

void showDisplayBits(const Controls& c, const host::Reply& r) {
    for (std::size_t i = 0; i < kDisplayBits.size(); ++i) {
        const DisplayBit& bit = kDisplayBits[i];
        const bool on = (r.byte(bit.byte) & bit.mask) != 0;
        host::selectIndex(c.display[i], on ? kOn : kOff);
    }
}

void showEjaDisplay(const Controls& c, const host::Reply& r) {
    for (std::size_t i = 0; i < c.ejaDisplay.size(); ++i) {
        const std::uint8_t code = r.byte(static_cast<int>(i));
        const auto row =
            std::find_if(kEjaDisplayItems.begin(), kEjaDisplayItems.end(),
                         [&](const EjaDisplayItem& item) { return item.code == code; });
        const int position = row != kEjaDisplayItems.end()
                                 ? static_cast<int>(row - kEjaDisplayItems.begin())
                                 : code;
        host::selectIndex(c.ejaDisplay[i], position);
    }
}

// EJA zero settings reply: the cutoff as a float, then the mode byte.
constexpr int kCutoff = 0;
constexpr int kZeroMode = 4;

void showEjaZero(const Controls& c, const host::Reply& r) {
    c.ejaCutoff->setText(r.floatText(kCutoff, kCutoffLength));
    host::selectIndex(c.ejaMode, r.byte(kZeroMode));
}

// Not found: nothing changes. 1143, 1151, 1190 and 1192 are judged by the
// generic write result.
constexpr host::ReaderRow<Controls> kReaders[] = {
    {kSmvVariablesRead, 4, showVariables},
    {kSmvDisplayRead, 2, showDisplayBits},
    {kEjaDisplayRead, 4, showEjaDisplay},
    {kEjaZeroRead, 5, showEjaZero},
};

template <std::size_t N> QStringList texts(const std::array<const char*, N>& items) {
    QStringList out;
    for (const char* t : items)
        out << QString::fromUtf8(t);
    return out;
}

QComboBox* list(const char* name, const QStringList& items) {
    auto* combo = host::makeCombo(name, items);
    combo->setCurrentIndex(0);
    return combo;
}

} // namespace

void buildDpMv(host::PageHost& host) {
    host::Buttons buttons;
    auto button = [&buttons](const char* name, const char* caption) {
        return buttons.make(name, QString::fromLatin1(caption));
    };

    Controls c{};
    for (std::size_t i = 0; i < kVariables.size(); ++i)
        c.variables[i] = list(kVariables[i].combo, texts(kVariableItems));
    for (std::size_t i = 0; i < kDisplayBits.size(); ++i)
        c.display[i] = list(kDisplayBits[i].combo, {QStringLiteral("OFF"), QStringLiteral("ON")});
    QStringList ejaDisplayTexts;
    for (const auto& item : kEjaDisplayItems)
        ejaDisplayTexts << QString::fromUtf8(item.text);
    for (std::size_t i = 0; i < kEjaDisplayLists.size(); ++i)
        c.ejaDisplay[i] = list(kEjaDisplayLists[i], ejaDisplayTexts);
    c.ejaMode = list("EJAMODEM", texts(kEjaModeItems));
    c.ejaCutoff = host::makeEdit("EJAlingdian");
    c.ejaCutoff->setText(QStringLiteral("EJAlingdian"));

    // Rosemount 3051
    host::FormGroup zero("GroupBox13", QStringLiteral("Rosemount 3051 Set zero point"));
    zero.addRow(QString(), {button("Button42", "Set zero point")});

    // Rosemount 300SMV: variables above display in one outer group.
    host::FormGroup smv("GroupBox14", QStringLiteral("Rosemount 300SMV Configuration"));
    host::FormGroup variables("GroupBox15", QStringLiteral("Rosemount 300SMV Configuration"));
    for (std::size_t i = 0; i < kVariables.size(); ++i)
        variables.addRow(QString::fromLatin1(kVariables[i].label), {c.variables[i]});
    variables.addRow(QString(), {button("Button44", "Query"), button("Button45", "SET")});
    host::FormGroup display("GroupBox17", QStringLiteral("Content displayed on the screen"));
    for (std::size_t i = 0; i < kDisplayBits.size(); ++i)
        display.addRow(QString::fromLatin1(kDisplayBits[i].label), {c.display[i]});
    display.addRow(QString(), {button("Button47", "Query"), button("Button46", "SET")});
    smv.addWide(variables.box());
    smv.addWide(display.box());

    // EJA
    host::FormGroup eja("GroupBox18", QStringLiteral("EJA Transmitter Zero Adjustment and Display"));
    eja.addRow(QStringLiteral("Display Content:"), {c.ejaDisplay[0]});
    for (std::size_t i = 1; i < c.ejaDisplay.size(); ++i)
        eja.addRow(QString(), {c.ejaDisplay[i]});
    eja.addRow(QString(), {button("Button48", "Query"), button("Button49", "SET")});
    eja.addRow(QStringLiteral("Zero Set Mode:"), {c.ejaMode});
    eja.addRow(QStringLiteral("Zero Cutoff:"), {c.ejaCutoff});
    const int last = eja.addRow(QString(), {button("Button50", "Query"), button("Button51", "SET")});
    eja.grid()->setRowStretch(last + 1, 1); // rows stay together at the top
    for (auto* combo : c.ejaDisplay)
        combo->setMinimumWidth(140);
    for (auto* combo : c.variables)
        combo->setMinimumWidth(170);

    host.place(host::Page::DpMv, zero.box(), 0, 0);
    host.place(host::Page::DpMv, smv.box(), 1, 0);
    host.place(host::Page::DpMv, eja.box(), 0, 1, 2, 1);
    // The groups keep their own width; the rest of the page stays empty.
    auto* rest = new QWidget;
    rest->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    host.place(host::Page::DpMv, rest, 0, 2);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);
}

} // namespace devices
