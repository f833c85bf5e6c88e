#pragma once
// The makers whose own commands the device-specific pages send. Commands 128
// to 253 mean something else to each maker, so a page's buttons ask before
// they go to another maker's device. Each maker is known by the HART
// manufacturer codes its devices report in command 0 (HART 7: the 16-bit
// manufacturer ID, or the private-label distributor code).

#include <cstdint>
#include <span>
#include <string_view>

namespace host {

struct Maker {
    std::string_view name;
    std::span<const std::uint16_t> codes;
};

namespace maker_codes {
inline constexpr std::uint16_t kRosemount[] = {38};
inline constexpr std::uint16_t kYokogawa[] = {55};
inline constexpr std::uint16_t kEndressHauser[] = {17};
inline constexpr std::uint16_t kSiemens[] = {42};
inline constexpr std::uint16_t kKrohne[] = {69};
// ABB's transmitters report the code its predecessors registered: 26 (Kent,
// ABB's code in the manufacturer list today) and 22 (Hartmann & Braun,
// whose temperature line the TTH200 continues).
inline constexpr std::uint16_t kAbb[] = {26, 22};
} // namespace maker_codes

inline constexpr Maker kRosemount{"Rosemount", maker_codes::kRosemount};
inline constexpr Maker kYokogawa{"Yokogawa", maker_codes::kYokogawa};
inline constexpr Maker kEndressHauser{"Endress+Hauser", maker_codes::kEndressHauser};
inline constexpr Maker kSiemens{"Siemens", maker_codes::kSiemens};
inline constexpr Maker kKrohne{"KROHNE", maker_codes::kKrohne};
inline constexpr Maker kAbb{"ABB", maker_codes::kAbb};

} // namespace host
