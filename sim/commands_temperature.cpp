// Device-specific commands of the Rosemount, Yokogawa and E+H temperature transmitters.
#include "sim/sim_transmitter.h"

namespace sim {

void registerTemperatureCommands(SimTransmitter& t) {
    (void)t;
}

} // namespace sim
