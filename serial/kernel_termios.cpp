#include "serial/kernel_termios.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace rxserial {

namespace {

int ioctlError(int result) {
    return result == 0 ? 0 : errno;
}

} // namespace

int setCustomBaud(int fd, int baud) {
    struct termios2 t {};
    if (baud <= 0) return EINVAL;
    if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    return ioctlError(::ioctl(fd, TCSETS2, &t));
}

int currentBaud(int fd) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return -1;
    return static_cast<int>(t.c_ospeed);
}

int currentInputBaud(int fd) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return -1;
    return static_cast<int>(t.c_ispeed);
}

SavedTermios::SavedTermios() = default;
SavedTermios::~SavedTermios() = default;

int SavedTermios::save(int fd) {
    auto t = std::make_unique<termios2>();
    if (::ioctl(fd, TCGETS2, t.get()) != 0) return errno;
    saved_ = std::move(t);
    return 0;
}

int SavedTermios::restore(int fd) const {
    if (!saved_) return EINVAL;
    return ioctlError(::ioctl(fd, TCSETS2, saved_.get()));
}

} // namespace rxserial
