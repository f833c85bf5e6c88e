// Device-specific commands of the DP and multivariable transmitters.
#include "sim/sim_transmitter.h"

namespace sim {

void registerDpMvCommands(SimTransmitter& t) {
    (void)t;
}

} // namespace sim
