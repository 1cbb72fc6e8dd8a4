/* Test-only LD_PRELOAD library that lets Wine use a pty as a serial port.
 *
 * Linux ptys have no modem lines: TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC fail with ENOTTY, and Wine's comm event
 * poller then aborts every WaitCommEvent at once (error 995, a busy loop). Ptys also refuse the 7-bit settings the
 * program asks for (EINVAL), so SetCommState fails on every open after the first. On pty descriptors only, this
 * library answers the modem ioctls itself (CTS, DSR and DCD on; DTR and RTS remembered) and retries a refused
 * tcsetattr with 8 data bits and no parity. Real serial devices pass straight through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

/* DTR and RTS as the program last set them, per descriptor (descriptors past the table share the last slot). */
#define SHIM_FDS 1024
static int outputLines[SHIM_FDS];

static int isPty(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    /* Unix98 pty slaves: majors 136..143 (their masters use 128..135 and are never serial ports). */
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

static int* linesOf(int fd) {
    return &outputLines[(fd >= 0 && fd < SHIM_FDS) ? fd : SHIM_FDS - 1];
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*realIoctl)(int, unsigned long, ...);
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (!realIoctl)
        realIoctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    if ((request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC) && argument &&
        isPty(fd)) {
        int* lines = linesOf(fd);
        if (request == TIOCMGET) {
            *(int*)argument = __atomic_load_n(lines, __ATOMIC_RELAXED) | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
            return 0;
        }
        const int given = *(const int*)argument & (TIOCM_DTR | TIOCM_RTS);
        if (request == TIOCMSET)
            __atomic_store_n(lines, given, __ATOMIC_RELAXED);
        else if (request == TIOCMBIS)
            __atomic_fetch_or(lines, given, __ATOMIC_RELAXED);
        else
            __atomic_fetch_and(lines, ~given, __ATOMIC_RELAXED);
        return 0;
    }
    return realIoctl(fd, request, argument);
}

int tcsetattr(int fd, int actions, const struct termios* settings) {
    static int (*realTcsetattr)(int, int, const struct termios*);
    if (!realTcsetattr)
        realTcsetattr = (int (*)(int, int, const struct termios*))dlsym(RTLD_NEXT, "tcsetattr");
    const int result = realTcsetattr(fd, actions, settings);
    if (result == 0 || errno != EINVAL || !settings || !isPty(fd))
        return result;
    struct termios eightBits = *settings;
    eightBits.c_cflag &= ~(tcflag_t)(CSIZE | PARENB | PARODD);
    eightBits.c_cflag |= CS8;
    return realTcsetattr(fd, actions, &eightBits);
}
