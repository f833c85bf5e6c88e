#include "ops/configuration.h"

#include "hart/common_tables.h"
#include "hart/device_identity.h"
#include "hart/encodings.h"
#include "hart/names.h"
#include "hart/protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <set>

namespace ops::config {

namespace {

using K = Kind;
constexpr int kSeconds = SettingRow::kSeconds;

// Small code lists some settings read as words.
struct CodeWord {
    std::string_view key;
    std::uint8_t code;
    std::string_view word;
};
constexpr CodeWord kCodeWords[] = {
    {"transferFunction", 0, "linear"},  {"transferFunction", 1, "square root"},
    {"alarmSelection", 0, "high"},      {"alarmSelection", 1, "low"},
    {"alarmSelection", 239, "hold last output value"},
    {"alarmSelection", 250, "not used"}, {"alarmSelection", 251, "none"},
    {"writeProtect", 0, "off"},         {"writeProtect", 1, "on"},
    {"writeProtect", 250, "not used"},  {"burstMode", 0, "off"},
    {"burstMode", 1, "on"},
};

constexpr std::array kRows{
    SettingRow{"tag", "Tag", 13, 0, 6, K::Packed, SettingRow::kNoUnit, 18},
    SettingRow{"descriptor", "Descriptor", 13, 6, 12, K::Packed, SettingRow::kNoUnit, 18},
    SettingRow{"date", "Date", 13, 18, 3, K::Date, SettingRow::kNoUnit, 18},
    SettingRow{"longTag", "Long tag", 20, 0, 32, K::Latin1, SettingRow::kNoUnit, 22},
    SettingRow{"message", "Message", 12, 0, 24, K::Packed, SettingRow::kNoUnit, 17},
    SettingRow{"finalAssembly", "Final assembly number", 16, 0, 3, K::Uint24,
               SettingRow::kNoUnit, 19},
    SettingRow{"pollingAddress", "Polling address", 7, 0, 1, K::Byte, SettingRow::kNoUnit, 6},
    SettingRow{"loopCurrentMode", "Loop current mode", 7, 1, 1, K::Byte, SettingRow::kNoUnit,
               6},
    SettingRow{"pvUnit", "PV unit", 15, 2, 1, K::Unit, SettingRow::kNoUnit, 44},
    SettingRow{"upperRange", "Upper range value", 15, 3, 4, K::Float, 2, 35},
    SettingRow{"lowerRange", "Lower range value", 15, 7, 4, K::Float, 2, 35},
    SettingRow{"damping", "Damping", 15, 11, 4, K::Float, kSeconds, 34},
    SettingRow{"transferFunction", "Transfer function", 15, 1, 1, K::Byte, SettingRow::kNoUnit,
               47},
    SettingRow{"alarmSelection", "Alarm selection", 15, 0, 1, K::Byte},
    SettingRow{"writeProtect", "Write protect", 15, 15, 1, K::Byte},
    SettingRow{"sensorSerial", "Sensor serial number", 14, 0, 3, K::Uint24},
    SettingRow{"sensorLimitUnit", "Sensor limit unit", 14, 3, 1, K::Unit},
    SettingRow{"upperSensorLimit", "Upper sensor limit", 14, 4, 4, K::Float, 3},
    SettingRow{"lowerSensorLimit", "Lower sensor limit", 14, 8, 4, K::Float, 3},
    SettingRow{"minimumSpan", "Minimum span", 14, 12, 4, K::Float, 3},
    SettingRow{"mappingPv", "PV mapped to", 50, 0, 1, K::Variable, SettingRow::kNoUnit, 51},
    SettingRow{"mappingSv", "SV mapped to", 50, 1, 1, K::Variable, SettingRow::kNoUnit, 51},
    SettingRow{"mappingTv", "TV mapped to", 50, 2, 1, K::Variable, SettingRow::kNoUnit, 51},
    SettingRow{"mappingQv", "QV mapped to", 50, 3, 1, K::Variable, SettingRow::kNoUnit, 51},
    SettingRow{"burstMode", "Burst mode", 105, 0, 1, K::Byte, SettingRow::kNoUnit, 109},
    SettingRow{"burstCommand", "Burst command", 105, 1, 1, K::Byte, SettingRow::kNoUnit, 108},
};

// The writes a restore may send, in the order it sends them: the unit
// before the range (a unit write may convert the range), the polling address
// last, and for each the settings its data carries, in their order.
struct WriteRow {
    std::uint8_t command;
    std::array<std::string_view, 4> keys;
};
constexpr WriteRow kWrites[] = {
    {44, {"pvUnit"}},
    {35, {"pvUnit", "upperRange", "lowerRange"}},
    {34, {"damping"}},
    {47, {"transferFunction"}},
    {17, {"message"}},
    {18, {"tag", "descriptor", "date"}},
    {19, {"finalAssembly"}},
    {22, {"longTag"}},
    {51, {"mappingPv", "mappingSv", "mappingTv", "mappingQv"}},
    {108, {"burstCommand"}},
    {109, {"burstMode"}},
    {6, {"pollingAddress", "loopCurrentMode"}},
};

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QString hexOf(std::span<const std::uint8_t> bytes) {
    return text(hart::hexBytes(bytes));
}

std::optional<std::vector<std::uint8_t>> bytesFromHex(const QString& hex) {
    std::vector<std::uint8_t> out;
    const QStringList parts = hex.split(u' ', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok, 16);
        if (!ok || part.size() != 2 || value > 0xFF) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(value));
    }
    return out;
}

QString chopBlanks(QString s) {
    while (!s.isEmpty() && (s.back() == u' ' || s.back() == QChar(0)))
        s.chop(1);
    return s;
}

QString codeWord(std::string_view key, std::uint8_t code) {
    for (const CodeWord& w : kCodeWords)
        if (w.key == key && w.code == code)
            return QString::fromUtf8(w.word.data(), static_cast<qsizetype>(w.word.size()));
    return QString::number(code);
}

// The setting's text, its unit after a number. `reply` is the whole reply
// data, for the unit a float refers to.
QString textOf(const SettingRow& row, std::span<const std::uint8_t> bytes,
               std::span<const std::uint8_t> reply) {
    switch (row.kind) {
    case K::Packed:
        return chopBlanks(
            text(hart::packedAsciiToText(bytes.data(), static_cast<int>(bytes.size()) * 4 / 3)));
    case K::Latin1: {
        QString s = QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<qsizetype>(bytes.size()));
        if (const qsizetype nul = s.indexOf(QChar(0)); nul >= 0) s.truncate(nul);
        return chopBlanks(s);
    }
    case K::Date: {
        const auto d = hart::hartDateToText(bytes.data());
        return QStringLiteral("%1-%2-%3")
            .arg(text(d.year))
            .arg(text(d.month).rightJustified(2, u'0'))
            .arg(text(d.day).rightJustified(2, u'0'));
    }
    case K::Uint24:
        return text(hart::uint24ToText(bytes.data()));
    case K::Byte:
        if (row.key == "loopCurrentMode") return text(hart::loopCurrentModeText(bytes[0]));
        return codeWord(row.key, bytes[0]);
    case K::Unit:
        return text(hart::unitText(bytes[0]));
    case K::Float: {
        QString value = text(hart::floatText(hart::wireFloatToValue(bytes.data())));
        if (row.unitAt == kSeconds) return value + QStringLiteral(" s");
        if (row.unitAt >= 0 && static_cast<std::size_t>(row.unitAt) < reply.size())
            return value + u' ' + text(hart::unitText(reply[static_cast<std::size_t>(row.unitAt)]));
        return value;
    }
    case K::Variable:
        return text(hart::deviceVariableCodeText(bytes[0]));
    case K::Bytes:
        return hexOf(bytes);
    }
    return {};
}

const CommandReply* replyTo(const std::vector<CommandReply>& replies, std::uint8_t command) {
    for (const CommandReply& r : replies)
        if (r.command == command) return &r;
    return nullptr;
}

std::optional<hart::UniqueAddress> addressFromHex(const QString& hex) {
    const auto bytes = bytesFromHex(hex);
    if (!bytes || bytes->size() != 5) return std::nullopt;
    hart::UniqueAddress a{};
    std::copy(bytes->begin(), bytes->end(), a.begin());
    return a;
}

} // namespace

std::span<const SettingRow> settingRows() {
    return kRows;
}

const SettingRow* findRow(std::string_view key) {
    for (const SettingRow& row : kRows)
        if (row.key == key) return &row;
    return nullptr;
}

std::vector<std::uint8_t> readCommands() {
    std::vector<std::uint8_t> commands{0};
    for (const SettingRow& row : kRows)
        if (std::ranges::find(commands, row.read) == commands.end()) commands.push_back(row.read);
    return commands;
}

const Setting* Configuration::find(std::string_view key) const {
    const QString k = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
    for (const Setting& s : settings)
        if (s.key == k) return &s;
    return nullptr;
}

Configuration fromReplies(const std::vector<CommandReply>& replies, std::uint8_t pollAddress,
                          const QString& tool) {
    Configuration c;
    c.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    c.tool = tool;
    c.pollAddress = pollAddress;
    if (const CommandReply* zero = replyTo(replies, 0); zero && zero->replied) {
        c.identity = zero->data;
        if (const auto id = hart::identityOf(zero->data)) {
            c.longAddress = id->uniqueAddress;
            c.longAddress[0] &= hart::kAddressMask;
        }
    }
    for (const SettingRow& row : kRows) {
        Setting s;
        s.key = QString::fromUtf8(row.key.data(), static_cast<qsizetype>(row.key.size()));
        const CommandReply* r = replyTo(replies, row.read);
        if (!r || !r->replied) {
            s.failure = r ? r->failure : QStringLiteral("not read");
        } else if (r->responseCode != hart::rc::kSuccess &&
                   r->data.size() < static_cast<std::size_t>(row.offset + row.length)) {
            // Refused, and no data: the response code is the record.
            s.refused = r->responseCode;
            s.text = text(hart::statusSummary(r->responseCode));
        } else if (r->data.size() < static_cast<std::size_t>(row.offset + row.length)) {
            s.failure = QStringLiteral("reply too short");
        } else {
            const auto bytes = std::span(r->data).subspan(static_cast<std::size_t>(row.offset),
                                                          static_cast<std::size_t>(row.length));
            s.bytes.emplace(bytes.begin(), bytes.end());
            s.text = textOf(row, bytes, r->data);
        }
        c.settings.push_back(std::move(s));
    }
    return c;
}

QString longAddressText(const hart::UniqueAddress& address) {
    return hexOf(address);
}

QString identityText(const Configuration& c) {
    const auto id = hart::identityOf(c.identity);
    if (!id) return QStringLiteral("long address %1").arg(longAddressText(c.longAddress));
    return QStringLiteral("%1, device type %2, device ID %3 (long address %4), HART %5, device "
                          "revision %6")
        .arg(id->manufacturer ? text(hart::manufacturerText(*id->manufacturer))
                              : QStringLiteral("maker unknown"))
        .arg(QStringLiteral("%1").arg(id->deviceType, id->expandedDeviceType ? 4 : 2, 16,
                                      QLatin1Char('0')).toUpper())
        .arg(id->deviceId)
        .arg(longAddressText(c.longAddress))
        .arg(id->universalRevision)
        .arg(id->deviceRevision);
}

QJsonObject toJson(const Configuration& c) {
    QJsonObject device;
    device[QStringLiteral("longAddress")] = longAddressText(c.longAddress);
    device[QStringLiteral("pollingAddress")] = c.pollAddress;
    device[QStringLiteral("identity")] = hexOf(c.identity);
    if (const auto id = hart::identityOf(c.identity)) {
        if (id->manufacturer) {
            device[QStringLiteral("manufacturer")] = *id->manufacturer;
            device[QStringLiteral("manufacturerName")] = text(hart::manufacturerText(*id->manufacturer));
        }
        device[QStringLiteral("deviceType")] = id->deviceType;
        device[QStringLiteral("deviceId")] = static_cast<qint64>(id->deviceId);
        device[QStringLiteral("universalRevision")] = id->universalRevision;
        device[QStringLiteral("deviceRevision")] = id->deviceRevision;
    }
    QJsonArray settings;
    for (const Setting& s : c.settings) {
        const SettingRow* row = findRow(s.key.toStdString());
        QJsonObject o;
        o[QStringLiteral("key")] = s.key;
        if (row) {
            o[QStringLiteral("name")] =
                QString::fromUtf8(row->name.data(), static_cast<qsizetype>(row->name.size()));
            o[QStringLiteral("command")] = row->read;
        }
        if (s.bytes) {
            o[QStringLiteral("bytes")] = hexOf(*s.bytes);
            o[QStringLiteral("text")] = s.text;
        } else if (s.refused) {
            o[QStringLiteral("responseCode")] = *s.refused;
            o[QStringLiteral("refused")] = s.text;
        } else {
            o[QStringLiteral("failure")] = s.failure;
        }
        settings.append(o);
    }
    QJsonObject root;
    root[QStringLiteral("format")] = QString::fromLatin1(kFormat.data(), kFormat.size());
    root[QStringLiteral("version")] = kVersion;
    root[QStringLiteral("time")] = c.time;
    root[QStringLiteral("tool")] = c.tool;
    root[QStringLiteral("device")] = device;
    root[QStringLiteral("settings")] = settings;
    return root;
}

QByteArray toFile(const Configuration& c) {
    return QJsonDocument(toJson(c)).toJson(QJsonDocument::Indented);
}

std::variant<Configuration, QString> fromFile(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (doc.isNull() || !doc.isObject())
        return QStringLiteral("The file is not a configuration file (%1).")
            .arg(doc.isNull() ? error.errorString() : QStringLiteral("not a JSON object"));
    const QJsonObject root = doc.object();
    const QString format = QString::fromLatin1(kFormat.data(), kFormat.size());
    if (root.value(QStringLiteral("format")).toString() != format)
        return QStringLiteral("The file is not an rx460k configuration file: its format is "
                              "\"%1\", not \"%2\".")
            .arg(root.value(QStringLiteral("format")).toString(), format);
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toInt() != kVersion)
        return QStringLiteral("The configuration file has version %1; this program reads "
                              "version %2 only.")
            .arg(version.isDouble() ? QString::number(version.toDouble())
                                    : QStringLiteral("(none)"))
            .arg(kVersion);

    Configuration c;
    c.time = root.value(QStringLiteral("time")).toString();
    c.tool = root.value(QStringLiteral("tool")).toString();
    const QJsonObject device = root.value(QStringLiteral("device")).toObject();
    const auto address = addressFromHex(device.value(QStringLiteral("longAddress")).toString());
    if (!address) return QStringLiteral("The configuration file is damaged: its long address is "
                                        "not five hexadecimal bytes.");
    c.longAddress = *address;
    c.pollAddress = static_cast<std::uint8_t>(device.value(QStringLiteral("pollingAddress")).toInt());
    if (const auto identity = bytesFromHex(device.value(QStringLiteral("identity")).toString()))
        c.identity = *identity;
    else
        return QStringLiteral("The configuration file is damaged: its identity bytes are not "
                              "hexadecimal.");

    std::set<QString> seen;
    const QJsonValue list = root.value(QStringLiteral("settings"));
    if (!list.isArray())
        return QStringLiteral("The configuration file is damaged: it holds no settings.");
    for (const QJsonValue& v : list.toArray()) {
        const QJsonObject o = v.toObject();
        Setting s;
        s.key = o.value(QStringLiteral("key")).toString();
        const SettingRow* row = findRow(s.key.toStdString());
        if (!row || !seen.insert(s.key).second)
            return QStringLiteral("The configuration file is damaged: setting \"%1\" is unknown "
                                  "or listed twice.")
                .arg(s.key);
        if (o.contains(QStringLiteral("bytes"))) {
            const auto b = bytesFromHex(o.value(QStringLiteral("bytes")).toString());
            if (!b || b->size() != static_cast<std::size_t>(row->length))
                return QStringLiteral("The configuration file is damaged: setting \"%1\" does "
                                      "not hold %2 bytes.")
                    .arg(s.key)
                    .arg(row->length);
            s.bytes = *b;
            s.text = o.value(QStringLiteral("text")).toString();
        } else if (o.contains(QStringLiteral("responseCode"))) {
            s.refused = static_cast<std::uint8_t>(o.value(QStringLiteral("responseCode")).toInt());
            s.text = o.value(QStringLiteral("refused")).toString();
        } else {
            s.failure = o.value(QStringLiteral("failure")).toString();
        }
        c.settings.push_back(std::move(s));
    }
    return c;
}

std::vector<Difference> compare(const Configuration& file, const Configuration& device) {
    std::vector<Difference> out;
    for (const SettingRow& row : kRows) {
        Difference d;
        d.key = QString::fromUtf8(row.key.data(), static_cast<qsizetype>(row.key.size()));
        d.name = QString::fromUtf8(row.name.data(), static_cast<qsizetype>(row.name.size()));
        const Setting* f = file.find(row.key);
        const Setting* v = device.find(row.key);
        const auto shown = [](const Setting* s) {
            if (!s) return QStringLiteral("(not recorded)");
            if (s->bytes) return s->text;
            if (s->refused) return QStringLiteral("refused: %1").arg(s->text);
            return QStringLiteral("(%1)").arg(s->failure);
        };
        d.fileText = shown(f);
        d.deviceText = shown(v);
        const bool fileHas = f && f->bytes;
        const bool deviceHas = v && v->bytes;
        d.differs = fileHas != deviceHas || (fileHas && *f->bytes != *v->bytes) ||
                    (!fileHas && !deviceHas && f && v && f->refused != v->refused);
        d.writable = row.write.has_value() && fileHas && deviceHas;
        out.push_back(std::move(d));
    }
    return out;
}

bool fromAnotherDevice(const Configuration& file, const Configuration& device) {
    return file.longAddress != device.longAddress;
}

std::vector<Write> restorePlan(const Configuration& file, const Configuration& device) {
    const auto differences = compare(file, device);
    const auto differsAndWritable = [&](std::string_view key) {
        for (const Difference& d : differences)
            if (d.key.toStdString() == key) return d.differs && d.writable;
        return false;
    };
    std::vector<Write> plan;
    for (const WriteRow& w : kWrites) {
        bool any = false;
        bool whole = true;
        Write write;
        write.command = w.command;
        for (std::string_view key : w.keys) {
            if (key.empty()) continue;
            any = any || differsAndWritable(key);
            const Setting* s = file.find(key);
            // Every setting the write carries goes as the file has it; one
            // the file lacks leaves the write out rather than guess it.
            if (!s || !s->bytes) {
                whole = false;
                continue;
            }
            write.data.insert(write.data.end(), s->bytes->begin(), s->bytes->end());
            write.keys << QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
        }
        if (any && whole) plan.push_back(std::move(write));
    }
    return plan;
}

} // namespace ops::config
