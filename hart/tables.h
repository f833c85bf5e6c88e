#pragma once
// Engineering units and manufacturer names.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace hart {

struct UnitRow {
    int code;                      // HART unit code, -1: this position has no code
    std::string_view rangeText;    // "degc" form (range lists)
    std::string_view realtimeText; // "12_℃" form (real-time lists), UTF-8
};
inline constexpr int kUnitCount = 83;
inline constexpr int kUnitOther = 82; // catch-all position for codes no row holds
extern const std::array<UnitRow, kUnitCount> kUnitTable;

// Position of the row holding `code`; kUnitOther when no row does.
int unitPositionForCode(std::uint8_t code);
// Code written for a list position; nothing for positions without a write code
// (and for -1, no selection).
std::optional<std::uint8_t> unitCodeForPosition(int position);

// "Rosemount" for 38; nothing for codes without a name (also above 255).
std::optional<std::string_view> knownManufacturerName(std::uint16_t code);
// "Rosemount" for 38; "unknown" for codes without a name.
std::string_view manufacturerName(std::uint8_t code);

} // namespace hart
