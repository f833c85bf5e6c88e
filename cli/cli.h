#pragma once
// rx460k-cli: the window's HART without the window, for scripts. It opens the
// same links (serial, HART-IP, the simulated devices), sends through the same
// request cycle and its background requests, scans with the same driver and
// reads configurations with the same table as the window; it prints JSON on
// stdout (one object per line for `scan` and `monitor`) and reasons on stderr.
//
//   rx460k-cli --port PORT [--address N | --long-address HEX] COMMAND
//     identify                     the device's identity
//     scan [0-15|0-63]             every device on the loop
//     read pv|dynamic|config       PV (command 1), dynamic variables (3), or
//                                  the whole configuration
//     save FILE | compare FILE     configuration files, as the window writes them
//     monitor [--interval S] [--count N]   dynamic variables over time
//
// Exit codes: 0 success, 1 the device answered with an error, 2 a usage error
// (or a file that is not a configuration file), 3 the port did not open or
// the device did not answer.

#include <QStringList>

#include <cstdio>

namespace cli {

inline constexpr int kOk = 0;
inline constexpr int kDeviceError = 1;
inline constexpr int kUsage = 2;
inline constexpr int kNoDevice = 3;

// Runs the tool; `arguments` starts with the program's name. Needs a
// QCoreApplication; runs its own event loop until the command is done.
int run(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace cli
