#include "pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace plcsim {
namespace {

volatile std::sig_atomic_t gStop = 0;

constexpr std::uint64_t kCompletionGraceUs = 3000000;  // for a tool that keeps the port open
constexpr std::uint64_t kUsPerMs = 1000;
// A timed wake-up comes some 50 to 150 us late on a typical machine, and on a paced
// line that lateness would be charged to the tool. The last stretch before a reply
// is due is therefore waited out by watching the clock.
constexpr std::uint64_t kPacedSpinUs = 300;

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

std::uint8_t TagOf(Exchange kind) {
    return static_cast<std::uint8_t>(kind);
}

Exchange KindOf(std::uint8_t tag) {
    return static_cast<Exchange>(tag);
}

}  // namespace

PtyServer::PtyServer(SimulatedPlc& plc) : plc_(plc) {}

PtyServer::~PtyServer() {
    if (stop_ >= 0) {
        close(stop_);
    }
    if (watch_ >= 0) {
        close(watch_);
    }
    if (master_ >= 0) {
        close(master_);
    }
}

void PtyServer::Stop() {
    const std::uint64_t one = 1;
    if (stop_ >= 0) {
        (void)!write(stop_, &one, sizeof one);
    }
}

void PtyServer::RequestStop() {
    gStop = 1;
}

std::uint64_t PtyServer::NowUs() const {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
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
    stop_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stop_ < 0) {
        error = std::string("cannot make an eventfd: ") + std::strerror(errno);
        return false;
    }
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || inotify_add_watch(watch_, slavePath_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        error = std::string("cannot watch the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void PtyServer::UpdateLineFromTermios(std::uint64_t nowUs) {
    // On Linux the master reports the slave's settings; a pseudo-terminal keeps 8 data
    // bits and no parity whatever is asked, so only the speed means anything.
    termios t{};
    if (tcgetattr(master_, &t) != 0) {
        return;
    }
    const Parity parity = (t.c_cflag & PARENB) == 0   ? Parity::None
                          : (t.c_cflag & PARODD) != 0 ? Parity::Odd
                                                      : Parity::Even;
    const std::uint32_t baud = BaudOf(cfgetospeed(&t));
    characterUs_ = CharacterUs(baud);
    plc_.OnLineSettings(baud, DataBitsOf(t.c_cflag), parity, (t.c_cflag & CSTOPB) != 0 ? 2 : 1,
                        nowUs / kUsPerMs);
}

void PtyServer::DrainMaster(std::uint64_t nowUs) {
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) {
            return;  // EAGAIN: all read; EIO: no slave open any more
        }
        const auto count = static_cast<std::size_t>(n);
        lastActivityUs_ = nowUs;
        UpdateLineFromTermios(nowUs);
        meter_.ToolBytes(nowUs, count, characterUs_);
        // The PLC may work out its answer at once: the answer is held back until the
        // request's last byte would have arrived, so the tool sees the wire's timing.
        const double wireUs = options_.paceLine ? characterUs_ * static_cast<double>(count) : 0;
        requestArrivesUs_ = std::max(requestArrivesUs_, static_cast<double>(nowUs)) + wireUs;
        DeliverToPlc(buf, count, nowUs);
    }
}

std::uint64_t PtyServer::RequestArrivalUs() const {
    return static_cast<std::uint64_t>(std::ceil(requestArrivesUs_));
}

void PtyServer::DeliverToPlc(const std::uint8_t* bytes, std::size_t count, std::uint64_t nowUs) {
    const std::size_t requestsBefore = plc_.Requests().size();
    const SimCounters before = plc_.Counters();
    plc_.Receive(bytes, count, nowUs / kUsPerMs);
    const SimCounters& after = plc_.Counters();
    const auto& requests = plc_.Requests();
    for (std::size_t i = requestsBefore; i < requests.size(); ++i) {
        lastRequest_ = requests[i].kind;
        meter_.Request(lastRequest_);
    }
    // Only what the PLC really erased or programmed keeps it busy, from the moment
    // the whole request is there.
    const std::uint64_t busyUs =
        std::uint64_t{after.eraseCommands - before.eraseCommands} * options_.eraseUnitUs +
        std::uint64_t{after.blocksWritten - before.blocksWritten} * options_.blockWriteUs;
    if (busyUs > 0) {
        plcBusyUntilUs_ = std::max(plcBusyUntilUs_, RequestArrivalUs()) + busyUs;
        meter_.PlcBusy(busyUs);
    }
}

void PtyServer::HandleWatchEvents(std::uint64_t nowUs) {
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = read(watch_, buf, sizeof buf);
        if (n <= 0) {
            return;
        }
        for (ssize_t off = 0; off < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buf + off);
            off += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            lastActivityUs_ = nowUs;
            if ((event->mask & IN_OPEN) != 0) {
                if (openCount_++ == 0) {
                    everOpened_ = true;
                    plc_.OnLinkOpened(nowUs / kUsPerMs);
                }
            } else if ((event->mask & IN_CLOSE) != 0 && openCount_ > 0) {
                // What the tool wrote before closing still counts.
                DrainMaster(nowUs);
                if (--openCount_ == 0) {
                    toTool_.Clear();
                    plc_.OnLinkClosed(nowUs / kUsPerMs);
                    const PlcMode mode = plc_.Mode();
                    burnEnded_ = mode != PlcMode::AwaitingReplug &&
                                 mode != PlcMode::AwaitingPower && mode != PlcMode::Restarting;
                }
            }
        }
    }
}

void PtyServer::CollectReplies(std::uint64_t nowUs) {
    if (openCount_ == 0) {
        return;
    }
    std::uint8_t buf[512];
    for (;;) {
        const std::size_t n = plc_.Transmit(buf, sizeof buf, nowUs / kUsPerMs);
        if (n == 0) {
            break;
        }
        // Never before the request is there, and a busy PLC once it is done.
        const std::uint64_t fromUs = std::max({nowUs, RequestArrivalUs(), plcBusyUntilUs_});
        toTool_.Queue(buf, n, fromUs, options_.paceLine ? characterUs_ : 0.0, TagOf(lastRequest_));
    }
}

void PtyServer::WriteDue(std::uint64_t nowUs) {
    if (openCount_ == 0) {
        return;
    }
    std::uint8_t buf[4096];
    const std::size_t due = std::min(toTool_.DueCount(nowUs), sizeof buf);
    if (due == 0) {
        return;
    }
    for (std::size_t i = 0; i < due; ++i) {
        buf[i] = toTool_.At(i).byte;
    }
    const ssize_t n = write(master_, buf, due);
    if (n <= 0) {
        return;  // full: poll for room
    }
    lastActivityUs_ = nowUs;
    lastReplyWrittenUs_ = nowUs;
    meter_.ServerLate(nowUs - toTool_.At(static_cast<std::size_t>(n - 1)).atUs);
    for (ssize_t i = 0; i < n; ++i) {
        const WireByte& b = toTool_.At(static_cast<std::size_t>(i));
        meter_.ReplyByte(nowUs, b.byte, KindOf(b.tag), characterUs_);
    }
    toTool_.Drop(static_cast<std::size_t>(n));
}

void PtyServer::NoteQuietLine() {
    if (toTool_.Empty() && !plc_.NextReplyTime()) {
        meter_.LineQuiet(std::max(lastReplyWrittenUs_, RequestArrivalUs()));
    }
}

std::optional<std::uint64_t> PtyServer::NextWakeUs(std::uint64_t nowUs) const {
    std::optional<std::uint64_t> wake;
    auto sooner = [&wake](std::uint64_t us) { wake = wake ? std::min(*wake, us) : us; };
    if (openCount_ > 0) {
        if (const auto next = plc_.NextReplyTime()) {
            sooner(*next * kUsPerMs);
        }
        // A reply already due waits for room on the line (POLLOUT), not for the clock.
        if (const auto next = toTool_.NextDueUs(); next && *next > nowUs) {
            sooner(*next);
        }
    }
    return wake;
}

void PtyServer::Serve(const ServeOptions& options) {
    options_ = options;
    if (options_.paceLine) {
        // Timed wake-ups may otherwise be rounded up by 50 us, which on a paced line
        // would be charged to the tool.
        (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    }
    lastActivityUs_ = NowUs();
    std::optional<std::uint64_t> completedAt;
    while (gStop == 0) {
        const std::uint64_t now = NowUs();
        if (plc_.TransferCompleted()) {
            transferDone_.store(true);
        }
        if (options_.exitAfterBurn) {
            if (plc_.TransferCompleted() && !completedAt) {
                completedAt = now;
            }
            if (untilStarted_.load()) {
                // A station asks a unit what it is before its burn and after it:
                // the serving ends once the new firmware has been asked and let go.
                if (completedAt && plc_.Mode() == PlcMode::Application && openCount_ == 0 &&
                    toTool_.Empty()) {
                    return;
                }
            } else if ((completedAt &&
                        (openCount_ == 0 || now - *completedAt >= kCompletionGraceUs) &&
                        toTool_.Empty()) ||
                       burnEnded_) {
                return;
            }
        }
        std::optional<std::uint64_t> wake = NextWakeUs(now);
        auto sooner = [&wake](std::uint64_t us) { wake = wake ? std::min(*wake, us) : us; };
        if (options_.idleTimeoutSeconds) {
            const std::uint64_t limit =
                lastActivityUs_ + std::uint64_t{*options_.idleTimeoutSeconds} * 1000000u;
            if (now >= limit) {
                return;
            }
            sooner(limit);
        }
        if (completedAt) {
            sooner(*completedAt + kCompletionGraceUs);
        }
        pollfd fds[3] = {{watch_, POLLIN, 0}, {stop_, POLLIN, 0}, {master_, POLLIN, 0}};
        if (openCount_ > 0 && toTool_.DueCount(now) > 0) {
            fds[2].events |= POLLOUT;
        }
        timespec timeout{};
        const timespec* limit = nullptr;
        if (wake) {
            std::uint64_t waitUs = *wake > now ? *wake - now : 0;
            if (options_.paceLine && toTool_.NextDueUs() == wake) {
                waitUs = waitUs > kPacedSpinUs ? waitUs - kPacedSpinUs : 0;
            }
            timeout.tv_sec = static_cast<time_t>(waitUs / 1000000u);
            timeout.tv_nsec = static_cast<long>(waitUs % 1000000u) * 1000L;
            limit = &timeout;
        }
        // With no slave open the master reports a hang-up without end: leave it out.
        const nfds_t count = openCount_ > 0 ? 3 : 2;
        const int ready = ppoll(fds, count, limit, nullptr);
        if ((ready < 0 && errno != EINTR) || (ready > 0 && (fds[1].revents & POLLIN) != 0)) {
            return;
        }
        const std::uint64_t after = NowUs();
        HandleWatchEvents(after);
        if (openCount_ > 0) {
            DrainMaster(after);
        }
        CollectReplies(after);
        WriteDue(after);
        NoteQuietLine();
    }
}

}  // namespace plcsim
