#pragma once
// Speeds that have no termios Bxxx code, through the kernel's termios2
// interface. Kept in a unit of its own: <asm/termbits.h> cannot share a
// translation unit with <termios.h>.

namespace rxserial {

// Sets input and output speed of the terminal `fd` to `baud` (BOTHER).
bool setCustomBaud(int fd, int baud);
// The output speed in baud as the kernel reports it, or -1.
int currentBaud(int fd);

} // namespace rxserial
