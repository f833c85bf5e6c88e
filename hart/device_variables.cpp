#include "hart/device_variables.h"

#include "hart/encodings.h"
#include "hart/names.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace hart {

namespace {

// ---------------------------------------------------------------- status

constexpr std::array<std::string_view, 4> kProcessStatusTexts{"bad", "poor accuracy",
                                                              "manual/fixed", "good"};
// Index 0 (not limited) says nothing.
constexpr std::array<std::string_view, 4> kLimitStatusTexts{"", "low limited", "high limited",
                                                            "constant"};

// ---------------------------------------------------------------- command 9

// One slot: code, classification, unit, value (4 bytes), status.
namespace slot9 {
constexpr std::size_t kCode = 0;
constexpr std::size_t kClassification = 1;
constexpr std::size_t kUnit = 2;
constexpr std::size_t kValue = 3;
constexpr std::size_t kStatus = 7;
constexpr std::size_t kSize = 8;
} // namespace slot9
constexpr std::size_t kExtendedStatusSize = 1;
constexpr std::size_t kTimeStampSize = 4;

DeviceVariable slot9At(std::span<const std::uint8_t> slot) {
    return {slot[slot9::kCode], slot[slot9::kClassification], slot[slot9::kUnit],
            wireFloatToValue(slot.subspan<slot9::kValue, 4>()), slot[slot9::kStatus]};
}

std::uint32_t uint32At(std::span<const std::uint8_t> bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// ---------------------------------------------------------------- command 33

namespace slot33 {
constexpr std::size_t kCode = 0;
constexpr std::size_t kUnit = 1;
constexpr std::size_t kValue = 2;
constexpr std::size_t kSize = 6;
} // namespace slot33

// ---------------------------------------------------------------- command 54

namespace at54 {
constexpr std::size_t kCode = 0;
constexpr std::size_t kSerialNumber = 1; // 3 bytes
constexpr std::size_t kLimitsUnit = 4;
constexpr std::size_t kUpperLimit = 5;
constexpr std::size_t kLowerLimit = 9;
constexpr std::size_t kDamping = 13;
constexpr std::size_t kMinimumSpan = 17;
constexpr std::size_t kClassification = 21;
constexpr std::size_t kFamily = 22;
constexpr std::size_t kAcquisitionPeriod = 23; // 4 bytes, HART 7
constexpr std::size_t kProperties = 27;        // later HART 7 revisions
} // namespace at54
constexpr std::size_t kCommand54Fewest = at54::kFamily + 1;

float floatAt(std::span<const std::uint8_t> data, std::size_t at) {
    return wireFloatToValue(data.subspan(at).first<4>());
}

// ---------------------------------------------------------------- codes

constexpr std::size_t kCommand50Fields = 4;
constexpr int kHighestCode = 255;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

void checkSlotCount(std::size_t count, std::size_t most, const char* command) {
    if (count == 0 || count > most)
        throw std::invalid_argument(std::string(command) + ": " + std::to_string(count) +
                                    " device variable codes, 1 to " + std::to_string(most) +
                                    " fit");
}

} // namespace

// ---------------------------------------------------------------- status

ProcessStatus processStatusOf(std::uint8_t status) {
    return static_cast<ProcessStatus>(status >> 6);
}

LimitStatus limitStatusOf(std::uint8_t status) {
    return static_cast<LimitStatus>((status >> 4) & 0x03);
}

std::string variableStatusText(std::uint8_t status) {
    std::vector<std::string> parts{
        std::string(kProcessStatusTexts[static_cast<std::size_t>(processStatusOf(status))])};
    if (const auto limit = kLimitStatusTexts[static_cast<std::size_t>(limitStatusOf(status))];
        !limit.empty())
        parts.emplace_back(limit);
    if (status & kMoreVariableStatus) parts.emplace_back("more status available");
    return joined(parts);
}

// ---------------------------------------------------------------- command 9

std::optional<DeviceVariablesWithStatus> decodeCommand9(std::span<const std::uint8_t> data) {
    if (data.size() < kExtendedStatusSize + slot9::kSize) return std::nullopt;
    const std::size_t afterStatus = data.size() - kExtendedStatusSize;
    const bool stamped = afterStatus % slot9::kSize == kTimeStampSize;
    if (!stamped && afterStatus % slot9::kSize != 0) return std::nullopt;
    const std::size_t count = afterStatus / slot9::kSize;
    if (count == 0 || count > kCommand9Slots) return std::nullopt;

    DeviceVariablesWithStatus reply;
    reply.extendedStatus = data[0];
    const auto slots = data.subspan(kExtendedStatusSize, count * slot9::kSize);
    for (std::size_t i = 0; i < count; ++i)
        reply.variables.push_back(slot9At(slots.subspan(i * slot9::kSize, slot9::kSize)));
    if (stamped) reply.timeStamp = uint32At(data.last<kTimeStampSize>());
    return reply;
}

std::vector<std::uint8_t> command9Request(std::span<const std::uint8_t> codes) {
    checkSlotCount(codes.size(), kCommand9Slots, "command 9");
    return {codes.begin(), codes.end()};
}

// ---------------------------------------------------------------- command 33

std::optional<std::vector<VariableValue>> decodeCommand33(std::span<const std::uint8_t> data) {
    const std::size_t count = data.size() / slot33::kSize;
    if (data.size() % slot33::kSize != 0 || count == 0 || count > kCommand33Slots)
        return std::nullopt;
    std::vector<VariableValue> values;
    for (std::size_t i = 0; i < count; ++i) {
        const auto slot = data.subspan(i * slot33::kSize, slot33::kSize);
        values.push_back({slot[slot33::kCode], slot[slot33::kUnit], floatAt(slot, slot33::kValue)});
    }
    return values;
}

std::vector<std::uint8_t> command33Request(std::span<const std::uint8_t> codes) {
    checkSlotCount(codes.size(), kCommand33Slots, "command 33");
    return {codes.begin(), codes.end()};
}

// ---------------------------------------------------------------- codes

ParsedCodes parseVariableCodes(std::string_view text, std::size_t most) {
    ParsedCodes parsed;
    if (trimmed(text).empty()) {
        parsed.error = "Type at least one device variable code.";
        return parsed;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string_view entry = trimmed(text.substr(start, comma - start));
        if (entry.empty()) {
            parsed.codes.clear();
            parsed.error = "A device variable code is missing between two commas.";
            return parsed;
        }
        const bool digits =
            entry.size() <= 3 &&
            std::all_of(entry.begin(), entry.end(), [](char c) { return c >= '0' && c <= '9'; });
        const int value = digits ? std::stoi(std::string(entry)) : kHighestCode + 1;
        if (value > kHighestCode) {
            parsed.codes.clear();
            parsed.error = "'" + std::string(entry) + "' is not a device variable code (0-255).";
            return parsed;
        }
        parsed.codes.push_back(static_cast<std::uint8_t>(value));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (parsed.codes.size() > most) {
        parsed.codes.clear();
        parsed.error =
            "At most " + std::to_string(most) + " device variable codes fit in one request.";
    }
    return parsed;
}

// ---------------------------------------------------------------- command 54

std::optional<DeviceVariableInfo> decodeCommand54(std::span<const std::uint8_t> data) {
    if (data.size() < kCommand54Fewest) return std::nullopt;
    DeviceVariableInfo info;
    info.code = data[at54::kCode];
    info.transducerSerialNumber = uint24ToValue(&data[at54::kSerialNumber]);
    info.limitsUnit = data[at54::kLimitsUnit];
    info.upperLimit = floatAt(data, at54::kUpperLimit);
    info.lowerLimit = floatAt(data, at54::kLowerLimit);
    info.damping = floatAt(data, at54::kDamping);
    info.minimumSpan = floatAt(data, at54::kMinimumSpan);
    info.classification = data[at54::kClassification];
    info.family = data[at54::kFamily];
    if (data.size() >= at54::kAcquisitionPeriod + 4)
        info.acquisitionPeriod = uint32At(data.subspan(at54::kAcquisitionPeriod, 4));
    if (data.size() > at54::kProperties) info.properties = data[at54::kProperties];
    return info;
}

// ---------------------------------------------------------------- commands 50, 51

std::optional<VariableMapping> decodeCommand50(std::span<const std::uint8_t> data) {
    if (data.empty()) return std::nullopt;
    VariableMapping mapping;
    mapping.pv = data[0];
    const std::array<std::optional<std::uint8_t>*, kCommand50Fields - 1> rest{
        &mapping.sv, &mapping.tv, &mapping.qv};
    for (std::size_t i = 1; i < std::min(data.size(), kCommand50Fields); ++i)
        *rest[i - 1] = data[i];
    return mapping;
}

std::vector<std::uint8_t> command51Request(const VariableMapping& mapping) {
    std::vector<std::uint8_t> bytes{mapping.pv};
    for (const auto* field : {&mapping.sv, &mapping.tv, &mapping.qv}) {
        if (!*field) break;
        bytes.push_back(**field);
    }
    return bytes;
}

} // namespace hart
