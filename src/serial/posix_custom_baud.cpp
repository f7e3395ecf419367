// Kept apart: the kernel's termios2 header cannot share a unit with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace qmx {

bool SetCustomBaudRate(int fd, std::uint32_t baudRate) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
    settings.c_cflag |= BOTHER;
    settings.c_ispeed = baudRate;
    settings.c_ospeed = baudRate;
    return ioctl(fd, TCSETS2, &settings) == 0;
}

}  // namespace qmx
