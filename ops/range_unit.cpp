// "Measurement Range And Unit" and "Signal Status" groups of the "Instrument
// parameter settings" page: sensor limits (command 14), output information
// (command 15), and the writes of unit (44), range values (35), damping (34)
// and transfer function (47).
#include "ops/ops.h"

#include "app/main_window.h"
#include "app/widgets.h"
#include "hart/encodings.h"
#include "hart/tables.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>
#include <vector>

namespace ops {

namespace {

constexpr int kSensorLimitsReply = 114;
constexpr int kOutputInfoReply = 115;
constexpr int kWriteUnitReply = 144;
constexpr int kWriteRangeReply = 155;
constexpr int kWriteDampingReply = 134;
constexpr int kWriteTransferReply = 147;

constexpr std::uint8_t kReadSensorLimits = 14;
constexpr std::uint8_t kReadOutputInfo = 15;
constexpr std::uint8_t kWriteUnit = 44;
constexpr std::uint8_t kWriteRange = 35;
constexpr std::uint8_t kWriteDamping = 34;
constexpr std::uint8_t kWriteTransfer = 47;

QString wholeText(const std::uint8_t* bytes) {
    return QString::fromStdString(hart::floatTextOf(bytes));
}

void appendFloat(std::vector<std::uint8_t>& data, const QLineEdit* edit) {
    const auto bytes = hart::wireFloatFromText(app::textOf(edit));
    data.insert(data.end(), bytes.begin(), bytes.end());
}

// The code written for the unit chosen in "Variable Unit:". Without a
// selection, or for a list position that has no code to write, nothing may
// go to the instrument: the status line tells the user why and the caller
// sends nothing.
std::optional<std::uint8_t> chosenUnitCode(app::RequestCycle& cycle, const QComboBox* units) {
    const int position = units->currentIndex();
    if (position < 0) {
        cycle.setStatus(QStringLiteral("Select a unit first"));
        return std::nullopt;
    }
    auto code = hart::unitCodeForPosition(position);
    if (!code)
        cycle.setStatus(QStringLiteral("The unit \"%1\" cannot be written: select another unit")
                            .arg(units->itemText(position).trimmed()));
    return code;
}

} // namespace

void buildRangeUnit(TForm1& form) {
    auto& cycle = form.cycle();

    // ---- "Measurement Range And Unit": the sensor's limits.
    app::FormGroup limits("GroupBoxSensorLimits", QStringLiteral("Measurement Range And Unit"));
    auto* upperLimit = app::makeEdit("Edit11");
    auto* lowerLimit = app::makeEdit("Edit12");
    auto* limitUnit = app::makeCombo("ComboBox10", {});
    app::fillUnitList(limitUnit, app::UnitForm::Range);
    app::clearSelection(limitUnit);
    auto* limitsQuery = app::makeButton("Button5", QStringLiteral("Query"));
    limits.addRow(QStringLiteral("Upper Range Limit:"), {upperLimit});
    limits.addRow(QStringLiteral("Lower Range Limit:"), {lowerLimit});
    limits.addRow(QStringLiteral("Unit:"), {limitUnit});
    limits.addRow(QString(), {limitsQuery});
    limits.grid()->setRowStretch(limits.grid()->rowCount(), 1);
    form.addToPage("TabSheet8", limits.box(), 0, 0);

    // ---- "Signal Status": range, unit, damping, transfer function.
    app::FormGroup status("GroupBoxSignalStatus", QStringLiteral("Signal Status"));
    auto* rangeUnit = app::makeCombo("ComboBox1", {});
    app::fillUnitList(rangeUnit, app::UnitForm::Range);
    app::clearSelection(rangeUnit);
    auto* setUnit = app::makeButton("Button8", QStringLiteral("SET"));
    auto* upperRange = app::makeEdit("Edit14");
    auto* lowerRange = app::makeEdit("Edit15");
    auto* setRange = app::makeButton("Button12", QStringLiteral("SET"));
    auto* damping = app::makeEdit("Edit16");
    auto* setDamping = app::makeButton("Button10", QStringLiteral("SET"));
    auto* manufacturer = app::makeLabel(QString(), "Label51");
    auto* transfer =
        app::makeCombo("ComboBox2", {QStringLiteral("linear"), QStringLiteral("prescribing")});
    auto* setTransfer = app::makeButton("Button14", QStringLiteral("SET"));
    auto* statusQuery = app::makeButton("Button13", QStringLiteral("Query"));

    status.addRow(QStringLiteral("Variable Unit:"), {rangeUnit, nullptr, setUnit});
    status.addRow(QStringLiteral("Upper Range Limit:"), {upperRange});
    status.addRow(QStringLiteral("Lower Range Limit:"), {lowerRange, nullptr, setRange});
    status.addRow(QStringLiteral("Damping Time:"),
                  {damping, app::makeLabel(QStringLiteral("S")), setDamping});
    // The form's "Manufacturer:" caption stays hidden; the name stands alone
    // below the damping time.
    auto* manufacturerCaption = app::makeLabel(QStringLiteral("Manufacturer:"));
    manufacturerCaption->hide();
    status.addRow(QString(), {manufacturer, manufacturerCaption});
    status.addRow(QStringLiteral("Out Character: "), {transfer, nullptr, setTransfer});
    status.addRow(QString(), {statusQuery});
    status.grid()->setColumnStretch(1, 1);
    status.grid()->setRowStretch(status.grid()->rowCount(), 1);
    form.addToPage("TabSheet8", status.box(), 0, 1, 2, 1);

    // ---- Queries.
    form.onClick(limitsQuery, [&cycle] {
        cycle.begin(kSensorLimitsReply);
        cycle.sendLong(kSensorLimitsReply, kReadSensorLimits, {});
    });
    form.onClick(statusQuery, [&cycle] {
        cycle.begin(kOutputInfoReply);
        cycle.sendLong(kOutputInfoReply, kReadOutputInfo, {});
    });

    // ---- Writes. Each reads its inputs as it appends their bytes; a value
    // that does not convert ends the request before anything is sent.
    form.onClick(setUnit, [&cycle, rangeUnit] {
        const auto code = chosenUnitCode(cycle, rangeUnit);
        if (!code) return;
        cycle.begin(kWriteUnitReply);
        // The trims send this byte back; it is the unit from now on, reply or not.
        cycle.buffer()[hart::lb::kPvUnit] = *code;
        const std::uint8_t data[] = {*code};
        cycle.sendLong(kWriteUnitReply, kWriteUnit, data);
    });

    form.onClick(setRange, [&cycle, rangeUnit, upperRange, lowerRange] {
        const auto code = chosenUnitCode(cycle, rangeUnit);
        if (!code) return;
        cycle.begin(kWriteRangeReply);
        std::vector<std::uint8_t> data{*code};
        appendFloat(data, upperRange);
        appendFloat(data, lowerRange);
        cycle.sendLong(kWriteRangeReply, kWriteRange, data);
    });

    form.onClick(setDamping, [&cycle, damping] {
        cycle.begin(kWriteDampingReply);
        std::vector<std::uint8_t> data;
        appendFloat(data, damping);
        cycle.sendLong(kWriteDampingReply, kWriteDamping, data);
    });

    form.onClick(setTransfer, [&cycle, transfer] {
        if (transfer->currentIndex() < 0) {
            cycle.setStatus(QStringLiteral("Select linear or prescribing first"));
            return;
        }
        cycle.begin(kWriteTransferReply);
        const std::uint8_t data[] = {static_cast<std::uint8_t>(transfer->currentIndex())};
        cycle.sendLong(kWriteTransferReply, kWriteTransfer, data);
    });

    // ---- Decoders. The write replies go to the generic write result.
    cycle.registerDecoder(kSensorLimitsReply, [&cycle, upperLimit, lowerLimit, limitUnit] {
        const auto K = cycle.locate();
        if (!K) {
            upperLimit->clear();
            lowerLimit->clear();
            cycle.setStatus(QStringLiteral("Upload failed!"));
            return;
        }
        auto& b = cycle.buffer();
        const auto* reply = b.data() + *K;
        cycle.setStatus(QStringLiteral("Upload successful!"));
        upperLimit->setText(wholeText(reply + 15));
        lowerLimit->setText(wholeText(reply + 19));
        b[hart::lb::kPvUnit] = reply[14];
        app::selectUnit(limitUnit, reply[14]);
    });

    cycle.registerDecoder(kOutputInfoReply, [&cycle, transfer, rangeUnit, upperRange, lowerRange,
                                             damping, manufacturer] {
        const auto K = cycle.locate();
        if (!K) {
            app::clearSelection(transfer);
            app::clearSelection(rangeUnit);
            upperRange->clear();
            lowerRange->clear();
            damping->clear();
            cycle.setStatus(QStringLiteral("Upload failed!"));
            return;
        }
        auto& b = cycle.buffer();
        const auto* reply = b.data() + *K;
        app::selectIndex(transfer, reply[12]);
        b[hart::lb::kPvUnit] = reply[13];
        app::selectUnit(rangeUnit, reply[13]);
        upperRange->setText(wholeText(reply + 14));
        lowerRange->setText(wholeText(reply + 18));
        damping->setText(wholeText(reply + 22));
        const auto name = hart::manufacturerName(reply[27]);
        manufacturer->setText(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
        cycle.setStatus(QStringLiteral("Upload successful!"));
    });
}

} // namespace ops
