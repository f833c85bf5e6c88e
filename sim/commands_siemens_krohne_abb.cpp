// Device-specific commands of the Siemens, KROHNE TT50C and ABB TTH200
// temperature transmitters: 140/141 (Siemens), 130/131 (KROHNE), 190/195 (ABB).
//
// Command numbers here are shared with other makers and with the common
// calibration commands, so every handler checks the request's shape and
// declines (std::nullopt) what is not its own. Siemens uses 140/141 with the
// same layout as the Rosemount 644; where a 644 handler takes the request,
// it answers. The KROHNE query (130 without data) is exactly the EJA
// zero-settings query: it is answered here only when the simulated device
// carries KROHNE's manufacturer ID.
#include "sim/command_sets.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace sim {

namespace {

Bytes& siemens(SimState& s) {
    return setting(s, key::kSiemens, {0x01, 0x04});
}
Bytes& krohne(SimState& s) {
    // PT100, 3-wire, then the rest of the device's block (two floats and two
    // bytes the tool hands back untouched).
    return setting(s, key::kKrohne,
                   {0x01, 0x03, 0xC3, 0x48, 0x00, 0x00, 0x44, 0x7A, 0x00, 0x00, 0x05, 0x01});
}
Bytes& abb(SimState& s) {
    return setting(s, key::kAbb, {0x0D, 0x03});
}

constexpr std::array<std::uint8_t, 18> kKrohneSensors{0x01, 0x02, 0x03, 0x04, 0x10, 0x11,
                                                      0x80, 0x81, 0x82, 0x83, 0x84, 0x85,
                                                      0x86, 0x87, 0x88, 0x89, 0x8A, 0xA0};
constexpr std::array<std::uint8_t, 6> kKrohneConnections{0x00, 0x02, 0x03, 0x04, 0x05, 0x10};
constexpr std::array<std::uint8_t, 36> kAbbSensors{
    0x01, 0x02, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x15, 0x16, 0x1F, 0x20, 0x21,
    0x23, 0x47, 0x48, 0x49, 0x4A, 0x51, 0x52, 0x64, 0x67, 0x6A, 0x81, 0x82,
    0x83, 0x84, 0x85, 0x86, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F};
constexpr std::array<std::uint8_t, 4> kAbbConnections{0x00, 0x02, 0x03, 0x04};
// Siemens: sensor, connection pairs the device knows.
constexpr std::array<std::array<std::uint8_t, 2>, 4> kSiemensPairs{
    {{0x01, 0x02}, {0x01, 0x04}, {0x84, 0x02}, {0x87, 0x02}}};

bool isChannelQuery(const SimRequest& r) {
    return r.data.size() == 1 && r.data[0] == 0x00;
}

} // namespace

void registerSiemensKrohneAbbCommands(SimDevice& d) {
    // Siemens 140: 0x00 -> 0x00, sensor, connection.
    d.addHandler(140, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (!isChannelQuery(r)) return std::nullopt;
        const Bytes& v = siemens(s);
        return ok({0x00, v[0], v[1]});
    });
    // Siemens 141: 0x00, sensor, connection.
    d.addHandler(141, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 3 || r.data[0] != 0x00) return std::nullopt;
        if (!holds(kSiemensPairs, {r.data[1], r.data[2]})) return refuse(kSettingNotAvailable);
        siemens(s) = {r.data[1], r.data[2]};
        return ok();
    });

    // KROHNE 130: sensor, connection, then ten bytes of the device's block.
    d.addHandler(130, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (!r.data.empty() || s.manufacturer != kKrohneManufacturer) return std::nullopt;
        return ok(krohne(s));
    });
    // KROHNE 131: the same twelve bytes back.
    d.addHandler(131, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 12) return std::nullopt;
        if (!holds(kKrohneSensors, r.data[0]) || !holds(kKrohneConnections, r.data[1]))
            return refuse(kKrohneInvalidSetting);
        krohne(s) = r.data;
        return ok();
    });

    // ABB 190: 0x00 -> 0x00, sensor, connection, 0x00.
    d.addHandler(190, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (!isChannelQuery(r)) return std::nullopt;
        const Bytes& v = abb(s);
        return ok({0x00, v[0], v[1], 0x00});
    });
    // ABB 195: 0x00, sensor, connection.
    d.addHandler(195, [](SimState& s, const SimRequest& r) -> std::optional<SimReply> {
        if (r.data.size() != 3 || r.data[0] != 0x00) return std::nullopt;
        if (!holds(kAbbSensors, r.data[1]) || !holds(kAbbConnections, r.data[2]))
            return refuse(kSettingNotAvailable);
        abb(s) = {r.data[1], r.data[2]};
        return ok();
    });
}

} // namespace sim
