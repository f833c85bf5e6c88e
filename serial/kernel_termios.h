#pragma once
// The kernel's termios2 interface: speeds that have no termios Bxxx code, the
// speeds in force as numbers, and the whole of a device's settings saved and
// put back exactly (a custom speed included). Kept in a unit of its own:
// <asm/termbits.h> cannot share a translation unit with <termios.h>.

#include <memory>

struct termios2;

namespace rxserial {

// Sets input and output speed of the terminal `fd` to `baud` (BOTHER).
// Returns 0, or the errno of the failed call (EINVAL for a baud below 1).
int setCustomBaud(int fd, int baud);
// The output speed in baud as the kernel reports it, or -1.
int currentBaud(int fd);
// The input speed in baud as the kernel reports it, or -1.
int currentInputBaud(int fd);

// A device's settings as they were found, to be put back when we let go.
class SavedTermios {
public:
    SavedTermios();
    ~SavedTermios();
    SavedTermios(const SavedTermios&) = delete;
    SavedTermios& operator=(const SavedTermios&) = delete;

    // Returns 0, or the errno of the failed call.
    int save(int fd);
    // Returns 0, or the errno of the failed call; nothing saved: EINVAL.
    int restore(int fd) const;

private:
    std::unique_ptr<termios2> saved_;
};

} // namespace rxserial
