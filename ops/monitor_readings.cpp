#include "ops/monitor_readings.h"

#include "hart/common_tables.h"
#include "hart/device_variables.h"
#include "hart/encodings.h"
#include "hart/names.h"
#include "hart/protocol.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace ops {

namespace {

// Response codes whose reply still carries its values: success, and the
// warnings of commands 1, 2, 3 and 9 (8 update failure, 14 dynamic
// variables returned for device variables, 30 response truncated).
constexpr std::array<std::uint8_t, 4> kCodesWithValues{hart::rc::kSuccess, hart::rc::kWarning, 14,
                                                       30};

// Units with a code of their own for the two values commands 2 and 3 carry
// without one.
constexpr std::uint8_t kMilliamperes = 39;
constexpr std::uint8_t kPercent = 57;

// Command 2: loop current and percent of range, WireFloats.
constexpr std::size_t kCommand2Bytes = 8;
// Command 1: PV unit and value.
constexpr std::size_t kCommand1Bytes = 5;
// Command 3: the loop current, then unit and value of each dynamic variable.
constexpr std::size_t kCommand3First = 4;
constexpr std::size_t kDynamicVariableBytes = 5;

constexpr std::array<const char*, 4> kDynamicNames{"PV", "SV", "TV", "QV"};

// Names of the device variable codes that stand for something the other
// commands also read, so that command 9's PV and command 3's PV are one
// variable.
struct CodeName {
    std::uint8_t code;
    const char* name;
};
constexpr std::array kCodeNames{
    CodeName{hart::kBatteryVoltageCode, "Battery voltage"},
    CodeName{hart::kBatteryLifeCode, "Battery life"},
    CodeName{hart::kPercentRangeCode, "Percent of range"},
    CodeName{hart::kLoopCurrentCode, "Loop current"},
    CodeName{hart::kPrimaryVariableCode, "PV"},
    CodeName{hart::kSecondaryVariableCode, "SV"},
    CodeName{hart::kTertiaryVariableCode, "TV"},
    CodeName{hart::kQuaternaryVariableCode, "QV"},
};

QString variableName(std::uint8_t code) {
    const auto row = std::ranges::find(kCodeNames, code, &CodeName::code);
    if (row != kCodeNames.end()) return QString::fromLatin1(row->name);
    return QStringLiteral("Device variable %1").arg(code);
}

std::optional<float> valueOf(float v) {
    if (!std::isfinite(v)) return std::nullopt; // "not used" and other NaNs
    return v;
}

float floatAt(std::span<const std::uint8_t> data, std::size_t at) {
    return hart::wireFloatToValue(data.subspan(at).first<4>());
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// The status in words: the variable's own status where the reply has one,
// a warning response code, and the field device status bits that are set.
QString statusText(std::uint8_t responseCode, std::uint8_t deviceStatus,
                   std::optional<std::uint8_t> variableStatus) {
    QStringList parts;
    if (variableStatus) parts << text(hart::variableStatusText(*variableStatus));
    if (responseCode != hart::rc::kSuccess) parts << text(hart::responseCodeName(responseCode));
    if (deviceStatus != 0) parts << text(hart::deviceStatusText(deviceStatus));
    return parts.isEmpty() ? QStringLiteral("OK") : parts.join(QStringLiteral("; "));
}

Reading reading(const char* name, std::uint8_t unit, float value, const QString& status) {
    return {QString::fromLatin1(name), unit, text(hart::unitText(unit)), valueOf(value), status};
}

Readings tooShort() {
    return {{}, QStringLiteral("reply too short")};
}

Readings command1(std::span<const std::uint8_t> data, const QString& status) {
    if (data.size() < kCommand1Bytes) return tooShort();
    return {{reading("PV", data[0], floatAt(data, 1), status)}, {}};
}

Readings command2(std::span<const std::uint8_t> data, const QString& status) {
    if (data.size() < kCommand2Bytes) return tooShort();
    return {{reading("Loop current", kMilliamperes, floatAt(data, 0), status),
             reading("Percent of range", kPercent, floatAt(data, 4), status)},
            {}};
}

Readings command3(std::span<const std::uint8_t> data, const QString& status) {
    if (data.size() < kCommand3First + kDynamicVariableBytes) return tooShort();
    Readings out;
    out.readings.push_back(reading("Loop current", kMilliamperes, floatAt(data, 0), status));
    for (std::size_t i = 0; i < kDynamicNames.size(); ++i) {
        const std::size_t at = kCommand3First + i * kDynamicVariableBytes;
        if (data.size() < at + kDynamicVariableBytes) break;
        const std::uint8_t unit = data[at];
        if (unit == hart::kCodeNotUsed) continue; // no variable behind it
        out.readings.push_back(reading(kDynamicNames[i], unit, floatAt(data, at + 1), status));
    }
    return out;
}

Readings command9(std::span<const std::uint8_t> data, std::uint8_t responseCode,
                  std::uint8_t deviceStatus) {
    const auto decoded = hart::decodeCommand9(data);
    if (!decoded) return tooShort();
    Readings out;
    for (const hart::DeviceVariable& slot : decoded->variables) {
        // A slot the device fills with "not used" holds no variable.
        if (slot.code == hart::kCodeNotUsed || slot.unit == hart::kCodeNotUsed) continue;
        Reading r{variableName(slot.code), slot.unit,
                  text(hart::unitText(slot.unit, slot.classification)), valueOf(slot.value),
                  statusText(responseCode, deviceStatus, slot.status)};
        if (hart::processStatusOf(slot.status) == hart::ProcessStatus::Bad) r.value.reset();
        out.readings.push_back(std::move(r));
    }
    return out;
}

} // namespace

std::uint8_t commandOf(MonitorSource source) {
    switch (source) {
    case MonitorSource::LoopCurrent:
        return 2;
    case MonitorSource::DynamicVariables:
        return 3;
    case MonitorSource::DeviceVariables:
        return 9;
    }
    return 3;
}

QString valueText(float value) {
    std::array<char, 32> digits{};
    const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc()) return QString::number(static_cast<double>(value), 'g', 9);
    return QString::fromLatin1(digits.data(), end - digits.data());
}

bool monitorReads(std::uint8_t command) {
    return command == 1 || command == 2 || command == 3 || command == 9;
}

Readings readingsOf(std::uint8_t command, std::uint8_t responseCode, std::uint8_t deviceStatus,
                    std::span<const std::uint8_t> data) {
    if ((responseCode & hart::kCommunicationError) ||
        std::ranges::find(kCodesWithValues, responseCode) == kCodesWithValues.end()) {
        QString why = text(hart::statusSummary(responseCode));
        if (!(responseCode & hart::kCommunicationError))
            why += QStringLiteral(" (response code %1)").arg(responseCode);
        return {{}, why};
    }
    const QString status = statusText(responseCode, deviceStatus, std::nullopt);
    switch (command) {
    case 1:
        return command1(data, status);
    case 2:
        return command2(data, status);
    case 3:
        return command3(data, status);
    case 9:
        return command9(data, responseCode, deviceStatus);
    default:
        return {{}, QStringLiteral("command %1 is not one the monitor reads").arg(command)};
    }
}

} // namespace ops
