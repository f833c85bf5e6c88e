// "HART Instrument Real-time Data" group of the "On-line test " page: loop
// current and percent of range (command 2), and the dynamic variables with
// their units (command 3).
#include "ops/ops.h"

#include "app/main_window.h"
#include "app/widgets.h"
#include "hart/encodings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>

namespace ops {

namespace {

constexpr int kCurrentReply = 102;
constexpr int kDataReply = 103;
constexpr std::uint8_t kReadCurrent = 2;
constexpr std::uint8_t kReadVariables = 3;

// Display lengths: the current keeps "4.099", the percent "99.", a
// variable ten characters.
constexpr int kCurrentLength = 5;
constexpr int kPercentLength = 3;
constexpr int kVariableLength = 10;

// The four dynamic variables of a command-3 reply, in reply order. Variable i
// (from 1) has its unit code at K+10+5i and its float at K+11+5i; the reply
// carries it when the byte count exceeds 1+5i (11, 16, 21 for 2..4; the
// primary variable is always decoded).
struct VariableRow {
    const char* caption;
    const char* edit;
    const char* unitList;
};
constexpr std::array<VariableRow, 4> kVariables{{
    {"Variable1:", "Edit5", "ComboBox5"},
    {"Variable2:", "Edit17", "ComboBox15"},
    {"Variable3:", "Edit18", "ComboBox16"},
    {"Variable4:", "Edit30", "ComboBox6"},
}};

struct VariableControls {
    QLineEdit* value;
    QComboBox* unit;
};

} // namespace

void buildProcessData(TForm1& form) {
    auto& cycle = form.cycle();

    app::FormGroup group("GroupBoxRealTime", QStringLiteral("HART Instrument Real-time Data"));
    auto* current = app::makeEdit("Edit6");
    auto* percent = app::makeEdit("Edit20");
    group.addRow(QStringLiteral("Output Current:"),
                 {current, app::makeLabel(QStringLiteral("mA"))});
    group.addRow(QStringLiteral("Current %:"), {percent});

    std::array<VariableControls, kVariables.size()> vars{};
    for (std::size_t i = 0; i < kVariables.size(); ++i) {
        const auto& row = kVariables[i];
        vars[i].value = app::makeEdit(row.edit);
        vars[i].unit = app::makeCombo(row.unitList, {});
        app::fillUnitList(vars[i].unit, app::UnitForm::RealTime);
        vars[i].unit->setMinimumContentsLength(14);
        // The primary variable's list is reset with the port; the other three
        // show their first item until a reply selects another.
        if (i == 0)
            app::clearSelection(vars[i].unit);
        else
            app::selectIndex(vars[i].unit, 0);
        group.addRow(QString::fromLatin1(row.caption),
                     {vars[i].value, app::makeLabel(QStringLiteral("Unit:")), vars[i].unit});
    }

    auto* currentQuery = app::makeButton("Button34", QStringLiteral("Current Query"));
    auto* dataQuery = app::makeButton("Button4", QStringLiteral("Data Query"));
    group.addRow(QString(), {currentQuery, dataQuery});
    form.addToPage("TabSheet6", group.box(), 0, 1);

    form.onClick(currentQuery, [&cycle, current, percent] {
        cycle.begin(kCurrentReply);
        percent->clear();
        current->clear();
        cycle.sendLong(kCurrentReply, kReadCurrent, {});
    });

    form.onClick(dataQuery, [&cycle, vars] {
        cycle.begin(kDataReply);
        for (const auto& v : vars)
            v.value->clear();
        cycle.sendLong(kDataReply, kReadVariables, {});
    });

    cycle.registerDecoder(kCurrentReply, [&cycle, current, percent] {
        const auto K = cycle.locate();
        if (!K) {
            cycle.setStatus(QStringLiteral("Upload failed!"));
            return;
        }
        const auto* reply = cycle.buffer().data() + *K;
        current->setText(QString::fromStdString(hart::floatTextOf(reply + 11, kCurrentLength)));
        percent->setText(QString::fromStdString(hart::floatTextOf(reply + 15, kPercentLength)));
        cycle.setStatus(QStringLiteral("Upload successful!"));
    });

    cycle.registerDecoder(kDataReply, [&cycle, vars] {
        const auto K = cycle.locate();
        if (!K) {
            cycle.setStatus(QStringLiteral("Upload failed!"));
            return;
        }
        auto& b = cycle.buffer();
        const auto* reply = b.data() + *K;
        auto show = [reply, &vars](std::size_t index) {
            const int i = static_cast<int>(index) + 1;
            vars[index].value->setText(
                QString::fromStdString(hart::floatTextMarked(reply + 11 + 5 * i, kVariableLength)));
            app::selectUnit(vars[index].unit, reply[10 + 5 * i]);
        };
        show(0);
        b[hart::lb::kPvUnit] = reply[15];
        cycle.setStatus(QStringLiteral("Upload successful!"));
        const int byteCount = reply[8];
        for (std::size_t index = 1; index < vars.size(); ++index)
            if (byteCount > 1 + 5 * static_cast<int>(index + 1)) show(index);
    });
}

} // namespace ops
