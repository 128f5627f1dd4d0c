#include "pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace plcsim {
namespace {

volatile std::sig_atomic_t gStop = 0;

constexpr std::uint64_t kCompletionGraceMs = 3000;  // for a tool that keeps the port open

std::uint32_t BaudOf(speed_t speed) {
    switch (speed) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        default:
            return 0;
    }
}

std::uint8_t DataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

}  // namespace

PtyServer::PtyServer(SimulatedPlc& plc) : plc_(plc) {}

PtyServer::~PtyServer() {
    if (watch_ >= 0) {
        close(watch_);
    }
    if (master_ >= 0) {
        close(master_);
    }
}

void PtyServer::RequestStop() {
    gStop = 1;
}

std::uint64_t PtyServer::NowMs() const {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool PtyServer::Open(std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        error = "no slave name for the pseudo-terminal";
        return false;
    }
    slavePath_ = name;
    // Raw from the start, so nothing is echoed or cooked before the tool sets the line up.
    const int slave = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios t{};
        if (tcgetattr(slave, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
        }
        close(slave);
    }
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || inotify_add_watch(watch_, slavePath_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        error = std::string("cannot watch the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void PtyServer::UpdateLineFromTermios(std::uint64_t nowMs) {
    // On Linux the master reports the slave's settings; a pseudo-terminal keeps 8 data
    // bits and no parity whatever is asked, so only the speed means anything.
    termios t{};
    if (tcgetattr(master_, &t) != 0) {
        return;
    }
    const Parity parity = (t.c_cflag & PARENB) == 0   ? Parity::None
                          : (t.c_cflag & PARODD) != 0 ? Parity::Odd
                                                      : Parity::Even;
    plc_.OnLineSettings(BaudOf(cfgetospeed(&t)), DataBitsOf(t.c_cflag), parity,
                        (t.c_cflag & CSTOPB) != 0 ? 2 : 1, nowMs);
}

void PtyServer::DrainMaster(std::uint64_t nowMs) {
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) {
            return;  // EAGAIN: all read; EIO: no slave open any more
        }
        lastActivityMs_ = nowMs;
        UpdateLineFromTermios(nowMs);
        plc_.Receive(buf, static_cast<std::size_t>(n), nowMs);
    }
}

void PtyServer::HandleWatchEvents(std::uint64_t nowMs) {
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = read(watch_, buf, sizeof buf);
        if (n <= 0) {
            return;
        }
        for (ssize_t off = 0; off < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buf + off);
            off += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            lastActivityMs_ = nowMs;
            if ((event->mask & IN_OPEN) != 0) {
                if (openCount_++ == 0) {
                    everOpened_ = true;
                    plc_.OnLinkOpened(nowMs);
                }
            } else if ((event->mask & IN_CLOSE) != 0 && openCount_ > 0) {
                // What the tool wrote before closing still counts.
                DrainMaster(nowMs);
                if (--openCount_ == 0) {
                    pendingOut_.clear();
                    plc_.OnLinkClosed(nowMs);
                    const PlcMode mode = plc_.Mode();
                    burnEnded_ = mode != PlcMode::AwaitingReplug &&
                                 mode != PlcMode::AwaitingPower && mode != PlcMode::Restarting;
                }
            }
        }
    }
}

void PtyServer::FlushReplies(std::uint64_t nowMs) {
    if (openCount_ == 0) {
        return;
    }
    std::uint8_t buf[512];
    for (;;) {
        const std::size_t n = plc_.Transmit(buf, sizeof buf, nowMs);
        if (n == 0) {
            break;
        }
        pendingOut_.insert(pendingOut_.end(), buf, buf + n);
    }
    while (!pendingOut_.empty()) {
        const ssize_t n = write(master_, pendingOut_.data(), pendingOut_.size());
        if (n <= 0) {
            return;  // full: poll for room
        }
        pendingOut_.erase(pendingOut_.begin(), pendingOut_.begin() + n);
    }
}

void PtyServer::Serve(const ServeOptions& options) {
    lastActivityMs_ = NowMs();
    std::optional<std::uint64_t> completedAt;
    while (gStop == 0) {
        const std::uint64_t now = NowMs();
        if (options.exitAfterBurn) {
            if (plc_.TransferCompleted() && !completedAt) {
                completedAt = now;
            }
            if (completedAt && (openCount_ == 0 || now - *completedAt >= kCompletionGraceMs) &&
                pendingOut_.empty()) {
                return;
            }
            if (burnEnded_) {
                return;
            }
        }
        std::int64_t timeout = -1;
        auto sooner = [&timeout](std::int64_t ms) {
            ms = ms < 0 ? 0 : ms;
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        };
        if (const auto next = plc_.NextReplyTime(); next && openCount_ > 0) {
            sooner(static_cast<std::int64_t>(*next) - static_cast<std::int64_t>(now));
        }
        if (options.idleTimeoutSeconds) {
            const std::uint64_t limit = lastActivityMs_ + *options.idleTimeoutSeconds * 1000ull;
            if (now >= limit) {
                return;
            }
            sooner(static_cast<std::int64_t>(limit - now));
        }
        if (completedAt) {
            sooner(static_cast<std::int64_t>(*completedAt + kCompletionGraceMs - now));
        }
        pollfd fds[2] = {{watch_, POLLIN, 0}, {master_, POLLIN, 0}};
        if (!pendingOut_.empty()) {
            fds[1].events |= POLLOUT;
        }
        // With no slave open the master reports a hang-up without end: leave it out.
        const nfds_t count = openCount_ > 0 ? 2 : 1;
        const int ready = poll(fds, count, static_cast<int>(timeout));
        if (ready < 0 && errno != EINTR) {
            return;
        }
        const std::uint64_t after = NowMs();
        HandleWatchEvents(after);
        if (openCount_ > 0) {
            DrainMaster(after);
        }
        FlushReplies(after);
    }
}

}  // namespace plcsim
