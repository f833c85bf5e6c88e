// Command 0: read unique identifier.
#include "sim/sim_transmitter.h"

namespace sim {

void registerDiscoveryCommands(SimTransmitter& t) {
    t.addHandler(0, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        SimReply r;
        r.data = {254,
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
        return r;
    });
}

} // namespace sim
