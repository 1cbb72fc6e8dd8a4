#pragma once

// The instrument's line format on a Linux serial device, shared by the native tools.

#include <termios.h>

// `current` turned into the instrument's line: raw, 300 baud, 7 data bits, no parity, 1 stop bit, no flow
// control, blocking reads of at least one byte.
inline termios instrumentLineSettings(termios current) {
    cfmakeraw(&current);
    current.c_iflag &= ~static_cast<tcflag_t>(INPCK | ISTRIP | IXON | IXOFF | IXANY);
    current.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    current.c_cflag |= CS7 | CREAD | CLOCAL;
    current.c_cc[VMIN] = 1;
    current.c_cc[VTIME] = 0;
    cfsetispeed(&current, B300);
    cfsetospeed(&current, B300);
    return current;
}
