// "HART Instrument Real-time Data" group of the "On-line test " page: loop
// current and percent of range (command 2), and the dynamic variables with
// their units (command 3).
#include "ops/ops.h"

#include "hart/link_buffer.h"
#include "host/bind.h"
#include "host/device.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>

namespace ops {

namespace {

// Command 2 reply data.
constexpr int kLoopCurrent = 0;   // WireFloat, mA
constexpr int kPercentRange = 4;  // WireFloat, %
constexpr int kCurrentLength = 5; // "4.099"
constexpr int kPercentLength = 3; // "99."

// Command 3 reply data: the loop current, then per dynamic variable a unit
// code and a WireFloat. A variable beyond the first is carried when the byte
// count exceeds 1 + 5 x its number (11, 16, 21 for the second to the fourth).
constexpr int variableUnit(int i) { return 4 + 5 * i; }  // i from 0
constexpr int variableValue(int i) { return 5 + 5 * i; }
constexpr int kVariableLength = 10;

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

struct Controls {
    QLineEdit* current; // Edit6
    QLineEdit* percent; // Edit20
    std::array<QLineEdit*, 4> values;
    std::array<QComboBox*, 4> units;
};

void clearCurrent(const Controls& c) {
    c.percent->clear();
    c.current->clear();
}

void clearVariables(const Controls& c) {
    for (auto* v : c.values)
        v->clear();
}

constexpr host::RequestRow<Controls> kRequests[] = {
    {"Button34", 102, host::longFrame(2), nullptr, clearCurrent},
    {"Button4", 103, host::longFrame(3), nullptr, clearVariables},
};

void showCurrent(const Controls& c, const host::Reply& r) {
    c.current->setText(r.floatText(kLoopCurrent, kCurrentLength));
    c.percent->setText(r.floatText(kPercentRange, kPercentLength));
}

void showVariables(const Controls& c, const host::Reply& r) {
    auto show = [&](int i) {
        c.values[static_cast<std::size_t>(i)]->setText(
            r.markedFloatText(variableValue(i), kVariableLength));
        host::selectUnit(c.units[static_cast<std::size_t>(i)], r.byte(variableUnit(i)));
    };
    show(0);
    // Only the primary variable's unit is the one the trims send back.
    r.device().setPvUnit(r.byte(variableUnit(0)));
    // A variable the byte count announces but the reply does not carry whole
    // is not shown: its bytes would be the last reply's.
    for (int i = 1; i < static_cast<int>(kVariables.size()); ++i)
        if (r.byteCount() > 1 + 5 * (i + 1) && r.dataBytes() >= variableValue(i) + 4) show(i);
}

constexpr host::ReaderRow<Controls> kReaders[] = {
    {102, 8, showCurrent},
    {103, 9, showVariables},
};

} // namespace

void buildProcessData(host::PageHost& host) {
    host::Buttons buttons;
    Controls c{};
    host::FormGroup group("GroupBoxRealTime", QStringLiteral("HART Instrument Real-time Data"));
    c.current = host::makeEdit("Edit6");
    c.percent = host::makeEdit("Edit20");
    group.addRow(QStringLiteral("Output Current:"),
                 {c.current, host::makeLabel(QStringLiteral("mA"))});
    group.addRow(QStringLiteral("Current %:"), {c.percent});

    for (std::size_t i = 0; i < kVariables.size(); ++i) {
        const auto& row = kVariables[i];
        c.values[i] = host::makeEdit(row.edit);
        c.units[i] = host::makeUnitCombo(row.unitList, host::UnitForm::RealTime);
        c.units[i]->setMinimumContentsLength(14);
        // The primary variable's list starts, and is reset with the port, with
        // nothing selected; the other three show their first item until a
        // reply selects another.
        if (i != 0) host::selectIndex(c.units[i], 0);
        group.addRow(QString::fromLatin1(row.caption),
                     {c.values[i], host::makeLabel(QStringLiteral("Unit:")), c.units[i]});
    }
    // Edit17 and Edit18 are emptied at start only; Edit30 never.
    host.resetWithPort(c.values[0], host::PortReset::Clear);
    host.resetWithPort(c.values[1], host::PortReset::ClearAtStart);
    host.resetWithPort(c.values[2], host::PortReset::ClearAtStart);
    host.resetWithPort(c.current, host::PortReset::Clear);
    host.resetWithPort(c.units[0], host::PortReset::Clear);

    group.addRow(QString(), {buttons.make("Button34", QStringLiteral("Current Query")),
                             buttons.make("Button4", QStringLiteral("Data Query"))});
    host.place(host::Page::OnlineTest, group.box(), 0, 1);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);
}

} // namespace ops
