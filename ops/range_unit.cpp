// "Measurement Range And Unit" and "Signal Status" groups of the "Instrument
// parameter settings" page: sensor limits (command 14), output information
// (command 15), and the writes of unit (44), range values (35), damping (34)
// and transfer function (47).
#include "ops/ops.h"

#include "hart/link_buffer.h"
#include "hart/tables.h"
#include "host/bind.h"
#include "host/device.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace ops {

namespace {

// Command 14 reply data.
namespace limits {
constexpr int kUnit = 3;  // after the 3-byte sensor serial number
constexpr int kUpper = 4; // WireFloat
constexpr int kLower = 8; // WireFloat
} // namespace limits

// Command 15 reply data.
namespace output {
constexpr int kTransferFunction = 1; // after the alarm selection code
constexpr int kUnit = 2;
constexpr int kUpper = 3;   // WireFloat
constexpr int kLower = 7;   // WireFloat
constexpr int kDamping = 11; // WireFloat, seconds
constexpr int kManufacturer = 16; // after the write-protect code
} // namespace output

struct Controls {
    QLineEdit* upperLimit; // Edit11
    QLineEdit* lowerLimit; // Edit12
    QComboBox* limitUnit;  // ComboBox10
    QComboBox* rangeUnit;  // ComboBox1
    QLineEdit* upperRange; // Edit14
    QLineEdit* lowerRange; // Edit15
    QLineEdit* damping;    // Edit16
    QComboBox* transfer;   // ComboBox2
    QLabel* manufacturer;  // Label51
};

// The code written for the unit chosen in "Variable Unit:". Without a
// selection, or for a list position that has no code to write, nothing may
// go to the instrument.
std::uint8_t chosenUnit(const QComboBox* units) {
    const int position = units->currentIndex();
    if (position < 0) host::Payload::refuse(QStringLiteral("select a unit first"));
    const auto code = hart::unitCodeForPosition(position);
    if (!code)
        host::Payload::refuse(QStringLiteral("the unit \"%1\" has no code to write; select another")
                                  .arg(units->itemText(position).trimmed()));
    return *code;
}

void unitData(const Controls& c, host::Payload& p) {
    const std::uint8_t code = chosenUnit(c.rangeUnit);
    // The trims send this byte back; it is the unit from now on, reply or not.
    p.device().setPvUnit(code);
    p.byte(code);
}

void rangeData(const Controls& c, host::Payload& p) {
    p.byte(chosenUnit(c.rangeUnit));
    p.wireFloat(c.upperRange); // the upper value comes first
    p.wireFloat(c.lowerRange);
}

void dampingData(const Controls& c, host::Payload& p) {
    p.wireFloat(c.damping);
}

void transferData(const Controls& c, host::Payload& p) {
    if (c.transfer->currentIndex() < 0)
        host::Payload::refuse(QStringLiteral("select linear or prescribing first"));
    p.byte(static_cast<std::uint8_t>(c.transfer->currentIndex()));
}

constexpr host::RequestRow<Controls> kRequests[] = {
    {"Button5", 114, host::longFrame(14)},
    {"Button13", 115, host::longFrame(15)},
    {"Button8", 144, host::longFrame(44), unitData},
    {"Button12", 155, host::longFrame(35), rangeData},
    {"Button10", 134, host::longFrame(34), dampingData},
    {"Button14", 147, host::longFrame(47), transferData},
};

void showLimits(const Controls& c, const host::Reply& r) {
    c.upperLimit->setText(r.floatText(limits::kUpper));
    c.lowerLimit->setText(r.floatText(limits::kLower));
    r.device().setPvUnit(r.byte(limits::kUnit));
    host::selectUnit(c.limitUnit, r.byte(limits::kUnit));
}

void limitsMissing(const Controls& c) {
    c.upperLimit->clear();
    c.lowerLimit->clear();
}

void showOutput(const Controls& c, const host::Reply& r) {
    host::selectIndex(c.transfer, r.byte(output::kTransferFunction));
    r.device().setPvUnit(r.byte(output::kUnit));
    host::selectUnit(c.rangeUnit, r.byte(output::kUnit));
    c.upperRange->setText(r.floatText(output::kUpper));
    c.lowerRange->setText(r.floatText(output::kLower));
    c.damping->setText(r.floatText(output::kDamping));
    const auto name = hart::manufacturerName(r.byte(output::kManufacturer));
    c.manufacturer->setText(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
}

void outputMissing(const Controls& c) {
    host::clearSelection(c.transfer);
    host::clearSelection(c.rangeUnit);
    c.upperRange->clear();
    c.lowerRange->clear();
    c.damping->clear();
}

constexpr host::ReaderRow<Controls> kReaders[] = {
    {.replyCode = 114, .reads = 12, .fill = showLimits, .failed = limitsMissing},
    {.replyCode = 115, .reads = 17, .fill = showOutput, .failed = outputMissing},
};

} // namespace

void buildRangeUnit(host::PageHost& host) {
    host::Buttons buttons;
    Controls c{};

    // ---- "Measurement Range And Unit": the sensor's limits.
    host::FormGroup limitsGroup("GroupBoxSensorLimits",
                                QStringLiteral("Measurement Range And Unit"));
    c.upperLimit = host::makeEdit("Edit11");
    c.lowerLimit = host::makeEdit("Edit12");
    c.limitUnit = host::makeUnitCombo("ComboBox10", host::UnitForm::Range);
    limitsGroup.addRow(QStringLiteral("Upper Range Limit:"), {c.upperLimit});
    limitsGroup.addRow(QStringLiteral("Lower Range Limit:"), {c.lowerLimit});
    limitsGroup.addRow(QStringLiteral("Unit:"), {c.limitUnit});
    limitsGroup.addRow(QString(), {buttons.make("Button5", QStringLiteral("Query"))});
    limitsGroup.grid()->setRowStretch(limitsGroup.grid()->rowCount(), 1);
    host.place(host::Page::ParameterSettings, limitsGroup.box(), 0, 0);

    // ---- "Signal Status": range, unit, damping, transfer function.
    host::FormGroup status("GroupBoxSignalStatus", QStringLiteral("Signal Status"));
    c.rangeUnit = host::makeUnitCombo("ComboBox1", host::UnitForm::Range);
    c.upperRange = host::makeEdit("Edit14");
    c.lowerRange = host::makeEdit("Edit15");
    c.damping = host::makeEdit("Edit16");
    c.manufacturer = host::makeLabel(QString(), "Label51");
    c.transfer =
        host::makeCombo("ComboBox2", {QStringLiteral("linear"), QStringLiteral("prescribing")});

    status.addRow(QStringLiteral("Variable Unit:"),
                  {c.rangeUnit, nullptr, buttons.make("Button8", QStringLiteral("SET"))});
    status.addRow(QStringLiteral("Upper Range Limit:"), {c.upperRange});
    status.addRow(QStringLiteral("Lower Range Limit:"),
                  {c.lowerRange, nullptr, buttons.make("Button12", QStringLiteral("SET"))});
    status.addRow(QStringLiteral("Damping Time:"),
                  {c.damping, host::makeLabel(QStringLiteral("S")),
                   buttons.make("Button10", QStringLiteral("SET"))});
    // The form's "Manufacturer:" caption stays hidden; the name stands alone
    // below the damping time.
    auto* manufacturerCaption = host::makeLabel(QStringLiteral("Manufacturer:"));
    manufacturerCaption->hide();
    status.addRow(QString(), {c.manufacturer, manufacturerCaption});
    status.addRow(QStringLiteral("Out Character: "),
                  {c.transfer, nullptr, buttons.make("Button14", QStringLiteral("SET"))});
    status.addRow(QString(), {buttons.make("Button13", QStringLiteral("Query"))});
    status.grid()->setColumnStretch(1, 1);
    status.grid()->setRowStretch(status.grid()->rowCount(), 1);
    host.place(host::Page::ParameterSettings, status.box(), 0, 1, 2, 1);

    for (QWidget* field : std::initializer_list<QWidget*>{
             c.upperLimit, c.lowerLimit, c.upperRange, c.lowerRange, c.damping, c.limitUnit,
             c.rangeUnit, c.transfer})
        host.resetWithPort(field, host::PortReset::Clear);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);
}

} // namespace ops
