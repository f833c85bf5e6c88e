#pragma once
// What every command handler of the simulated devices builds its answer
// from: the request and reply shapes, named response codes, ok/refuse, the
// device-specific settings kept in SimState::vendor, and the rules a HART
// field device applies to every reply it sends.

#include "hart/protocol.h"
#include "sim/sim_state.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

struct SimRequest {
    bool longFrame = false;
    std::uint8_t master = 0;  // hart::kPrimaryMaster or hart::kSecondaryMaster
    std::uint8_t address = 0; // polling address (short frame)
    // Unique address (long frame): manufacturer or expanded-device-type bits
    // with the master and burst bits cleared, device type, device ID.
    std::array<std::uint8_t, 5> longAddress{};
    std::uint8_t command = 0;
    Bytes data;
};

struct SimReply {
    std::uint8_t responseCode = 0;
    std::uint8_t deviceStatus = 0;
    Bytes data;
};

// A handler answers the requests it knows and returns nothing for the rest,
// so makers that share a command number each keep their own handler.
using SimHandler = std::function<std::optional<SimReply>(SimState&, const SimRequest&)>;

// Response codes the handlers give, by name.
namespace rc = hart::rc;
// Command-specific code 9, which the DP, multivariable and Siemens devices
// give to a setting they do not have.
inline constexpr std::uint8_t kSettingNotAvailable = rc::kWrongMode;
// KROHNE's own code for a sensor or connection the TT50C does not know.
inline constexpr std::uint8_t kKrohneInvalidSetting = 12;
// Command 48: the status bytes the master sent differ from the device's. A
// warning, so the reply still carries the device's bytes.
inline constexpr std::uint8_t kStatusMismatch = 14;
// Command 38 of a HART 7 device: the master's configuration change counter is
// not the device's, so the flag stays set.
inline constexpr std::uint8_t kCounterMismatch = 9;
// Command 6 of a HART 7 device: a loop current mode other than 0 or 1.
inline constexpr std::uint8_t kInvalidModeSelection = 12;
// A warning: the reply carries fewer slots than the master asked for.
inline constexpr std::uint8_t kResponseTruncated = 30;

// Bits of the field device status (second status byte) that the devices set
// themselves. From HART 7 on, configuration changed and cold start are kept
// apart for the primary and the secondary master.
inline constexpr std::uint8_t kConfigurationChanged = 0x40;
inline constexpr std::uint8_t kColdStart = 0x20;
inline constexpr std::uint8_t kLoopCurrentSaturated = 0x04;

// Manufacturer IDs that change how a shared command number is answered.
inline constexpr std::uint8_t kKrohneManufacturer = 0x45;

// Whether a response code reports an error (hart/protocol.h).
using hart::isErrorResponse;

// The longest data field a reply can carry: its byte count (one byte) also
// counts the two status bytes.
inline constexpr std::size_t kMaxReplyData = 255 - 2;

inline SimReply ok(Bytes data = {}) {
    return SimReply{rc::kSuccess, 0, std::move(data)};
}
inline SimReply refuse(std::uint8_t code) {
    return SimReply{code, 0, {}};
}

// The reply as the device sends it: an error carries only its status bytes,
// and a data field too long for the byte count is refused rather than sent
// with a wrapped count.
SimReply asSent(SimReply reply);

// Device-specific settings in SimState::vendor: the bytes under `key`,
// created with `initial` the first time they are asked for.
Bytes& setting(SimState& s, int key, Bytes initial);

// Keys of SimState::vendor. One list, so that no two command sets share a key
// by accident; the common calibration commands and the DP page's zero cutoff
// share the command-131 key on purpose.
namespace key {
inline constexpr int kLowTrim = -45;          // command 45: the trimmed value
inline constexpr int kHighTrim = -46;         // command 46
inline constexpr int kCommand131 = -131;      // unit byte, WireFloat (display low / EJA cutoff)
inline constexpr int kCommand130 = -130;      // unit byte, WireFloat (display high)
inline constexpr int kRosemount644 = 0x64401; // sensor code, wire count (140/141)
inline constexpr int kRosemount644Wiring = 0x64431; // sensor code, wire count (command 31)
inline constexpr int kRosemount848 = 0x84800;       // + channel 1..4: sensor, wires, unit
inline constexpr int kYokogawa = 0x0E7A00;          // sensor, wires, resistance (4 bytes)
inline constexpr int kEh = 0x0E4000;                // + parameter byte: its value bytes
inline constexpr int kSiemens = 0x534B4101;         // sensor, connection
inline constexpr int kKrohne = 0x534B4102;          // sensor, connection, ten further bytes
inline constexpr int kAbb = 0x534B4103;             // sensor, connection
inline constexpr int kSmvVariables = 0x44504D01;    // four device-variable codes
inline constexpr int kSmvDisplay = 0x44504D02;      // two display bytes
inline constexpr int kEjaDisplay = 0x44504D03;      // four display codes
inline constexpr int kEjaMode = 0x44504D04;         // zero-set mode
} // namespace key

// Whether a table of codes (or of code pairs) holds `v`.
template <class Table> bool holds(const Table& table, const typename Table::value_type& v) {
    return std::find(table.begin(), table.end(), v) != table.end();
}

// WireFloat in and out of data fields; a float past the data's end reads 0.
void putFloat(Bytes& out, float v);
float getFloat(const Bytes& data, std::size_t at);
// Unsigned integers, most significant byte first; past the data's end they read 0.
void putUint16(Bytes& out, std::uint16_t v);
void putUint32(Bytes& out, std::uint32_t v);
std::uint16_t getUint16(const Bytes& data, std::size_t at);
std::uint32_t getUint32(const Bytes& data, std::size_t at);

} // namespace sim
