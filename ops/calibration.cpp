// "I/O Calibration" page: fixed loop current (command 40), current trims at
// 20 mA and 4 mA (46, 45), range points from the present input (37, 36),
// zero (43) and the instrument's display adjustment (131, 130). Every button
// is one write whose reply the generic write result judges.
#include "ops/ops.h"

#include "hart/encodings.h"
#include "hart/link_buffer.h"
#include "host/bind.h"
#include "host/device.h"
#include "host/widgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <optional>

namespace ops {

namespace {

// "Current Output" choices in the order they are examined; the first chosen
// one decides. "Other" takes its value from its field, and 0 mA leaves the
// fixed-current mode.
struct CurrentChoice {
    const char* radio;
    const char* caption;
    std::optional<float> milliamps; // unset: the "Other" field
};
constexpr std::array<CurrentChoice, 7> kCurrentChoices{{
    {"RadioButton1", "4mA Out", 4.0f},
    {"RadioButton2", "8mA Out", 8.0f},
    {"RadioButton3", "12mA Out", 12.0f},
    {"RadioButton4", "16mA Out", 16.0f},
    {"RadioButton5", "20mA Out", 20.0f},
    {"RadioButton6", "Other", std::nullopt},
    {"RadioButton7", "Exit the fixed output mode", 0.0f},
}};

struct Controls {
    QLineEdit* highTrim;     // Edit9
    QLineEdit* lowTrim;      // Edit10
    QLineEdit* otherCurrent; // Edit7
    QLineEdit* displayLow;   // Edit13
    QLineEdit* displayHigh;  // Edit19
    std::array<QRadioButton*, kCurrentChoices.size()> currents;
};

void fixedCurrent(const Controls& c, host::Payload& p) {
    for (std::size_t i = 0; i < kCurrentChoices.size(); ++i) {
        if (!c.currents[i]->isChecked()) continue;
        // The "Other" field is read only when "Other" is the choice.
        if (const auto mA = kCurrentChoices[i].milliamps)
            p.bytes(hart::wireFloatFromValue(*mA));
        else
            p.wireFloat(c.otherCurrent);
        return;
    }
    host::Payload::refuse(QStringLiteral("choose an output current first"));
}

void highTrim(const Controls& c, host::Payload& p) {
    p.wireFloat(c.highTrim);
}
void lowTrim(const Controls& c, host::Payload& p) {
    p.wireFloat(c.lowTrim);
}

// The unit last learned from the instrument or written to it (0 until one is
// known), then the display value.
void displayLow(const Controls& c, host::Payload& p) {
    p.byte(p.device().pvUnit());
    p.wireFloat(c.displayLow);
}
void displayHigh(const Controls& c, host::Payload& p) {
    p.byte(p.device().pvUnit());
    p.wireFloat(c.displayHigh);
}

// Every button is a write judged by the generic write result.
constexpr host::RequestRow<Controls> kRequests[] = {
    {"Button6", host::kFixedCurrentReply, host::longFrame(40), fixedCurrent},
    {"Button15", 146, host::longFrame(46), highTrim},
    {"Button30", 145, host::longFrame(45), lowTrim},
    {"Button25", 136, host::longFrame(37)}, // the present input is the new lower range point
    {"Button26", 137, host::longFrame(36)}, // ... the new upper range point
    {"Button23", 143, host::longFrame(43)}, // ... the new zero
    {"Button24", 131, host::longFrame(131), displayLow},
    {"Button31", 130, host::longFrame(130), displayHigh},
};

QLabel* hint(const char* text) {
    auto* l = host::makeLabel(QString::fromLatin1(text));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0x20, 0x40, 0xa0));
    l->setPalette(p);
    return l;
}

QLabel* mA() {
    return host::makeLabel(QStringLiteral("mA"));
}

// "Current Output Calibration": the two trims and the two range points.
QGroupBox* buildTrimGroup(host::Buttons& buttons, Controls& c) {
    host::FormGroup g("GroupBox3", QStringLiteral("Current Output Calibration"));
    auto* grid = g.grid();
    auto* high = c.highTrim = host::makeEdit("Edit9");
    auto* setHigh = buttons.make("Button15", QStringLiteral("SET"));
    auto* low = c.lowTrim = host::makeEdit("Edit10");
    auto* setLow = buttons.make("Button30", QStringLiteral("SET"));
    host::installKeyFilter(high, hart::kCurrentTrimFilter, setHigh);
    host::installKeyFilter(low, hart::kCurrentTrimFilter, setLow);

    // Captions and hints are the ones users know, spelling and spacing included.
    g.addRow(QStringLiteral("Out_H_Current Adjus:"), {high, mA(), setHigh});
    int r = g.addRow(QString(), {});
    grid->addWidget(hint("Set it between 18mA and  22mA"), r, 1, 1, 3);
    r = g.addRow(QString(), {});
    grid->addWidget(hint("Notice: First ,Set a fixed Output of 20 mA"), r, 1, 1, 3);
    g.addRow(QStringLiteral("Out_L_Current Adjus:"), {low, mA(), setLow});
    r = g.addRow(QString(), {});
    grid->addWidget(hint("Set it between 2mA and  6mA"), r, 1, 1, 3);
    r = g.addRow(QString(), {});
    grid->addWidget(hint("Notice: First ,Set a fixed Output of 4 mA"), r, 1, 1, 3);
    g.addRow(QStringLiteral("calibration 4mA"),
             {host::makeLabel(QStringLiteral("Zero Meter")), nullptr,
              buttons.make("Button25", QStringLiteral("SET"))});
    g.addRow(QStringLiteral("calibration 20mA"),
             {host::makeLabel(QStringLiteral("Span Meter")), nullptr,
              buttons.make("Button26", QStringLiteral("SET"))});
    grid->setColumnStretch(1, 1);
    return g.box();
}

// "Current Output": the fixed loop current.
QGroupBox* buildFixedCurrentGroup(host::Buttons& buttons, Controls& c) {
    host::FormGroup g("GroupBox2", QStringLiteral("Current Output"));
    auto* other = c.otherCurrent = host::makeEdit("Edit7");
    host::installKeyFilter(other, hart::kOtherCurrentFilter);
    for (std::size_t i = 0; i < kCurrentChoices.size(); ++i) {
        const CurrentChoice& choice = kCurrentChoices[i];
        auto* radio = c.currents[i] =
            host::makeRadio(choice.radio, QString::fromLatin1(choice.caption));
        int r = g.addRow(QString(), {});
        if (choice.milliamps) {
            g.grid()->addWidget(radio, r, 0, 1, 3);
        } else {
            g.grid()->addWidget(radio, r, 0);
            g.grid()->addWidget(other, r, 1);
            g.grid()->addWidget(mA(), r, 2);
        }
    }
    c.currents[0]->setChecked(true); // "4mA Out"
    g.addRow(QString(), {buttons.make("Button6", QStringLiteral("SET"))});
    g.grid()->setRowStretch(g.grid()->rowCount(), 1);
    return g.box();
}

// "Adjustment Of Instrument Display Value": zero, low and high points.
QGroupBox* buildDisplayGroup(host::Buttons& buttons, Controls& c) {
    host::FormGroup g("GroupBox10", QStringLiteral("Adjustment Of Instrument Display Value"));
    auto* low = c.displayLow = host::makeEdit("Edit13");
    auto* setLow = buttons.make("Button24", QStringLiteral("SET"));
    auto* high = c.displayHigh = host::makeEdit("Edit19");
    auto* setHigh = buttons.make("Button31", QStringLiteral("SET"));
    host::installKeyFilter(low, hart::kDisplayAdjustFilter, setLow);
    host::installKeyFilter(high, hart::kDisplayAdjustFilter, setHigh);
    g.addRow(QStringLiteral("Zero Adjustment:"),
             {nullptr, buttons.make("Button23", QStringLiteral("SET"))});
    g.addRow(QStringLiteral("Low Adjustment:"), {low, setLow});
    g.addRow(QStringLiteral("High Adjustment:"), {high, setHigh});
    g.grid()->setColumnStretch(1, 1);
    return g.box();
}

} // namespace

void buildCalibration(host::PageHost& host) {
    host::Buttons buttons;
    Controls c{};
    host.place(host::Page::Calibration, buildTrimGroup(buttons, c), 0, 0);
    host.place(host::Page::Calibration, buildFixedCurrentGroup(buttons, c), 0, 1, 2, 1);
    host.place(host::Page::Calibration, buildDisplayGroup(buttons, c), 1, 0);

    // Edit9 and Edit10 keep their text when the port opens or closes.
    for (QWidget* field : {c.otherCurrent, c.displayLow, c.displayHigh})
        host.resetWithPort(field, host::PortReset::Clear);
    host.resetWithPort(c.currents[0], host::PortReset::Check);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
}

} // namespace ops
