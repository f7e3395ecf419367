/* Preloaded into Wine for the serial tests. Wine's serial driver reads and
   sets the modem lines (TIOCMGET, TIOCMBIS, TIOCMBIC, TIOCMSET) and gives up
   on a device that refuses them; a pty has no modem lines and answers
   ENOTTY. Where the real call fails so, this answers from a set of lines
   kept here. Debian's 32-bit Wine calls __ioctl_time64, others ioctl: both
   are covered. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <termios.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int lines = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;

static int answer_modem_request(unsigned long request, void *argument, int *handled) {
    int *bits = (int *)argument;
    *handled = 1;
    switch (request) {
    case TIOCMGET: *bits = lines; return 0;
    case TIOCMBIS: lines |= *bits; return 0;
    case TIOCMBIC: lines &= ~*bits; return 0;
    case TIOCMSET: lines = *bits; return 0;
    default: *handled = 0; return -1;
    }
}

static int forward(const char *name, ioctl_fn *real, int fd, unsigned long request, void *argument) {
    if (*real == 0) *real = (ioctl_fn)dlsym(RTLD_NEXT, name);
    if (*real == 0) {
        errno = ENOSYS;
        return -1;
    }
    int result = (*real)(fd, request, argument);
    if (result == -1 && errno == ENOTTY) {
        int handled = 0;
        int answer = answer_modem_request(request, argument, &handled);
        if (handled) return answer;
        errno = ENOTTY;
    }
    return result;
}

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real;
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    return forward("ioctl", &real, fd, request, argument);
}

int __ioctl_time64(int fd, unsigned long request, ...) {
    static ioctl_fn real;
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    return forward("__ioctl_time64", &real, fd, request, argument);
}
