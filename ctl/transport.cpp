#include "ctl/transport.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace zarn {

int ctl_open(const char *path) { return ::open(path, O_RDWR); }

int ctl_request(int fd, std::uint32_t code, void *record) {
    return ::ioctl(fd, static_cast<unsigned long>(code), record);
}

int ctl_close(int fd) { return ::close(fd); }

} // namespace zarn
