// "HART 7 device": what a handheld offers for a HART 7 device it has no
// description of, from the universal and common-practice commands alone:
// the device variables with their status (command 9) and what the device
// says of each (54), their mapping onto PV, SV, TV and QV (50, 51), the long
// tag (20, 22), the loop configuration (7, 6), the configuration change
// counter and flag (0, 38), squawk, self test and reset (72, 41, 42), the
// real-time clock (90, 89) and the communication counters (95).
//
// An older device gets what it knows: command 33 for its variables 0-3, and
// what it does not implement is said so beside the group that asked.
//
// Every value here is the current device's: a table the request cycle does
// not watch is emptied here when the device changes or the port closes, the
// fields by the window.
#include "ops/ops.h"

#include "hart/common_tables.h"
#include "hart/device_commands.h"
#include "hart/device_identity.h"
#include "hart/device_variables.h"
#include "hart/encodings.h"
#include "hart/names.h"
#include "hart/protocol.h"
#include "host/bind.h"
#include "host/device.h"
#include "host/widgets.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>
#include <optional>
#include <span>
#include <string>

namespace ops {

namespace {

// ---- Reply codes: one per request, each with its row in host/reply_codes.cpp.
constexpr int kVariablesReply = 3200;    // 9
constexpr int kOldVariablesReply = 3201; // 33, before HART 7
constexpr int kVariableInfoReply = 3202; // 54
constexpr int kMappingReply = 3203;      // 50
constexpr int kWriteMappingReply = 3204; // 51
constexpr int kLongTagReply = 3205;      // 20
constexpr int kWriteLongTagReply = 3206; // 22
constexpr int kLoopReply = 3207;         // 7
constexpr int kWriteLoopReply = 3208;    // 6
constexpr int kCounterReply = 3209;      // 0, to the long address
constexpr int kResetChangedReply = 3210; // 38
constexpr int kSquawkReply = 3211;       // 72
constexpr int kSelfTestReply = 3212;     // 41
constexpr int kDeviceResetReply = 3213;  // 42
constexpr int kClockReply = 3214;        // 90
constexpr int kSetClockReply = 3215;     // 89
constexpr int kCommStatsReply = 3216;    // 95

constexpr std::uint8_t kFirstHart7Revision = 7;
constexpr std::uint8_t kOldVariableCodes[] = {0, 1, 2, 3};
constexpr const char* kDefaultCodes = "0,1,2,3,246,247,248,249";
constexpr int kHighestHart7PollAddress = hart::kHighestPollAddress;

// Columns of the device variables table.
enum Column { Slot, Code, Classification, Value, Unit, Status };
constexpr const char* kColumns[] = {"Slot",  "Variable code", "Classification",
                                    "Value", "Unit",          "Status"};
// The Code cell keeps the device variable code for command 54.
constexpr int kCodeRole = Qt::UserRole;

struct Controls {
    host::Device* device;
    QLineEdit* codes;              // DeviceVariableCodes
    QTableWidget* table;           // DeviceVariablesTable
    QLabel* source;                // DeviceVariablesCommand: which command filled the table
    QLabel* timeStamp;             // DeviceVariablesTimeStamp
    QLabel* extendedStatus;        // DeviceVariablesExtendedStatus
    QPlainTextEdit* info;          // DeviceVariableInfo
    std::array<QLineEdit*, 4> map; // MappingPV, MappingSV, MappingTV, MappingQV
    QLineEdit* longTag;            // LongTag
    QComboBox* pollAddress;        // PollingAddress7
    QComboBox* loopMode;           // LoopCurrentMode
    QLineEdit* counter;            // ConfigChangeCounter
    QLabel* changed;               // ConfigChangedFlag
    QLineEdit* clockNow;           // ClockCurrent
    QLineEdit* clockLastSet;       // ClockLastSet
    QLineEdit* clockFlags;         // ClockFlags
    QLineEdit* stx;                // CommStx
    QLineEdit* ack;                // CommAck
    QLineEdit* back;               // CommBack
};

constexpr const char* kMappingNames[] = {"PV", "SV", "TV", "QV"};

// ---- Which kind of device is in front of us. Without an identity the page
// speaks HART 7, the kind it is for.

bool beforeHart7(const Controls& c) {
    const auto& id = c.device->identity();
    return id && id->universalRevision < kFirstHart7Revision;
}
bool fromHart7(const Controls& c) {
    return !beforeHart7(c);
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

std::span<const std::uint8_t> dataOf(const host::Reply& r) {
    return {r.at(0, r.dataBytes()), static_cast<std::size_t>(r.dataBytes())};
}

// A parser's sentence as the reason after "Nothing sent: ".
QString asReason(const std::string& sentence) {
    QString why = text(sentence);
    if (why.endsWith(QLatin1Char('.'))) why.chop(1);
    if (!why.isEmpty()) why[0] = why[0].toLower();
    return why;
}

// A float as a device variable shows it: the seven significant digits a
// single-precision value holds.
QString valueText(float v) {
    return QString::number(static_cast<double>(v), 'g', 7);
}

QString codeText(std::uint8_t code) {
    const QString name = text(hart::deviceVariableCodeText(code));
    return name == QString::number(code) ? name : QStringLiteral("%1 (%2)").arg(name).arg(code);
}

// The configuration-changed bit of the replies this page gets, and of the
// command-0 reply that identified the device.
void showChangedFlag(const Controls& c, std::uint8_t deviceStatus) {
    c.changed->setText(hart::configurationChanged(deviceStatus) ? QStringLiteral("set")
                                                                : QStringLiteral("not set"));
}

// ---------------------------------------------------------------- requests

void variableCodesData(const Controls& c, host::Payload& p) {
    const auto parsed = hart::parseVariableCodes(host::textOf(c.codes), hart::kCommand9Slots);
    if (!parsed.error.empty()) host::Payload::refuse(asReason(parsed.error));
    p.bytes(hart::command9Request(parsed.codes));
}

void oldVariableCodesData(const Controls&, host::Payload& p) {
    p.bytes(hart::command33Request(kOldVariableCodes));
}

void selectedVariableData(const Controls& c, host::Payload& p) {
    const int row = c.table->currentRow();
    const QTableWidgetItem* item = row >= 0 ? c.table->item(row, Code) : nullptr;
    if (!item)
        host::Payload::refuse(
            QStringLiteral("no device variable chosen; read the device variables and choose "
                           "one in the table first"));
    p.byte(static_cast<std::uint8_t>(item->data(kCodeRole).toUInt()));
}

// A device variable code typed into a mapping field; nothing for an empty one.
std::optional<std::uint8_t> mappingCode(const QLineEdit* field, const char* name) {
    const QString typed = field->text().trimmed();
    if (typed.isEmpty()) return std::nullopt;
    bool digits = typed.size() <= 3;
    for (const QChar ch : typed)
        digits = digits && ch.isDigit() && ch.unicode() < 0x80;
    if (!digits || typed.toInt() > 255)
        throw hart::ConversionError(std::string(name) + ": '" + typed.toStdString() +
                                    "' is not a device variable code (0-255).");
    return static_cast<std::uint8_t>(typed.toInt());
}

void mappingData(const Controls& c, host::Payload& p) {
    std::array<std::optional<std::uint8_t>, 4> codes;
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = mappingCode(c.map[i], kMappingNames[i]);
    if (!codes[0]) host::Payload::refuse(QStringLiteral("the PV needs a device variable code"));
    // Command 51 ends at the first variable left out; one after a gap
    // could not be sent.
    for (std::size_t i = 1; i + 1 < codes.size(); ++i)
        for (std::size_t later = i + 1; later < codes.size(); ++later)
            if (!codes[i] && codes[later])
                host::Payload::refuse(
                    QStringLiteral("the %1 is given but the %2 before it is "
                                   "not; fill in the %2 or empty the %1")
                        .arg(QLatin1String(kMappingNames[later]), QLatin1String(kMappingNames[i])));
    p.bytes(hart::command51Request({*codes[0], codes[1], codes[2], codes[3]}));
}

void longTagData(const Controls& c, host::Payload& p) {
    const QString tag = c.longTag->text();
    for (const QChar ch : tag)
        if (ch.unicode() > 0xFF)
            throw hart::ConversionError("The long tag holds '" + QString(ch).toStdString() +
                                        "', which ISO Latin-1 cannot carry.");
    const QByteArray latin1 = tag.toLatin1();
    p.bytes(hart::command22Request(
        std::string_view(latin1.constData(), static_cast<std::size_t>(latin1.size()))));
}

// The position of the item the list's text names, or -1.
int chosenIndex(const QComboBox* list) {
    return list->findText(list->currentText(), Qt::MatchExactly);
}

void loopData(const Controls& c, host::Payload& p) {
    const int address = chosenIndex(c.pollAddress);
    if (address < 0)
        host::Payload::refuse(QStringLiteral("no polling address chosen; choose 0 to 63 first"));
    const int mode = chosenIndex(c.loopMode);
    if (mode < 0)
        host::Payload::refuse(QStringLiteral("no loop current mode chosen; choose enabled or "
                                             "disabled first"));
    p.bytes(hart::command6Request(
        {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(mode)}));
}

// From HART 7 on the reset carries the counter the master last read, so
// that a change another master made since is not hidden. Older devices
// take no data.
void resetChangedData(const Controls& c, host::Payload& p) {
    if (beforeHart7(c)) return;
    bool ok = false;
    const uint counter = c.counter->text().toUInt(&ok);
    if (!ok || counter > 0xFFFF)
        host::Payload::refuse(QStringLiteral("the configuration change counter is not known; "
                                             "press Query beside it first"));
    p.bytes(hart::command38Request(static_cast<std::uint16_t>(counter)));
}

// The computer's clock, in UTC: a device's clock has no time zone, and
// the one time every host agrees on keeps its records comparable.
void clockNowData(const Controls&, host::Payload& p) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDate day = now.date();
    const std::array<std::uint8_t, 3> date{static_cast<std::uint8_t>(day.day()),
                                           static_cast<std::uint8_t>(day.month()),
                                           static_cast<std::uint8_t>(day.year() - 1900)};
    const auto sinceMidnight = static_cast<std::uint32_t>(now.time().msecsSinceStartOfDay());
    p.bytes(hart::command89Request(date, sinceMidnight * hart::kHartTimeTicksPerMs));
}

// ---- What a SET sends that a query reads.

void keepMapping(const Controls& c, host::Keep& k) {
    for (const QLineEdit* field : c.map)
        k.field(field, kMappingReply);
    k.orRefuse(host::keepRefusal(QStringLiteral("the PV, SV, TV and QV assignments"),
                                 QStringLiteral("assignments")));
}

void keepLoop(const Controls& c, host::Keep& k) {
    k.list(c.pollAddress, kLoopReply);
    k.list(c.loopMode, kLoopReply);
    k.orRefuse(host::keepRefusal(QStringLiteral("the polling address and the loop current mode"),
                                 QStringLiteral("polling address and loop current mode")));
}

void keepLongTag(const Controls& c, host::Keep& k) {
    k.field(c.longTag, kLongTagReply);
    k.orRefuse(QStringLiteral("Nothing sent: SET writes the whole long tag. Press Query first, "
                              "so that the long tag the device holds is kept."));
}

// The counter comes from the device (discovery, or Query beside it), never
// from the user.
void keepCounter(const Controls& c, host::Keep& k) {
    if (beforeHart7(c)) return;
    k.field(c.counter, kCounterReply);
    k.orRefuse(QStringLiteral("Nothing sent: the reset sends the configuration change counter "
                              "the device last reported. Press Query beside the counter first."));
}

// ---- Fields a query empties before it is sent.

// The table row the user chose, kept while the table is read again.
constexpr const char* kChosenRow = "chosenRow";

void clearVariables(const Controls& c) {
    c.table->setProperty(kChosenRow, -1);
    c.table->setRowCount(0);
    c.source->clear();
    c.timeStamp->clear();
    c.extendedStatus->clear();
}
// Before a new read: the rows go, the choice among them stays.
void clearVariablesForRead(const Controls& c) {
    const int chosen = c.table->currentRow();
    clearVariables(c);
    c.table->setProperty(kChosenRow, chosen);
}

void clearInfo(const Controls& c) {
    c.info->clear();
}
void clearMapping(const Controls& c) {
    for (QLineEdit* field : c.map)
        field->clear();
}
void clearLongTag(const Controls& c) {
    c.longTag->clear();
}
void clearLoop(const Controls& c) {
    host::clearSelection(c.pollAddress);
    host::clearSelection(c.loopMode);
}
void clearCounter(const Controls& c) {
    c.counter->clear();
    c.changed->clear();
}
void clearClock(const Controls& c) {
    for (QLineEdit* field : {c.clockNow, c.clockLastSet, c.clockFlags})
        field->clear();
}
void clearCommStats(const Controls& c) {
    for (QLineEdit* field : {c.stx, c.ack, c.back})
        field->clear();
}

constexpr host::Question kResetQuestion{
    "DeviceResetQuestion",
    "Reset the device? It stops answering for a few seconds and the loop current may change.",
    "Reset"};

constexpr host::RequestRow<Controls> kRequests[] = {
    {.button = "ReadDeviceVariables",
     .replyCode = kVariablesReply,
     .frame = host::longFrame(9),
     .data = variableCodesData,
     .clears = clearVariablesForRead,
     .when = fromHart7},
    {.button = "ReadDeviceVariables",
     .replyCode = kOldVariablesReply,
     .frame = host::longFrame(33),
     .data = oldVariableCodesData,
     .clears = clearVariablesForRead,
     .when = beforeHart7},
    {"ReadDeviceVariableInfo", kVariableInfoReply, host::longFrame(54), selectedVariableData,
     clearInfo},
    {"ReadMapping", kMappingReply, host::longFrame(50), nullptr, clearMapping},
    {.button = "WriteMapping",
     .replyCode = kWriteMappingReply,
     .frame = host::longFrame(51),
     .data = mappingData,
     .keep = keepMapping},
    {"ReadLongTag", kLongTagReply, host::longFrame(20), nullptr, clearLongTag},
    {.button = "WriteLongTag",
     .replyCode = kWriteLongTagReply,
     .frame = host::longFrame(22),
     .data = longTagData,
     .keep = keepLongTag},
    {"ReadLoopConfig", kLoopReply, host::longFrame(7), nullptr, clearLoop},
    {.button = "WriteLoopConfig",
     .replyCode = kWriteLoopReply,
     .frame = host::longFrame(6),
     .data = loopData,
     .keep = keepLoop},
    {"ReadConfigChanged", kCounterReply, host::longFrame(0), nullptr, clearCounter},
    {.button = "ResetConfigChanged",
     .replyCode = kResetChangedReply,
     .frame = host::longFrame(38),
     .data = resetChangedData,
     .keep = keepCounter},
    {"Squawk", kSquawkReply, host::longFrame(72)},
    {"SelfTest", kSelfTestReply, host::longFrame(41)},
    {.button = "DeviceReset",
     .replyCode = kDeviceResetReply,
     .frame = host::longFrame(42),
     .question = &kResetQuestion},
    {"ReadClock", kClockReply, host::longFrame(90), nullptr, clearClock},
    {"SetClockToNow", kSetClockReply, host::longFrame(89), clockNowData},
    {"ReadCommStats", kCommStatsReply, host::longFrame(95), nullptr, clearCommStats},
};

// ---------------------------------------------------------------- replies

void setCell(QTableWidget* table, int row, Column column, const QString& value) {
    auto* item = new QTableWidgetItem(value);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    table->setItem(row, column, item);
}

struct VariableRow {
    std::uint8_t code;
    std::optional<std::uint8_t> classification; // command 9 only
    std::uint8_t unit;
    float value;
    std::optional<std::uint8_t> status; // command 9 only
};

void showRows(const Controls& c, const std::vector<VariableRow>& rows) {
    const int selected = c.table->property(kChosenRow).toInt();
    c.table->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const VariableRow& v = rows[static_cast<std::size_t>(i)];
        setCell(c.table, i, Slot, QString::number(i));
        setCell(c.table, i, Code, codeText(v.code));
        c.table->item(i, Code)->setData(kCodeRole, static_cast<int>(v.code));
        setCell(c.table, i, Classification,
                v.classification ? text(hart::classificationName(*v.classification)) : QString());
        setCell(c.table, i, Value, valueText(v.value));
        setCell(c.table, i, Unit,
                text(v.classification ? hart::unitText(v.unit, *v.classification)
                                      : hart::unitText(v.unit)));
        setCell(c.table, i, Status,
                v.status ? text(hart::variableStatusText(*v.status)) : QString());
    }
    // The row chosen before stays chosen when it is still there.
    if (selected >= 0 && selected < c.table->rowCount()) c.table->selectRow(selected);
}

bool command9Decodes(const host::Reply& r) {
    return hart::decodeCommand9(dataOf(r)).has_value();
}

void showVariables(const Controls& c, const host::Reply& r) {
    const auto reply = hart::decodeCommand9(dataOf(r));
    std::vector<VariableRow> rows;
    for (const hart::DeviceVariable& v : reply->variables)
        rows.push_back({v.code, v.classification, v.unit, v.value, v.status});
    showRows(c, rows);
    c.source->setText(QStringLiteral("Command 9, Read Device Variables with Status"));
    c.timeStamp->setText(
        reply->timeStamp
            ? QStringLiteral("Time stamp of slot 0: %1")
                  .arg(text(hart::hartTimeText(*reply->timeStamp).value_or("no time of day")))
            : QStringLiteral("Time stamp of slot 0: none (the reply carries none)"));
    const std::vector<std::string> bits =
        hart::setBitNames(reply->extendedStatus, hart::kExtendedDeviceStatusBits);
    c.extendedStatus->setText(
        QStringLiteral("Extended device status: %1 (%2)")
            .arg(text(hart::hexText(reply->extendedStatus)),
                 bits.empty() ? QStringLiteral("none set") : text(hart::joined(bits))));
    showChangedFlag(c, r.deviceStatus());
}

bool command33Decodes(const host::Reply& r) {
    return hart::decodeCommand33(dataOf(r)).has_value();
}

void showOldVariables(const Controls& c, const host::Reply& r) {
    const auto values = hart::decodeCommand33(dataOf(r));
    std::vector<VariableRow> rows;
    for (const hart::VariableValue& v : *values)
        rows.push_back({v.code, std::nullopt, v.unit, v.value, std::nullopt});
    showRows(c, rows);
    const auto& id = c.device->identity();
    c.source->setText(QStringLiteral("Command 33, Read Device Variables: the device is HART %1, "
                                     "so variables 0-3 without status")
                          .arg(id ? id->universalRevision : 0));
    showChangedFlag(c, r.deviceStatus());
}

void showVariableInfo(const Controls& c, const host::Reply& r) {
    const auto info = hart::decodeCommand54(dataOf(r));
    const auto unit = text(hart::unitText(info->limitsUnit, info->classification));
    const auto withUnit = [&unit](float v) { return valueText(v) + QLatin1Char(' ') + unit; };
    QStringList lines{
        QStringLiteral("Device variable: %1").arg(codeText(info->code)),
        QStringLiteral("Transducer serial number: %1").arg(info->transducerSerialNumber),
        QStringLiteral("Upper transducer limit: %1").arg(withUnit(info->upperLimit)),
        QStringLiteral("Lower transducer limit: %1").arg(withUnit(info->lowerLimit)),
        QStringLiteral("Minimum span: %1").arg(withUnit(info->minimumSpan)),
        QStringLiteral("Damping: %1 s").arg(valueText(info->damping)),
        QStringLiteral("Classification: %1")
            .arg(text(hart::classificationName(info->classification))),
        QStringLiteral("Family: %1").arg(text(hart::deviceFamilyName(info->family))),
    };
    if (info->acquisitionPeriod)
        lines << QStringLiteral("Update period: %1 s")
                     .arg(QString::number(hart::hartTimeSeconds(*info->acquisitionPeriod), 'g', 7));
    if (info->properties)
        lines << QStringLiteral("Properties: %1").arg(text(hart::hexText(*info->properties)));
    c.info->setPlainText(lines.join(QLatin1Char('\n')));
    showChangedFlag(c, r.deviceStatus());
}

bool command54Decodes(const host::Reply& r) {
    return hart::decodeCommand54(dataOf(r)).has_value();
}

// Commands 50 and 51 answer with the mapping; a device with fewer dynamic
// variables sends fewer codes, and the fields beyond stay empty.
void showMapping(const Controls& c, const host::Reply& r) {
    const auto mapping = hart::decodeCommand50(dataOf(r));
    const std::array<std::optional<std::uint8_t>, 4> codes{mapping->pv, mapping->sv, mapping->tv,
                                                           mapping->qv};
    for (std::size_t i = 0; i < codes.size(); ++i)
        c.map[i]->setText(codes[i] ? QString::number(*codes[i]) : QString());
    showChangedFlag(c, r.deviceStatus());
}

void showLongTag(const Controls& c, const host::Reply& r) {
    const auto tag = hart::decodeCommand20(dataOf(r));
    c.longTag->setText(QString::fromLatin1(tag->data(), static_cast<qsizetype>(tag->size())));
    showChangedFlag(c, r.deviceStatus());
}

// Command 7's reply, and command 6's echo of what it took. A HART 5 device
// answers command 6 with the address alone; the mode is then not known.
void showLoop(const Controls& c, const host::Reply& r) {
    host::selectIndex(c.pollAddress, r.byte(0));
    if (r.dataBytes() >= 2)
        host::selectIndex(c.loopMode, r.byte(1));
    else
        host::clearSelection(c.loopMode);
    showChangedFlag(c, r.deviceStatus());
}

void showCounterOfIdentity(const Controls& c, const host::Reply& r) {
    const auto counter = hart::configurationChangeCounterOf(dataOf(r));
    c.counter->setText(counter ? QString::number(*counter) : QString());
    showChangedFlag(c, r.deviceStatus());
}

void showCounterOfReset(const Controls& c, const host::Reply& r) {
    if (const auto counter = hart::decodeCommand38(dataOf(r)))
        c.counter->setText(QString::number(*counter));
    showChangedFlag(c, r.deviceStatus());
}

// A reset that failed leaves the flag as it was and the counter in doubt
// (a mismatch means another change came in): it is read again before the
// next try.
void counterInDoubt(const Controls& c) {
    c.counter->clear();
}

// Squawk, self test, reset and setting the clock: the answer itself is the result.
void showAnswered(const Controls& c, const host::Reply& r) {
    showChangedFlag(c, r.deviceStatus());
}

void showClock(const Controls& c, const host::Reply& r) {
    const auto clock = hart::decodeCommand90(dataOf(r));
    c.clockNow->setText(text(hart::dateTimeText(clock->currentDate, clock->currentTime)));
    c.clockLastSet->setText(text(hart::dateTimeText(clock->lastSetDate, clock->lastSetTime)));
    const auto flags = hart::setBitNames(clock->flags, hart::kRealTimeClockFlagBits);
    c.clockFlags->setText(flags.empty() ? QStringLiteral("none") : text(hart::joined(flags)));
    showChangedFlag(c, r.deviceStatus());
}

void showCommStats(const Controls& c, const host::Reply& r) {
    const auto stats = hart::decodeCommand95(dataOf(r));
    c.stx->setText(QString::number(stats->stxReceived));
    c.ack->setText(QString::number(stats->ackSent));
    c.back->setText(QString::number(stats->backSent));
    showChangedFlag(c, r.deviceStatus());
}

constexpr const char* kWriteSuccessful = "Write successful!";
constexpr const char* kWriteFailed = "Write failed!";

// Every row judges the response code: an error fails with its meaning even
// where the reply has the bytes, and the fields it would fill stay empty.
constexpr host::ReaderRow<Controls> kReaders[] = {
    {.replyCode = kVariablesReply,
     .reads = 9, // extended status and one slot
     .fill = showVariables,
     .failed = clearVariables,
     .accept = command9Decodes,
     .judgesResponseCode = true},
    {.replyCode = kOldVariablesReply,
     .reads = 6, // one slot
     .fill = showOldVariables,
     .failed = clearVariables,
     .accept = command33Decodes,
     .judgesResponseCode = true},
    {.replyCode = kVariableInfoReply,
     .reads = 23,
     .fill = showVariableInfo,
     .failed = clearInfo,
     .accept = command54Decodes,
     .judgesResponseCode = true},
    {.replyCode = kMappingReply,
     .reads = 1,
     .fill = showMapping,
     .failed = clearMapping,
     .judgesResponseCode = true},
    {.replyCode = kWriteMappingReply,
     .reads = 1,
     .fill = showMapping,
     .failureText = kWriteFailed,
     .successText = kWriteSuccessful,
     .judgesResponseCode = true},
    {.replyCode = kLongTagReply,
     .reads = static_cast<int>(hart::kLongTagSize),
     .fill = showLongTag,
     .failed = clearLongTag,
     .judgesResponseCode = true},
    {.replyCode = kWriteLongTagReply,
     .reads = static_cast<int>(hart::kLongTagSize),
     .fill = showLongTag,
     .failureText = kWriteFailed,
     .successText = kWriteSuccessful,
     .judgesResponseCode = true},
    {.replyCode = kLoopReply,
     .reads = 2,
     .fill = showLoop,
     .failed = clearLoop,
     .judgesResponseCode = true},
    {.replyCode = kWriteLoopReply,
     .reads = 1,
     .fill = showLoop,
     .failureText = kWriteFailed,
     .successText = kWriteSuccessful,
     .judgesResponseCode = true},
    {.replyCode = kCounterReply,
     .reads = static_cast<int>(hart::kIdentityBytes),
     .fill = showCounterOfIdentity,
     .failed = clearCounter,
     .judgesResponseCode = true},
    {.replyCode = kResetChangedReply,
     .reads = 0,
     .fill = showCounterOfReset,
     .failureText = kWriteFailed,
     .failed = counterInDoubt,
     .successText = kWriteSuccessful,
     .judgesResponseCode = true},
    {.replyCode = kSquawkReply,
     .reads = 0,
     .fill = showAnswered,
     .failureText = kWriteFailed,
     .successText = kWriteSuccessful,
     .judgesResponseCode = true},
    {.replyCode = kSelfTestReply,
     .reads = 0,
     .fill = showAnswered,
     .failureText = kWriteFailed,
     .successText = kWriteSuccessful,
     .judgesResponseCode = true},
    {.replyCode = kDeviceResetReply,
     .reads = 0,
     .fill = showAnswered,
     .failureText = kWriteFailed,
     .successText = kWriteSuccessful,
     .judgesResponseCode = true},
    {.replyCode = kClockReply,
     .reads = 15,
     .fill = showClock,
     .failed = clearClock,
     .judgesResponseCode = true},
    {.replyCode = kSetClockReply,
     .reads = 0,
     .fill = showAnswered,
     .failureText = kWriteFailed,
     .successText = kWriteSuccessful,
     .judgesResponseCode = true},
    {.replyCode = kCommStatsReply,
     .reads = 6,
     .fill = showCommStats,
     .failed = clearCommStats,
     .judgesResponseCode = true},
};

// ---------------------------------------------------------------- outcomes

// Each group says under it how its last request ended, in words a
// technician acts on; the status line below the pages says it too, but is
// overwritten by the next request of any page.
enum Group { Variables, Mapping, LongTag, Loop, Changed, Actions, kGroups };

struct Outcome {
    int replyCode;
    std::uint8_t command;
    const char* what;
    Group group;
    bool write; // a write says its success too; a read's filled fields say it
};
constexpr Outcome kOutcomes[] = {
    {kVariablesReply, 9, "Read device variables", Variables, false},
    {kOldVariablesReply, 33, "Read device variables", Variables, false},
    {kVariableInfoReply, 54, "Read device variable information", Variables, false},
    {kMappingReply, 50, "Read mapping", Mapping, false},
    {kWriteMappingReply, 51, "Write mapping", Mapping, true},
    {kLongTagReply, 20, "Read long tag", LongTag, false},
    {kWriteLongTagReply, 22, "Write long tag", LongTag, true},
    {kLoopReply, 7, "Read loop configuration", Loop, false},
    {kWriteLoopReply, 6, "Write loop configuration", Loop, true},
    {kCounterReply, 0, "Read counter", Changed, false},
    {kResetChangedReply, 38, "Reset configuration changed", Changed, true},
    {kSquawkReply, 72, "Squawk", Actions, true},
    {kSelfTestReply, 41, "Self test", Actions, true},
    {kDeviceResetReply, 42, "Device reset", Actions, true},
    {kClockReply, 90, "Read clock", Actions, false},
    {kSetClockReply, 89, "Set clock", Actions, true},
    {kCommStatsReply, 95, "Read communication statistics", Actions, false},
};

const Outcome* outcomeOf(int replyCode) {
    for (const Outcome& o : kOutcomes)
        if (o.replyCode == replyCode) return &o;
    return nullptr;
}

class OutcomeNotes : public QObject {
public:
    OutcomeNotes(host::PageHost& host, std::array<QLabel*, kGroups> notes)
        : QObject(notes[0]), cycle_(host.cycle()), notes_(notes) {
        connect(&cycle_, &host::RequestCycle::replyDecoded, this, [this](int code) {
            if (const Outcome* o = outcomeOf(code))
                say(*o, o->write
                            ? QStringLiteral("%1: %2").arg(QLatin1String(o->what), cycle_.status())
                            : QString());
        });
        connect(&cycle_, &host::RequestCycle::replyNotDecoded, this,
                [this](int code, const QString& status, int, const QString& reason) {
                    if (const Outcome* o = outcomeOf(code)) say(*o, failure(*o, status, reason));
                });
        connect(&cycle_, &host::RequestCycle::replyTimedOut, this, [this](int code) {
            if (const Outcome* o = outcomeOf(code))
                say(*o, QStringLiteral("%1: %2").arg(QLatin1String(o->what), cycle_.status()));
        });
    }

    void clear() {
        for (QLabel* note : notes_)
            note->clear();
    }

private:
    static QString failure(const Outcome& o, const QString& status, const QString& reason) {
        const QString notImplemented = text(hart::responseCodeName(hart::rc::kNotImplemented));
        if (reason.startsWith(notImplemented))
            return QStringLiteral("%1: the device does not implement command %2, so there is "
                                  "nothing to show.")
                .arg(QLatin1String(o.what))
                .arg(o.command);
        return QStringLiteral("%1: %2").arg(QLatin1String(o.what), status);
    }

    void say(const Outcome& o, const QString& note) { notes_[o.group]->setText(note); }

    host::RequestCycle& cycle_;
    std::array<QLabel*, kGroups> notes_;
};

// ---------------------------------------------------------------- layout

QLineEdit* readOnlyEdit(const char* name, int width = 0) {
    QLineEdit* e = host::makeEdit(name);
    e->setReadOnly(true);
    if (width) e->setMaximumWidth(width);
    return e;
}

QLabel* noteLabel(const char* name) {
    QLabel* l = host::makeLabel(QString(), name);
    l->setWordWrap(true);
    return l;
}

QStringList numbersUpTo(int last) {
    QStringList items;
    for (int i = 0; i <= last; ++i)
        items << QString::number(i);
    return items;
}

QWidget* inRow(std::initializer_list<QWidget*> widgets) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* w : widgets)
        layout->addWidget(w);
    layout->addStretch(1);
    return row;
}

} // namespace

void buildHart7Device(host::PageHost& host) {
    constexpr host::Page kPage = host::Page::Hart7Device;
    host::Buttons buttons;
    auto query = [&buttons](const char* name) {
        return buttons.make(name, QStringLiteral("Query"));
    };
    auto set = [&buttons](const char* name) { return buttons.make(name, QStringLiteral("SET")); };

    Controls c{};
    c.device = &host.device();
    std::array<QLabel*, kGroups> notes{};

    // ---- Device variables.
    host::FormGroup variables("GroupBoxDeviceVariables", QStringLiteral("Device variables"));
    c.codes = host::makeEdit("DeviceVariableCodes");
    c.codes->setText(QString::fromLatin1(kDefaultCodes));
    c.codes->setToolTip(QStringLiteral("Up to 8 device variable codes, separated by commas "
                                       "(246-249: PV, SV, TV, QV; 244: percent of range; "
                                       "245: loop current)"));
    variables.addRow(QStringLiteral("Codes:"),
                     {c.codes, buttons.make("ReadDeviceVariables", QStringLiteral("Read"))});
    c.table = new QTableWidget(0, static_cast<int>(std::size(kColumns)));
    c.table->setObjectName(QStringLiteral("DeviceVariablesTable"));
    c.table->setProperty(kChosenRow, -1);
    QStringList headers;
    for (const char* h : kColumns)
        headers << QString::fromLatin1(h);
    c.table->setHorizontalHeaderLabels(headers);
    c.table->verticalHeader()->hide();
    c.table->setSelectionBehavior(QAbstractItemView::SelectRows);
    c.table->setSelectionMode(QAbstractItemView::SingleSelection);
    c.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c.table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    c.table->horizontalHeader()->setStretchLastSection(true);
    const int rowHeight = c.table->fontMetrics().height() + 6;
    c.table->verticalHeader()->setDefaultSectionSize(rowHeight);
    c.table->setMinimumWidth(560);
    c.table->setFixedHeight(rowHeight * (static_cast<int>(hart::kCommand9Slots) + 1) + 8);
    variables.addWide(c.table);
    c.source = host::makeLabel(QString(), "DeviceVariablesCommand");
    c.timeStamp = host::makeLabel(QString(), "DeviceVariablesTimeStamp");
    c.extendedStatus = host::makeLabel(QString(), "DeviceVariablesExtendedStatus");
    for (QLabel* l : {c.source, c.timeStamp, c.extendedStatus}) {
        l->setWordWrap(true);
        variables.addWide(l);
    }
    variables.addWide(inRow(
        {buttons.make("ReadDeviceVariableInfo", QStringLiteral("Read information of the chosen "
                                                               "variable"))}));
    c.info = new QPlainTextEdit;
    c.info->setObjectName(QStringLiteral("DeviceVariableInfo"));
    c.info->setReadOnly(true);
    c.info->setLineWrapMode(QPlainTextEdit::NoWrap);
    c.info->setFixedHeight(c.info->fontMetrics().lineSpacing() * 10 + 12);
    variables.addWide(c.info);
    notes[Variables] = noteLabel("DeviceVariablesNote");
    variables.addWide(notes[Variables]);
    host.place(kPage, variables.box(), 0, 0);

    // ---- Configuration changed.
    host::FormGroup changed("GroupBoxConfigChanged", QStringLiteral("Configuration changed"));
    c.counter = readOnlyEdit("ConfigChangeCounter", 80);
    c.changed = host::makeLabel(QString(), "ConfigChangedFlag");
    c.changed->setMinimumWidth(
        c.changed->fontMetrics().horizontalAdvance(QStringLiteral("not set")));
    changed.addRow(QStringLiteral("Change counter:"),
                   {c.counter, query("ReadConfigChanged"), host::makeLabel(QStringLiteral("Flag:")),
                    c.changed, buttons.make("ResetConfigChanged", QStringLiteral("Reset flag"))});
    notes[Changed] = noteLabel("ConfigChangedNote");
    changed.addWide(notes[Changed]);

    // ---- Variable mapping.
    host::FormGroup mapping("GroupBoxMapping", QStringLiteral("Variable mapping"));
    const char* mapNames[] = {"MappingPV", "MappingSV", "MappingTV", "MappingQV"};
    for (std::size_t i = 0; i < c.map.size(); ++i) {
        c.map[i] = host::makeEdit(mapNames[i]);
        c.map[i]->setMaximumWidth(50);
    }
    const auto name = [](std::size_t i) {
        return host::makeLabel(QStringLiteral("%1:").arg(QLatin1String(kMappingNames[i])));
    };
    mapping.addWide(inRow({name(0), c.map[0], name(1), c.map[1], name(2), c.map[2], name(3),
                           c.map[3], query("ReadMapping"), set("WriteMapping")}));
    notes[Mapping] = noteLabel("MappingNote");
    mapping.addWide(notes[Mapping]);

    // ---- Long tag.
    host::FormGroup longTag("GroupBoxLongTag",
                            QStringLiteral("Long tag (MAX 32 characters, ISO Latin-1)"));
    c.longTag = host::makeEdit("LongTag");
    c.longTag->setMaxLength(static_cast<int>(hart::kLongTagSize));
    c.longTag->setMinimumWidth(c.longTag->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 20);
    longTag.addWide(inRow({c.longTag, query("ReadLongTag"), set("WriteLongTag")}));
    notes[LongTag] = noteLabel("LongTagNote");
    longTag.addWide(notes[LongTag]);

    // ---- Loop configuration.
    host::FormGroup loop("GroupBoxLoopConfig", QStringLiteral("Loop configuration"));
    c.pollAddress = host::makeCombo("PollingAddress7", numbersUpTo(kHighestHart7PollAddress));
    c.pollAddress->setMinimumWidth(70);
    c.loopMode = host::makeCombo("LoopCurrentMode",
                                 {text(hart::loopCurrentModeText(hart::kLoopCurrentDisabled)),
                                  text(hart::loopCurrentModeText(hart::kLoopCurrentEnabled))});
    c.loopMode->setMinimumWidth(100);
    loop.addWide(inRow({host::makeLabel(QStringLiteral("Polling address:")), c.pollAddress,
                        host::makeLabel(QStringLiteral("Loop current:")), c.loopMode,
                        query("ReadLoopConfig"), set("WriteLoopConfig")}));
    notes[Loop] = noteLabel("LoopConfigNote");
    loop.addWide(notes[Loop]);

    // ---- Device actions, clock and communication counters.
    host::FormGroup actions("GroupBoxDeviceActions", QStringLiteral("Device actions"));
    actions.addWide(inRow({buttons.make("Squawk", QStringLiteral("Squawk")),
                           buttons.make("SelfTest", QStringLiteral("Self test")),
                           buttons.make("DeviceReset", QStringLiteral("Reset device"))}));
    c.clockNow = readOnlyEdit("ClockCurrent");
    c.clockLastSet = readOnlyEdit("ClockLastSet");
    c.clockFlags = readOnlyEdit("ClockFlags");
    actions.addRow(QStringLiteral("Clock:"),
                   {c.clockNow, buttons.make("ReadClock", QStringLiteral("Query"))});
    actions.addRow(
        QStringLiteral("Last set:"),
        {c.clockLastSet, buttons.make("SetClockToNow", QStringLiteral("Set to now (UTC)"))});
    actions.addRow(QStringLiteral("Clock flags:"), {c.clockFlags});
    c.stx = readOnlyEdit("CommStx", 60);
    c.ack = readOnlyEdit("CommAck", 60);
    c.back = readOnlyEdit("CommBack", 60);
    actions.addRow(QStringLiteral("Frames:"),
                   {inRow({host::makeLabel(QStringLiteral("received")), c.stx,
                           host::makeLabel(QStringLiteral("answered")), c.ack,
                           host::makeLabel(QStringLiteral("burst")), c.back}),
                    buttons.make("ReadCommStats", QStringLiteral("Query"))});
    notes[Actions] = noteLabel("DeviceActionsNote");
    actions.addWide(notes[Actions]);

    // The right-hand groups one under the other, as high as they need.
    auto* right = new QWidget;
    auto* column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    for (QGroupBox* group :
         {mapping.box(), longTag.box(), loop.box(), changed.box(), actions.box()})
        column->addWidget(group);
    column->addStretch(1);
    host.place(kPage, right, 0, 1);

    for (QWidget* field : std::initializer_list<QWidget*>{
             c.source, c.timeStamp, c.extendedStatus, c.map[0], c.map[1], c.map[2], c.map[3],
             c.longTag, c.pollAddress, c.loopMode, c.counter, c.changed, c.clockNow, c.clockLastSet,
             c.clockFlags, c.stx, c.ack, c.back})
        host.resetWithPort(field, host::PortReset::Clear);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);

    auto* outcomes = new OutcomeNotes(host, notes);

    // The codes the page reads are the device's choice of variables for
    // whoever reads them next (the monitor): kept there whenever they parse.
    host::Device* device = c.device;
    const auto keepCodes = [device, codes = c.codes] {
        const auto parsed = hart::parseVariableCodes(host::textOf(codes), hart::kCommand9Slots);
        if (parsed.error.empty()) device->setVariableCodes(parsed.codes);
    };
    keepCodes();
    QObject::connect(c.codes, &QLineEdit::textChanged, c.codes, keepCodes);

    // What the window does not empty by itself: the table, what the
    // request cycle does not watch, and the notes, which speak of the
    // device they came from.
    const auto forget = [c, outcomes] {
        clearVariables(c);
        c.info->clear();
        outcomes->clear();
    };
    QObject::connect(device, &host::Device::currentDeviceChanged, c.table, forget);
    QObject::connect(device, &host::Device::portChanged, c.table, forget);

    // A device made current shows its counter from the command-0 reply that
    // identified it (HART 6 and later keep one), and, when discovery found
    // it, the flag of that reply. A device chosen from the network scan was
    // identified earlier, by a reply whose flag may be out of date.
    QObject::connect(device, &host::Device::identityChanged, c.counter, [c] {
        const auto counter = hart::configurationChangeCounterOf(c.device->identityData());
        c.counter->setText(counter ? QString::number(*counter) : QString());
        c.changed->clear();
    });
    QObject::connect(&host.cycle(), &host::RequestCycle::replyDecoded, c.changed, [c](int code) {
        const auto& last = c.device->lastStatus();
        if (code == host::kDiscoveryReply && last) showChangedFlag(c, last->deviceStatus);
    });
}

} // namespace ops
