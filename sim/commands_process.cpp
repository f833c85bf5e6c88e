// Commands 1, 2, 3 (process data), 14, 15, 34, 35, 44, 47 (range, unit, damping, transfer function) and 36, 37, 40, 43, 45, 46, 130, 131 (current output and calibration).
#include "sim/sim_transmitter.h"

namespace sim {

void registerProcessCommands(SimTransmitter& t) {
    (void)t;
}

} // namespace sim
