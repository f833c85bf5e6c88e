// Device-specific commands of the Siemens, KROHNE TT50C and ABB TTH200 temperature transmitters.
#include "sim/sim_transmitter.h"

namespace sim {

void registerSiemensKrohneAbbCommands(SimTransmitter& t) {
    (void)t;
}

} // namespace sim
