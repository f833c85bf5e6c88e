#include "serial/open_error.h"

#include <array>
#include <cerrno>
#include <system_error>

namespace rxserial {

namespace {

using Failure = ECommsError::OpenFailure;

constexpr const char* kOpenFailed = "Error opening serial port";

struct CauseRow {
    int error;
    Failure failure;
};

constexpr std::array<CauseRow, 8> kCauses{{
    {EACCES, Failure::Permission},
    {EPERM, Failure::Permission},
    {EBUSY, Failure::Busy},       // the device's exclusive mode (TIOCEXCL) refused us
    {EWOULDBLOCK, Failure::Busy}, // another opener holds the device's flock
    {ENOENT, Failure::Missing},
    {ENODEV, Failure::Missing},
    {ENXIO, Failure::Missing},
    // A /dev/ttyS node with no UART behind it answers open() with EIO: to the
    // user that port is as absent as a missing file.
    {EIO, Failure::Missing},
}};

} // namespace

ECommsError::OpenFailure openFailureOf(int error) {
    for (const auto& row : kCauses)
        if (row.error == error) return row.failure;
    return Failure::Other;
}

std::string openFailureCause(int error, const std::string& path) {
    switch (openFailureOf(error)) {
    case Failure::Permission:
        return "Permission denied on " + path +
               ": your user is not in the dialout group.\n"
               "Add it with: sudo usermod -aG dialout $USER\n"
               "then log out and back in (the group counts only from a new login).";
    case Failure::Busy:
        return path + " is busy: another program has the port open.";
    case Failure::Missing:
        return "There is no serial device at " + path + ".";
    case Failure::None:
    case Failure::Settings:
    case Failure::Other:
        break;
    }
    return std::generic_category().message(error);
}

ECommsError openError(int error, const std::string& path) {
    return ECommsError(std::string(kOpenFailed) + '\n' + openFailureCause(error, path), error,
                       openFailureOf(error));
}

ECommsError settingsError(const std::string& cause, int error) {
    return ECommsError(std::string(kOpenFailed) + '\n' + cause, error, Failure::Settings);
}

ECommsError setupError(const std::string& first, int error) {
    return ECommsError(first + '\n' + std::generic_category().message(error), error,
                       Failure::Other);
}

} // namespace rxserial
