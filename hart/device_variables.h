#pragma once
// Device variables of a HART 6 or 7 device: their values with status
// (command 9), their values alone (command 33), what the device says about
// each (command 54) and which of them are PV, SV, TV and QV (commands 50 and
// 51). Decoders take the reply data after the two status bytes and give
// nothing for a reply too short for its layout; they never read past it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hart {

// ---- Device variable status byte (commands 9 and others).

// Bits 7-6: how far the value can be trusted.
enum class ProcessStatus : std::uint8_t { Bad = 0, PoorAccuracy = 1, ManualFixed = 2, Good = 3 };
// Bits 5-4: whether the value is held at a limit.
enum class LimitStatus : std::uint8_t {
    NotLimited = 0,
    LowLimited = 1,
    HighLimited = 2,
    Constant = 3
};

ProcessStatus processStatusOf(std::uint8_t status);
LimitStatus limitStatusOf(std::uint8_t status);
// Bit 3: the device has more to say about this variable.
inline constexpr std::uint8_t kMoreVariableStatus = 0x08;

// "good", "poor accuracy, low limited", "bad, constant, more status
// available"; the process status first, then the limit and the bit 3,
// joined with ", ". Bits 2-0 belong to the device family and are not named.
std::string variableStatusText(std::uint8_t status);

// ---- Command 9: Read Device Variables With Status.

// Slots per request: up to 8 from HART 7 on (HART 6 devices take 4).
inline constexpr std::size_t kCommand9Slots = 8;

struct DeviceVariable {
    std::uint8_t code = 0;
    std::uint8_t classification = 0;
    std::uint8_t unit = 0;
    float value = 0.0f;
    std::uint8_t status = 0;
};

struct DeviceVariablesWithStatus {
    std::uint8_t extendedStatus = 0;
    std::vector<DeviceVariable> variables;
    // When slot 0's value was taken (HartTime, time of day); HART 6 replies
    // have none.
    std::optional<std::uint32_t> timeStamp;
};

// Extended device status, 1-8 slots of 8 bytes, and from HART 7 on the
// 4-byte time stamp. The slot count comes from the length: 1 + 8n + 4 is a
// HART 7 reply and 1 + 8n a HART 6 one (the two never share a length).
std::optional<DeviceVariablesWithStatus> decodeCommand9(std::span<const std::uint8_t> data);
// The codes, one byte each. std::invalid_argument for none or more than 8.
std::vector<std::uint8_t> command9Request(std::span<const std::uint8_t> codes);

// ---- Command 33: Read Device Variables.

inline constexpr std::size_t kCommand33Slots = 4;

struct VariableValue {
    std::uint8_t code = 0;
    std::uint8_t unit = 0;
    float value = 0.0f;
};

// 1-4 slots of 6 bytes (code, unit, value); nothing for a length that is no
// whole number of slots.
std::optional<std::vector<VariableValue>> decodeCommand33(std::span<const std::uint8_t> data);
// std::invalid_argument for none or more than 4 codes.
std::vector<std::uint8_t> command33Request(std::span<const std::uint8_t> codes);

// ---- Typed device variable codes.

struct ParsedCodes {
    std::vector<std::uint8_t> codes;
    std::string error; // for the user; empty when the text was good
};
// "0, 1, 2, 246" -> {0, 1, 2, 246}: numbers 0-255 separated by commas,
// blanks anywhere between them; at least one and at most `most`.
ParsedCodes parseVariableCodes(std::string_view text, std::size_t most);

// ---- Command 54: Read Device Variable Information.

struct DeviceVariableInfo {
    std::uint8_t code = 0;
    std::uint32_t transducerSerialNumber = 0; // 24 bits
    std::uint8_t limitsUnit = 0;              // of the limits and the minimum span
    float upperLimit = 0.0f;
    float lowerLimit = 0.0f;
    float damping = 0.0f; // seconds
    float minimumSpan = 0.0f;
    std::uint8_t classification = 0;
    std::uint8_t family = 0;
    // From HART 7 on: how often the device updates the variable (HartTime,
    // a duration) and then, in later HART 7 revisions, its properties bits.
    std::optional<std::uint32_t> acquisitionPeriod;
    std::optional<std::uint8_t> properties;
};

// At least the 23 bytes up to the family; the acquisition period when the
// reply holds 27 bytes and the properties when it holds 28.
std::optional<DeviceVariableInfo> decodeCommand54(std::span<const std::uint8_t> data);

// ---- Commands 50 and 51: dynamic variable assignments.

struct VariableMapping {
    std::uint8_t pv = 0;
    // A device with fewer dynamic variables may send fewer bytes.
    std::optional<std::uint8_t> sv, tv, qv;
};

// One to four device variable codes, PV first.
std::optional<VariableMapping> decodeCommand50(std::span<const std::uint8_t> data);
// PV, then SV, TV and QV up to the first that is absent.
std::vector<std::uint8_t> command51Request(const VariableMapping& mapping);

} // namespace hart
