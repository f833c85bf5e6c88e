#pragma once
// Why an open failed, in words a user can act on. One table maps errno to the
// kind of failure; each kind has one text. The message keeps the component's
// own first line ("Error opening serial port") and gives the cause below it.

#include "serial/tcomm.h"

#include <string>

namespace rxserial {

// The kind of failure an errno from open(), flock() or the exclusive-use
// checks stands for.
ECommsError::OpenFailure openFailureOf(int error);

// The line(s) that say why `path` could not be opened with `error`.
std::string openFailureCause(int error, const std::string& path);

// "Error opening serial port", then the cause; carries errno and kind.
ECommsError openError(int error, const std::string& path);

// An open that failed while configuring the device: the same first line,
// then `cause`. `error` is the errno behind it, 0 when none.
ECommsError settingsError(const std::string& cause, int error = 0);

// `first`, then the system's text for `error` on the next line (setup steps
// after the open: the close signal, the threads).
ECommsError setupError(const std::string& first, int error);

} // namespace rxserial
