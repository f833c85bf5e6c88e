#include "hart/frame_text.h"

#include "hart/names.h"
#include "hart/protocol.h"

#include <array>
#include <optional>

namespace hart {

namespace {

std::string addressText(const Frame& f) {
    if (!f.address) return "cut: " + hexBytes(f.addressBytes);
    const FrameAddress& a = *f.address;
    if (!f.longAddress) return "polling address " + std::to_string(a.pollingAddress);
    // The first six bits are the manufacturer ID for HART 5 devices and the
    // high bits of the expanded device type from HART 6 on; both are shown.
    return "manufacturer " + hexText(a.manufacturerId) + ", device type " + hexText(a.deviceType) +
           ", device ID " + hexText(a.deviceId, 6) + " (expanded device type " +
           hexText(a.expandedDeviceType, 4) + ")";
}

std::string commandText(const Frame& f) {
    std::string text = std::to_string(*f.command) + " " + commandName(*f.command);
    if (f.expandedCommand) text += ", expanded command " + std::to_string(*f.expandedCommand);
    return text;
}

std::string responseCodeText(std::uint8_t byte) {
    if (byte & kCommunicationError) return "0x" + hexText(byte) + " " + statusSummary(byte);
    return std::to_string(byte) + " " + statusSummary(byte);
}

std::vector<std::string> problems(const Frame& f) {
    std::vector<std::string> found;
    if (f.checksumWrong()) found.emplace_back("checksum wrong");
    if (f.truncated)
        found.emplace_back(f.byteCount && f.data.size() < *f.byteCount
                               ? "byte count runs past the bytes received"
                               : "frame cut short");
    return found;
}

using FieldFn = std::optional<std::string> (*)(const Frame&);

struct FieldRow {
    std::string_view name;
    FieldFn value;
};

// The detail view's rows, in order. A row whose value is unset is left out.
constexpr std::array kFieldRows{
    FieldRow{"Type",
             [](const Frame& f) -> std::optional<std::string> {
                 return std::string(frameTypeName(f.type)) + " (delimiter " + hexText(f.delimiter) +
                        (f.longAddress ? ", long address)" : ", short address)");
             }},
    FieldRow{
        "Preambles",
        [](const Frame& f) -> std::optional<std::string> { return std::to_string(f.preambles); }},
    FieldRow{"Address",
             [](const Frame& f) -> std::optional<std::string> { return addressText(f); }},
    FieldRow{"Master",
             [](const Frame& f) -> std::optional<std::string> {
                 if (!f.address) return std::nullopt;
                 return f.address->primaryMaster ? "primary" : "secondary";
             }},
    FieldRow{"Burst bit",
             [](const Frame& f) -> std::optional<std::string> {
                 if (!f.address) return std::nullopt;
                 return f.address->burstMode ? "set" : "clear";
             }},
    FieldRow{"Expansion bytes",
             [](const Frame& f) -> std::optional<std::string> {
                 if (f.expansion.empty()) return std::nullopt;
                 return hexBytes(f.expansion);
             }},
    FieldRow{"Command",
             [](const Frame& f) -> std::optional<std::string> {
                 if (!f.command) return std::nullopt;
                 return commandText(f);
             }},
    FieldRow{"Byte count",
             [](const Frame& f) -> std::optional<std::string> {
                 if (!f.byteCount) return std::nullopt;
                 return std::to_string(*f.byteCount);
             }},
    FieldRow{"Data",
             [](const Frame& f) -> std::optional<std::string> {
                 if (!f.byteCount) return std::nullopt;
                 return f.data.empty() ? "none" : hexBytes(f.data);
             }},
    FieldRow{"Response code",
             [](const Frame& f) -> std::optional<std::string> {
                 if (!f.responseCode) return std::nullopt;
                 return responseCodeText(*f.responseCode);
             }},
    FieldRow{"Device status",
             [](const Frame& f) -> std::optional<std::string> {
                 if (!f.deviceStatus) return std::nullopt;
                 return "0x" + hexText(*f.deviceStatus) + " " + deviceStatusText(*f.deviceStatus);
             }},
    FieldRow{"Checksum",
             [](const Frame& f) -> std::optional<std::string> {
                 if (!f.checksumReceived)
                     return "missing (computed " + hexText(f.checksumComputed) + ")";
                 if (f.checksumWrong())
                     return hexText(*f.checksumReceived) + " (computed " +
                            hexText(f.checksumComputed) + ")";
                 return hexText(*f.checksumReceived);
             }},
    FieldRow{"Checks",
             [](const Frame& f) -> std::optional<std::string> {
                 const auto found = problems(f);
                 return found.empty() ? "OK" : joined(found, "; ");
             }},
};

std::string summaryOf(const Frame& f) {
    std::string text =
        std::string(frameTypeName(f.type)) + (f.type == FrameType::Request ? " to " : " from ");
    if (!f.address)
        text += "?";
    else if (f.longAddress)
        text += "device " + hexText(f.address->manufacturerId) + " " +
                hexText(f.address->deviceType) + " " + hexText(f.address->deviceId, 6);
    else
        text += "polling address " + std::to_string(f.address->pollingAddress);
    if (f.command) text += ": " + commandText(f);
    if (f.responseCode) text += ", " + statusSummary(*f.responseCode);
    if (f.deviceStatus) text += ", " + deviceStatusText(*f.deviceStatus);
    const auto found = problems(f);
    if (!found.empty()) text += " [" + joined(found, "; ") + "]";
    return text;
}

} // namespace

std::string_view frameTypeName(FrameType type) {
    switch (type) {
    case FrameType::Burst:
        return "burst";
    case FrameType::Request:
        return "request";
    case FrameType::Reply:
        return "reply";
    }
    return "unknown";
}

FrameText describeFrame(const Frame& frame) {
    FrameText text{summaryOf(frame), {}};
    for (const FieldRow& row : kFieldRows)
        if (auto value = row.value(frame)) text.fields.push_back({row.name, std::move(*value)});
    return text;
}

FrameText describeUnparsed(std::span<const std::uint8_t> bytes) {
    const std::string count =
        std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes");
    return {"unparsed: " + count, {{"Type", "unparsed"}, {"Bytes", hexBytes(bytes)}}};
}

} // namespace hart
