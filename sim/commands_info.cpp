// Commands 6, 12, 13, 16, 17, 18, 19, 39 (device information) and 108, 109 (burst mode).
#include "sim/sim_transmitter.h"

namespace sim {

void registerInfoCommands(SimTransmitter& t) {
    (void)t;
}

} // namespace sim
