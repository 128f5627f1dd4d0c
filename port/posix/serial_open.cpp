#include "port/posix/serial_open.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "port/posix/sysfs_tree.h"
#include "port/posix/termios_settings.h"

namespace norvane::posix {

namespace {

SerialOpenResult Failed(const std::string& path, int error) {
    SerialOpenResult result;
    result.failure.kind = ClassifyOpenError(error);
    result.failure.path = path;
    result.failure.error = error;
    if (result.failure.kind == OpenFailureKind::Busy) {
        result.failure.holders = FindPortHolders(path);
    }
    return result;
}

}  // namespace

SerialOpenResult OpenSerialPort(const std::string& path, std::shared_ptr<PortRelease> release) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return Failed(path, errno);
    }
    if (::isatty(fd) == 0) {
        (void)::close(fd);
        return Failed(path, ENOTTY);
    }
    // The lock refuses a second copy of this tool even as root, where the
    // terminal's own exclusive mode does not; a file system without locks
    // must not stop an otherwise good port.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        (void)::close(fd);  // before naming the holders, so we are not among them
        return Failed(path, EBUSY);
    }
    (void)::ioctl(fd, TIOCEXCL);

    termios record{};
    if (::tcgetattr(fd, &record) == 0) {
        if (release) {
            release->Opened(fd, record);
        }
        MakeRaw(record);
        (void)::tcsetattr(fd, TCSANOW, &record);
    }

    SerialOpenResult result;
    result.link = std::make_unique<PosixSerialLink>(fd, std::move(release));
    return result;
}

std::string DevicePathForPortName(const std::string& name) {
    return name.find('/') == std::string::npos ? kDevRoot + name : name;
}

}  // namespace norvane::posix
