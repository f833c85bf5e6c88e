#pragma once
// Texts for the codes HART devices report about their device variables:
// engineering units, classifications, families and the reserved device
// variable codes. Short texts, as a handheld shows them beside a value.

#include "hart/names.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hart {

// Codes every enumeration of the common tables reserves.
inline constexpr std::uint8_t kCodeNotUsed = 250;
inline constexpr std::uint8_t kCodeNone = 251;
inline constexpr std::uint8_t kCodeUnknown = 252;
inline constexpr std::uint8_t kCodeSpecial = 253;

// "degC" for 32, "m3/h" for 19, "not used" for 250; nothing for a code
// without a text. Codes 170-219 mean different units for different
// classifications and so have no text here: ask with the classification.
std::optional<std::string_view> unitName(std::uint8_t code);
// As above, and for codes 170-219 the unit they mean for a variable of
// `classification` ("hPa" for 174 of a pressure).
std::optional<std::string_view> unitName(std::uint8_t code, std::uint8_t classification);
// The name, or "unit N".
std::string unitText(std::uint8_t code);
std::string unitText(std::uint8_t code, std::uint8_t classification);

// Device variable classification: "not classified" for 0, "temperature" for
// 64, ...; "classification N" for a code without a name.
std::string classificationName(std::uint8_t code);

// Device variable family (command 54): "temperature" for 4, ...,
// "not used" for 250; "family N" for a code without a name.
std::string deviceFamilyName(std::uint8_t code);

// The device variable codes the protocol reserves.
inline constexpr std::uint8_t kBatteryVoltageCode = 242;
inline constexpr std::uint8_t kBatteryLifeCode = 243;
inline constexpr std::uint8_t kPercentRangeCode = 244;
inline constexpr std::uint8_t kLoopCurrentCode = 245;
inline constexpr std::uint8_t kPrimaryVariableCode = 246;
inline constexpr std::uint8_t kSecondaryVariableCode = 247;
inline constexpr std::uint8_t kTertiaryVariableCode = 248;
inline constexpr std::uint8_t kQuaternaryVariableCode = 249;

// "PV" for 246, "loop current" for 245, "not used" for 250; any other code
// is the device's own variable and shows as its number.
std::string deviceVariableCodeText(std::uint8_t code);

// Loop current mode of commands 6 and 7: "disabled" for 0, "enabled" for 1,
// "mode N" for anything else.
std::string loopCurrentModeText(std::uint8_t mode);

// Flags of the real-time clock (command 90).
extern const BitNames kRealTimeClockFlagBits;

} // namespace hart
