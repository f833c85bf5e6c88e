// "I/O Calibration" page: fixed loop current (command 40), current trims at
// 20 mA and 4 mA (46, 45), range points from the present input (37, 36),
// zero (43) and the instrument's display adjustment (131, 130). Every button
// is one write whose reply the generic write result judges.
#include "ops/ops.h"

#include "app/main_window.h"
#include "app/widgets.h"
#include "hart/encodings.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <optional>
#include <vector>

namespace ops {

namespace {

// What a button's data field holds.
enum class Data {
    None,         // the device takes its present input
    Float,        // WireFloat of the button's field
    UnitAndFloat, // the primary-variable unit byte, then the field's WireFloat
    FixedCurrent, // the current of the chosen radio button
};

struct Request {
    const char* button;
    std::uint8_t command;
    int replyCode;
    Data data;
    const char* edit; // the field the value comes from
};

constexpr std::array<Request, 8> kRequests{{
    {"Button6", 40, app::kFixedCurrentReply, Data::FixedCurrent, "Edit7"},
    {"Button15", 46, 146, Data::Float, "Edit9"},
    {"Button30", 45, 145, Data::Float, "Edit10"},
    {"Button25", 37, 136, Data::None, nullptr},
    {"Button26", 36, 137, Data::None, nullptr},
    {"Button23", 43, 143, Data::None, nullptr},
    {"Button24", 131, 131, Data::UnitAndFloat, "Edit13"},
    {"Button31", 130, 130, Data::UnitAndFloat, "Edit19"},
}};

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

template <std::size_t N>
void append(std::vector<std::uint8_t>& data, const std::array<std::uint8_t, N>& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
}

QLabel* hint(const char* text) {
    auto* l = app::makeLabel(QString::fromLatin1(text));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0x20, 0x40, 0xa0));
    l->setPalette(p);
    return l;
}

QLabel* mA() {
    return app::makeLabel(QStringLiteral("mA"));
}

// "Current Output Calibration": the two trims and the two range points.
QGroupBox* buildTrimGroup() {
    app::FormGroup g("GroupBox3", QStringLiteral("Current Output Calibration"));
    auto* grid = g.grid();
    auto* high = app::makeEdit("Edit9");
    auto* setHigh = app::makeButton("Button15", QStringLiteral("SET"));
    auto* low = app::makeEdit("Edit10");
    auto* setLow = app::makeButton("Button30", QStringLiteral("SET"));
    app::installKeyFilter(high, hart::kCurrentTrimFilter, setHigh);
    app::installKeyFilter(low, hart::kCurrentTrimFilter, setLow);

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
             {app::makeLabel(QStringLiteral("Zero Meter")), nullptr,
              app::makeButton("Button25", QStringLiteral("SET"))});
    g.addRow(QStringLiteral("calibration 20mA"),
             {app::makeLabel(QStringLiteral("Span Meter")), nullptr,
              app::makeButton("Button26", QStringLiteral("SET"))});
    grid->setColumnStretch(1, 1);
    return g.box();
}

// "Current Output": the fixed loop current.
QGroupBox* buildFixedCurrentGroup() {
    app::FormGroup g("GroupBox2", QStringLiteral("Current Output"));
    auto* other = app::makeEdit("Edit7");
    app::installKeyFilter(other, hart::kOtherCurrentFilter);
    for (const auto& c : kCurrentChoices) {
        auto* radio = app::makeRadio(c.radio, QString::fromLatin1(c.caption));
        int r = g.addRow(QString(), {});
        if (c.milliamps) {
            g.grid()->addWidget(radio, r, 0, 1, 3);
        } else {
            g.grid()->addWidget(radio, r, 0);
            g.grid()->addWidget(other, r, 1);
            g.grid()->addWidget(mA(), r, 2);
        }
    }
    g.box()->findChild<QRadioButton*>(QStringLiteral("RadioButton1"))->setChecked(true);
    g.addRow(QString(), {app::makeButton("Button6", QStringLiteral("SET"))});
    g.grid()->setRowStretch(g.grid()->rowCount(), 1);
    return g.box();
}

// "Adjustment Of Instrument Display Value": zero, low and high points.
QGroupBox* buildDisplayGroup() {
    app::FormGroup g("GroupBox10", QStringLiteral("Adjustment Of Instrument Display Value"));
    auto* low = app::makeEdit("Edit13");
    auto* setLow = app::makeButton("Button24", QStringLiteral("SET"));
    auto* high = app::makeEdit("Edit19");
    auto* setHigh = app::makeButton("Button31", QStringLiteral("SET"));
    app::installKeyFilter(low, hart::kDisplayAdjustFilter, setLow);
    app::installKeyFilter(high, hart::kDisplayAdjustFilter, setHigh);
    g.addRow(QStringLiteral("Zero Adjustment:"),
             {nullptr, app::makeButton("Button23", QStringLiteral("SET"))});
    g.addRow(QStringLiteral("Low Adjustment:"), {low, setLow});
    g.addRow(QStringLiteral("High Adjustment:"), {high, setHigh});
    g.grid()->setColumnStretch(1, 1);
    return g.box();
}

// The first chosen "Current Output" row, if any.
const CurrentChoice* chosenCurrent(const QWidget* group) {
    for (const auto& c : kCurrentChoices)
        if (group->findChild<QRadioButton*>(QString::fromLatin1(c.radio))->isChecked()) return &c;
    return nullptr;
}

} // namespace

void buildCalibration(TForm1& form) {
    auto& cycle = form.cycle();

    auto* trims = buildTrimGroup();
    auto* fixed = buildFixedCurrentGroup();
    auto* display = buildDisplayGroup();
    form.addToPage("TabSheet7", trims, 0, 0);
    form.addToPage("TabSheet7", fixed, 0, 1, 2, 1);
    form.addToPage("TabSheet7", display, 1, 0);

    for (const auto& req : kRequests) {
        auto* button = form.findChild<QPushButton*>(QString::fromLatin1(req.button));
        auto* edit = req.edit ? form.findChild<QLineEdit*>(QString::fromLatin1(req.edit)) : nullptr;
        form.onClick(button, [&cycle, req, edit, fixed] {
            const CurrentChoice* current = nullptr;
            if (req.data == Data::FixedCurrent && !(current = chosenCurrent(fixed))) {
                cycle.setStatus(QStringLiteral("Choose an output current first"));
                return;
            }
            cycle.begin(req.replyCode);
            std::vector<std::uint8_t> data;
            switch (req.data) {
            case Data::None:
                break;
            case Data::Float:
                append(data, hart::wireFloatFromText(app::textOf(edit)));
                break;
            case Data::UnitAndFloat:
                // The unit last learned from the instrument or written to it;
                // 0 until one is known.
                data.push_back(cycle.buffer()[hart::lb::kPvUnit]);
                append(data, hart::wireFloatFromText(app::textOf(edit)));
                break;
            case Data::FixedCurrent:
                // The "Other" field is read only when "Other" is the choice.
                append(data, current->milliamps ? hart::wireFloatFromValue(*current->milliamps)
                                                : hart::wireFloatFromText(app::textOf(edit)));
                break;
            }
            cycle.sendLong(req.replyCode, req.command, data);
        });
    }
}

} // namespace ops
