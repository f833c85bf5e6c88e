// Command 0: read unique identifier, in the layout of the device's universal
// revision (HART 5: twelve bytes; HART 6 adds bytes 12-16, HART 7 17-21).
#include "sim/command_sets.h"
#include "sim/sim_device.h"

namespace sim {

Bytes identityData(const SimState& s) {
    // The hardware revision sits above the 3-bit physical signalling code,
    // which is 0 (Bell 202 current) for every simulated device.
    Bytes out{hart::kExpansionCode,
              s.manufacturer,
              s.deviceType,
              s.preambles,
              s.universalRevision,
              s.deviceRevision,
              s.softwareRevision,
              static_cast<std::uint8_t>(s.hardwareRevision << 3),
              s.flags,
              s.deviceId[0],
              s.deviceId[1],
              s.deviceId[2]};
    if (s.universalRevision < 6) return out;
    out.push_back(s.preambles);
    out.push_back(s.deviceVariables);
    putUint16(out, s.configChangeCounter);
    out.push_back(s.extendedStatus);
    if (s.universalRevision < 7) return out;
    putUint16(out, s.manufacturerCode);
    putUint16(out, s.distributorCode);
    out.push_back(s.deviceProfile);
    return out;
}

void registerDiscoveryCommands(SimDevice& d) {
    d.addHandler(0, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        return ok(identityData(s));
    });
}

} // namespace sim
