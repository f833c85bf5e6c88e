#pragma once
// How the line-setting properties map onto a Linux serial device, and whether
// the device really took them.

#include "serial/tcomm.h"

#include <termios.h>

#include <optional>
#include <string>
#include <vector>

namespace rxserial {

// Raw mode plus the framing, parity, flow control and speed of `s`, on top of
// the device's current settings in `t`. Returns false when `s.baudRate` has
// no termios speed code; the caller then sets it with setCustomBaud().
bool toTermios(const TComm::LineSettings& s, termios& t);

// The errno of a device that lacks a terminal request or line (a
// pseudo-terminal, many USB adapters, a file that is no terminal at all):
// ENOTTY or EINVAL, "not supported here" rather than a failure.
bool unsupported(int error);

// False for a pseudo-terminal: it carries bytes, not characters on a wire,
// and always reports 8 data bits without parity whatever it is asked for.
bool framesCharacters(int fd);

// What the device reports after the settings were written.
struct DeviceSettings {
    termios t;
    int outputBaud;
    int inputBaud; // 0: the same as the output speed
};

// The settings of `asked` (with speed `baud`) that `got` does not hold, as
// the words a user reads ("parity", "speed 1200 baud (...)"); empty when the
// device took them all. Data bits and parity enable are compared only on a
// device that frames characters. A speed within 2 % counts as taken: drivers
// report the rate their clock divider really gives, and a UART link tolerates
// that much.
std::vector<std::string> settingsNotTaken(const termios& asked, int baud, const DeviceSettings& got,
                                          bool framed);

// Why the device does not run with the settings asked for.
struct Refusal {
    std::string cause; // a line for the user
    int error = 0;     // errno of a call that failed; 0 when the device just did not keep them
};

// Writes `s` to the device `fd` (termios, a custom speed, DTR and RTS) and
// reads it all back. Returns why the device is not running with `s`, or
// nothing when it is.
std::optional<Refusal> applyLineSettings(int fd, const TComm::LineSettings& s);

// DTR and RTS as DtrControl and RtsControl ask, RS-485 direction control for
// RtsTransmissionAvailable. Lines a device does not have (a pseudo-terminal
// has none: ENOTTY/EINVAL) are no error. Returns 0, or the errno of a call
// that failed otherwise.
int applyModemLines(int fd, const TComm::LineSettings& s);

} // namespace rxserial
