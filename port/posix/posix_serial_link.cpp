#include "port/posix/posix_serial_link.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "port/posix/monotonic_deadline.h"
#include "port/posix/termios_settings.h"

namespace norvane::posix {

namespace {

bool IsRetryable(int error) {
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}

enum class Wait : std::uint8_t { Ready, TimedOut, LineGone };

// Waits until the descriptor is ready for `events` or the deadline passes.
Wait WaitUntil(int fd, short events, const MonotonicDeadline& deadline, short& revents) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, deadline.RemainingPollMs());
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Wait::LineGone;
        }
        if (ready == 0) {
            if (deadline.Passed()) {
                return Wait::TimedOut;
            }
            continue;
        }
        revents = entry.revents;
        if ((entry.revents & POLLNVAL) != 0) {
            return Wait::LineGone;
        }
        return Wait::Ready;
    }
}

}  // namespace

PosixSerialLink::PosixSerialLink(int fd, std::shared_ptr<PortRelease> release)
    : fd_(fd), release_(std::move(release)) {}

PosixSerialLink::~PosixSerialLink() {
    if (fd_ >= 0) {
        if (release_) {
            release_->Closing(fd_);
        }
        // Lift the exclusive hold so that the next opener of the tty, which
        // may be this tool again after a replug prompt, is not refused.
        (void)::ioctl(fd_, TIOCNXCL);
        (void)::close(fd_);
    }
}

std::size_t PosixSerialLink::Write(const std::uint8_t* data, std::size_t count) {
    if (fd_ < 0 || data == nullptr || count == 0) {
        return 0;
    }
    const MonotonicDeadline deadline(timeouts_.writeMs);
    std::size_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd_, data + sent, count - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || !IsRetryable(errno) || deadline.Passed()) {
            break;  // the line is gone (EIO and the like), or the time is up
        }
        short revents = 0;
        if (WaitUntil(fd_, POLLOUT, deadline, revents) != Wait::Ready ||
            (revents & (POLLERR | POLLHUP)) != 0) {
            break;
        }
    }
    return sent;
}

std::size_t PosixSerialLink::Read(std::uint8_t* data, std::size_t count) {
    if (fd_ < 0 || data == nullptr || count == 0) {
        return 0;
    }
    const MonotonicDeadline deadline(timeouts_.readMs);
    std::size_t got = 0;
    while (got < count) {
        short revents = 0;
        if (WaitUntil(fd_, POLLIN, deadline, revents) != Wait::Ready) {
            break;
        }
        // Read even when only a hang-up was reported: bytes that arrived before
        // it are still handed over, and the read then says the line is gone.
        const ssize_t n = ::read(fd_, data + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        // 0 bytes: end of file; EIO: hung up; a hang-up with nothing left.
        // Woken without data (another reader took it): wait on, but never past
        // the deadline, so that a line that keeps reporting ready cannot spin.
        if (n == 0 || !IsRetryable(errno) || (revents & (POLLHUP | POLLERR)) != 0 ||
            deadline.Passed()) {
            break;
        }
    }
    return got;
}

void PosixSerialLink::DiscardInput() {
    if (fd_ >= 0) {
        (void)::tcflush(fd_, TCIFLUSH);
    }
}

void PosixSerialLink::ApplyLineSettings(const LineSettings& settings) {
    if (fd_ < 0) {
        return;
    }
    termios current{};
    if (::tcgetattr(fd_, &current) == 0) {
        const termios wanted = BuildTermios(current, settings);
        (void)::tcsetattr(fd_, TCSANOW, &wanted);
    }
    // Pseudo-terminals and some USB adapters have no modem lines; that is fine.
    const ModemLineChange lines = ModemLinesFor(settings);
    if (lines.clear != 0) {
        (void)::ioctl(fd_, TIOCMBIC, &lines.clear);
    }
    if (lines.set != 0) {
        (void)::ioctl(fd_, TIOCMBIS, &lines.set);
    }
}

}  // namespace norvane::posix
