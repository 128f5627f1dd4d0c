#include "peer_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "child_process.h"
#include "test_image.h"

namespace norvane::bench {

namespace {

constexpr std::uint32_t kPeerBlock = 128;
long long MonotonicNs() {
    return static_cast<long long>(test::MonotonicSeconds() * 1e9);
}

constexpr int kPollEveryMs = 2;
constexpr long long kStallNs = 100000000;  // a gap this long is a time-out, not a block
constexpr char kBlockMark[] = "Blocks received:";
constexpr long long kStartGraceNs = 25000000000LL;  // two of the receiver's time-outs and more

bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string candidate = dirs.substr(at, end - at) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

std::uint32_t Count(const std::string& text, const std::string& word) {
    std::uint32_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++n;
    }
    return n;
}

// The receiver's progress messages ("Blocks received: N", one per block) as they come,
// each with the time it was read: the peer's pace, its stalls left out.
class Progress {
  public:
    explicit Progress(int fd) : fd_(fd) {}

    // Reads what is there; false once the receiver has closed its end.
    bool Read() {
        char buf[4096];
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) {
            return false;
        }
        const long long now = MonotonicNs();
        const std::size_t before = Count(text_, kBlockMark);
        text_.append(buf, static_cast<std::size_t>(n));
        const std::size_t blocks = Count(text_, kBlockMark) - before;
        if (blocks > 0) {
            if (lastNs_ != 0 && now - lastNs_ < kStallNs) {
                movingNs_ += now - lastNs_;
                movingBlocks_ += blocks;
            }
            lastNs_ = now;
        }
        return true;
    }

    int Fd() const { return fd_; }
    const std::string& Text() const { return text_; }
    double MovingSeconds() const { return static_cast<double>(movingNs_) / 1e9; }
    std::uint64_t MovingBlocks() const { return movingBlocks_; }

  private:
    int fd_;
    std::string text_;
    long long lastNs_ = 0;
    long long movingNs_ = 0;
    std::uint64_t movingBlocks_ = 0;
};

std::uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

void WriteSource(const std::string& path, std::uint32_t blocks) {
    const std::vector<std::uint8_t> data = plcsim::TestImage(std::size_t{blocks} * kPeerBlock);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
}

// One start of the pair; `startGraceNs` 0: no restart when no block comes.
PeerRun RunPair(std::uint32_t blocks, long long deadlineNs, long long startGraceNs,
                const std::string& workDir) {
    PeerRun run;
    // rx takes only plain file names (its restricted mode), so both run in workDir.
    const std::string sourceName = "peer-source.bin";
    const std::string targetName = "peer-target.bin";
    WriteSource(workDir + "/" + sourceName, blocks);
    unlink((workDir + "/" + targetName).c_str());

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        run.error = "cannot create a pseudo-terminal";
        return run;
    }
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios t{};
    int progressPipe[2] = {-1, -1};
    if (slave < 0 || tcgetattr(slave, &t) != 0 || pipe(progressPipe) != 0) {
        close(master);
        run.error = "cannot open the pseudo-terminal's slave";
        return run;
    }
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);

    using Output = test::ChildProcess::Setup::Output;
    test::ChildProcess::Setup receiver;
    receiver.output = Output::Wired;
    receiver.workDir = workDir;
    receiver.stdinFd = master;
    receiver.stdoutFd = master;
    receiver.stderrFd = progressPipe[1];
    test::ChildProcess::Setup sender;
    sender.output = Output::Wired;
    sender.workDir = workDir;
    sender.stdinFd = slave;
    sender.stdoutFd = slave;
    sender.logPath = workDir + "/peer-sx.log";

    const long long start = MonotonicNs();
    // Twice verbose: one "Blocks received" line per block, the peer's pace. The
    // receiver asks for the first block.
    test::ChildProcess rx({"rx", "-c", "-vv", targetName}, receiver);
    test::ChildProcess sx({"sx", "-q", sourceName}, sender);
    close(progressPipe[1]);
    Progress progress(progressPipe[0]);
    test::ChildProcess* pair[2] = {&sx, &rx};
    bool done[2] = {!sx.Started(), !rx.Started()};
    bool open = true;
    for (;;) {
        const long long now = MonotonicNs();
        if ((done[0] && done[1]) || now >= deadlineNs) {
            break;
        }
        if (startGraceNs > 0 && now - start >= startGraceNs &&
            Count(progress.Text(), kBlockMark) == 0) {
            run.failedStarts = 1;
            break;
        }
        pollfd p{progress.Fd(), POLLIN, 0};
        if (open && poll(&p, 1, kPollEveryMs) > 0) {
            open = progress.Read();
        } else if (!open) {
            poll(nullptr, 0, kPollEveryMs);
        }
        for (int i = 0; i < 2; ++i) {
            done[i] = done[i] || !pair[i]->Running();
        }
    }
    run.wallSeconds = static_cast<double>(MonotonicNs() - start) / 1e9;
    for (test::ChildProcess* child : pair) {
        if (child->Running()) {
            child->WaitExit(0);  // the time is up: it is ended
        }
    }
    while (open && progress.Read()) {
    }
    close(progressPipe[0]);
    close(slave);
    close(master);
    std::ofstream(workDir + "/peer-rx.log") << progress.Text();

    run.blocksMoved = FileSize(workDir + "/" + targetName) / kPeerBlock;
    run.receiverTimeouts = Count(progress.Text(), "TIMEOUT");
    run.movingSeconds = progress.MovingSeconds();
    run.movingBlocks = progress.MovingBlocks();
    run.completed = done[0] && done[1] && sx.Result().exitStatus == 0 &&
                    rx.Result().exitStatus == 0 && run.blocksMoved >= blocks;
    return run;
}

}  // namespace

PeerRun RunPeer(std::uint32_t blocks, double capSeconds, const std::string& workDir) {
    if (!OnPath("sx") || !OnPath("rx")) {
        PeerRun run;
        run.error = "sx and rx (Debian package lrzsz) are not installed";
        return run;
    }
    const long long deadline = MonotonicNs() + static_cast<long long>(capSeconds * 1e9);
    std::uint32_t failedStarts = 0;
    for (;;) {
        // The last start that still fits gets the rest of the time, however it goes.
        const bool last = deadline - MonotonicNs() < 2 * kStartGraceNs;
        PeerRun run = RunPair(blocks, deadline, last ? 0 : kStartGraceNs, workDir);
        if (run.failedStarts == 0 || !run.error.empty()) {
            run.failedStarts = failedStarts;
            return run;
        }
        ++failedStarts;
    }
}

}  // namespace norvane::bench
