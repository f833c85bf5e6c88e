// "DP & MV Transmitter" page: the Rosemount 3051 zero, the Rosemount 300SMV
// dynamic-variable assignment and display content, and the display content,
// zero-set mode and zero cutoff of EJA transmitters.
#include "ops/ops.h"

#include "app/main_window.h"
#include "app/widgets.h"
#include "hart/encodings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <vector>

namespace vendor {

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

using Bytes = std::vector<std::uint8_t>;
using DataBuilder = Bytes (*)(const Controls&, const hart::LinkBuffer&);

// A list's position as a byte: nothing chosen (-1) goes out as 0xFF.
std::uint8_t positionByte(const QComboBox* combo) {
    return static_cast<std::uint8_t>(combo->currentIndex());
}

Bytes noData(const Controls&, const hart::LinkBuffer&) {
    return {};
}

Bytes smvVariables(const Controls& c, const hart::LinkBuffer&) {
    Bytes data;
    for (auto* combo : c.variables)
        data.push_back(positionByte(combo));
    return data;
}

Bytes smvDisplay(const Controls& c, const hart::LinkBuffer&) {
    Bytes data{0x00, 0x00};
    for (std::size_t i = 0; i < kDisplayBits.size(); ++i) {
        const DisplayBit& bit = kDisplayBits[i];
        const int position = c.display[i]->currentIndex();
        const bool shown = bit.rule == Shown::UnlessOff ? position != kOff : position == kOn;
        if (shown) data[static_cast<std::size_t>(bit.byte)] |= bit.mask;
    }
    return data;
}

Bytes ejaDisplay(const Controls& c, const hart::LinkBuffer&) {
    Bytes data;
    for (auto* combo : c.ejaDisplay) {
        const int i = combo->currentIndex();
        data.push_back(i >= 0 && static_cast<std::size_t>(i) < kEjaDisplayItems.size()
                           ? kEjaDisplayItems[static_cast<std::size_t>(i)].code
                           : positionByte(combo));
    }
    data.insert(data.end(), kEjaDisplayTail.begin(), kEjaDisplayTail.end());
    return data;
}

Bytes ejaCutoff(const Controls& c, const hart::LinkBuffer& b) {
    Bytes data{b[hart::lb::kPvUnit]};
    const auto value = hart::wireFloatFromText(app::textOf(c.ejaCutoff)); // may throw
    data.insert(data.end(), value.begin(), value.end());
    return data;
}

// One row per button. None of them follows ShowVendorFrames; the 300SMV
// buttons and the EJA display query leave the send view as it was.
struct Request {
    const char* button;
    const char* caption;
    std::uint8_t command;
    int replyCode;
    app::Echo echo;
    DataBuilder data;
};
constexpr std::array kRequests{
    Request{"Button42", "Set zero point", 43, kZeroWrite, app::Echo::Show, noData},
    Request{"Button44", "Query", 50, kSmvVariablesRead, app::Echo::Keep, noData},
    Request{"Button45", "SET", 51, kSmvWrite, app::Echo::Keep, smvVariables},
    Request{"Button47", "Query", 188, kSmvDisplayRead, app::Echo::Keep, noData},
    Request{"Button46", "SET", 189, kSmvWrite, app::Echo::Keep, smvDisplay},
    Request{"Button48", "Query", 152, kEjaDisplayRead, app::Echo::Keep, noData},
    Request{"Button49", "SET", 153, kEjaDisplayWrite, app::Echo::Show, ejaDisplay},
    Request{"Button50", "Query", 130, kEjaZeroRead, app::Echo::Show, noData},
    Request{"Button51", "SET", 131, kEjaZeroWrite, app::Echo::Show, ejaCutoff},
};

// ---- Query replies, from the first data byte on.
void showVariables(const Controls& c, const std::uint8_t* data) {
    for (std::size_t i = 0; i < c.variables.size(); ++i)
        app::selectIndex(c.variables[i], data[i]);
}

void showDisplayBits(const Controls& c, const std::uint8_t* data) {
    for (std::size_t i = 0; i < kDisplayBits.size(); ++i) {
        const DisplayBit& bit = kDisplayBits[i];
        const bool on = (data[bit.byte] & bit.mask) != 0;
        app::selectIndex(c.display[i], on ? kOn : kOff);
    }
}

void showEjaDisplay(const Controls& c, const std::uint8_t* data) {
    for (std::size_t i = 0; i < c.ejaDisplay.size(); ++i) {
        const auto row =
            std::find_if(kEjaDisplayItems.begin(), kEjaDisplayItems.end(),
                         [&](const EjaDisplayItem& item) { return item.code == data[i]; });
        const int position = row != kEjaDisplayItems.end()
                                 ? static_cast<int>(row - kEjaDisplayItems.begin())
                                 : data[i];
        app::selectIndex(c.ejaDisplay[i], position);
    }
}

void showEjaZero(const Controls& c, const std::uint8_t* data) {
    c.ejaCutoff->setText(QString::fromStdString(hart::floatTextOf(data, kCutoffLength)));
    app::selectIndex(c.ejaMode, data[4]);
}

struct Reader {
    int replyCode;
    void (*fill)(const Controls&, const std::uint8_t* data);
};
constexpr std::array kReaders{
    Reader{kSmvVariablesRead, showVariables},
    Reader{kSmvDisplayRead, showDisplayBits},
    Reader{kEjaDisplayRead, showEjaDisplay},
    Reader{kEjaZeroRead, showEjaZero},
};

QPushButton* button(const char* name) {
    const auto row = std::find_if(kRequests.begin(), kRequests.end(), [name](const Request& r) {
        return std::string_view(r.button) == name;
    });
    return app::makeButton(name, QString::fromLatin1(row->caption));
}

template <std::size_t N> QStringList texts(const std::array<const char*, N>& items) {
    QStringList out;
    for (const char* t : items)
        out << QString::fromUtf8(t);
    return out;
}

QComboBox* list(const char* name, const QStringList& items) {
    auto* combo = app::makeCombo(name, items);
    combo->setCurrentIndex(0);
    return combo;
}

} // namespace

void buildDpMv(TForm1& form) {
    auto& cycle = form.cycle();

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
    c.ejaCutoff = app::makeEdit("EJAlingdian");
    c.ejaCutoff->setText(QStringLiteral("EJAlingdian"));

    // Rosemount 3051
    app::FormGroup zero("GroupBox13", QStringLiteral("Rosemount 3051 Set zero point"));
    zero.addRow(QString(), {button("Button42")});

    // Rosemount 300SMV: variables above display in one outer group.
    app::FormGroup smv("GroupBox14", QStringLiteral("Rosemount 300SMV Configuration"));
    app::FormGroup variables("GroupBox15", QStringLiteral("Rosemount 300SMV Configuration"));
    for (std::size_t i = 0; i < kVariables.size(); ++i)
        variables.addRow(QString::fromLatin1(kVariables[i].label), {c.variables[i]});
    variables.addRow(QString(), {button("Button44"), button("Button45")});
    app::FormGroup display("GroupBox17", QStringLiteral("Content displayed on the screen"));
    for (std::size_t i = 0; i < kDisplayBits.size(); ++i)
        display.addRow(QString::fromLatin1(kDisplayBits[i].label), {c.display[i]});
    display.addRow(QString(), {button("Button47"), button("Button46")});
    smv.addWide(variables.box());
    smv.addWide(display.box());

    // EJA
    app::FormGroup eja("GroupBox18", QStringLiteral("EJA Transmitter Zero Adjustment and Display"));
    eja.addRow(QStringLiteral("Display Content:"), {c.ejaDisplay[0]});
    for (std::size_t i = 1; i < c.ejaDisplay.size(); ++i)
        eja.addRow(QString(), {c.ejaDisplay[i]});
    eja.addRow(QString(), {button("Button48"), button("Button49")});
    eja.addRow(QStringLiteral("Zero Set Mode:"), {c.ejaMode});
    eja.addRow(QStringLiteral("Zero Cutoff:"), {c.ejaCutoff});
    const int last = eja.addRow(QString(), {button("Button50"), button("Button51")});
    eja.grid()->setRowStretch(last + 1, 1); // rows stay together at the top
    for (auto* combo : c.ejaDisplay)
        combo->setMinimumWidth(140);
    for (auto* combo : c.variables)
        combo->setMinimumWidth(170);

    form.addToPage("TabSheet1", zero.box(), 0, 0);
    form.addToPage("TabSheet1", smv.box(), 1, 0);
    form.addToPage("TabSheet1", eja.box(), 0, 1, 2, 1);
    // The groups keep their own width; the rest of the page stays empty.
    auto* rest = new QWidget;
    rest->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    form.addToPage("TabSheet1", rest, 0, 2);

    for (const Request& r : kRequests) {
        auto* b = form.findChild<QPushButton*>(QString::fromLatin1(r.button));
        form.onClick(b, [&cycle, c, r] {
            cycle.begin(r.replyCode);
            const Bytes data = r.data(c, cycle.buffer()); // a bad number stops here
            cycle.sendLong(r.replyCode, r.command, data, {.echo = r.echo});
        });
    }

    // Read decoders: the reply is found by the standard scan; response code and
    // byte count are not looked at. Not found: nothing changes.
    for (const Reader& r : kReaders) {
        cycle.registerDecoder(r.replyCode, [&cycle, c, fill = r.fill] {
            const auto K = cycle.locate();
            if (!K) {
                cycle.setStatus(QStringLiteral("Upload failed!"));
                return;
            }
            fill(c, cycle.buffer().data() + *K + 11); // from the first data byte
            cycle.setStatus(QStringLiteral("Upload successful!"));
        });
    }
    // 1143, 1151, 1190 and 1192 are the generic write result the cycle
    // already registers.
}

} // namespace vendor
