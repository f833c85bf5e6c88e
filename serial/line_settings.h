#pragma once
// How the line-setting properties map onto a Linux serial device.

#include "serial/tcomm.h"

#include <termios.h>

namespace rxserial {

// Raw mode plus the framing, parity, flow control and speed of `s`, on top of
// the device's current settings in `t`. Returns false when `s.baudRate` has
// no termios speed code; the caller then sets it with setCustomBaud().
bool toTermios(const TComm::LineSettings& s, termios& t);

// DTR and RTS as DtrControl and RtsControl ask, RS-485 direction control for
// RtsTransmissionAvailable. Lines a device does not have (a pseudo-terminal
// has none) are left alone.
void applyModemLines(int fd, const TComm::LineSettings& s);

} // namespace rxserial
