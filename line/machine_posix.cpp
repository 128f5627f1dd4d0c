// The machine a line runs on, on Linux: ports from sysfs, termios links, PLC
// locks and socket claims, an O_APPEND record file, spawned burn processes and
// systemd's notifications.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>

#include "line/machine.h"
#include "port/posix/file_kind.h"
#include "port/posix/plc_lock.h"
#include "port/posix/port_factory.h"
#include "port/posix/port_listing.h"
#include "port/posix/usb_port_follower.h"

namespace norvane::line::machine {

namespace {

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The burn's thread opens ports while the session may ask what was opened (for
// the record of an interrupted burn): the answers are taken under a lock.
class PosixPortOpening : public PortOpening {
  public:
    PosixPortOpening(const std::string& selector, std::chrono::seconds replugTimeout, PortUse use)
        : opener_(selector, replugTimeout, posix::kSysfsRoot,
                  use == PortUse::Burn ? posix::PortUse::Burn : posix::PortUse::Ask) {}

    LinkPtr OpenSerial(const std::string& name) override {
        return Noted(opener_.OpenSerial(name, &pending_));
    }
    LinkPtr OpenUsbPlc() override { return Noted(opener_.OpenUsbPlc(&pending_)); }
    std::string LastFailure() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return posix::DescribeOpenFailure(failure_);
    }
    std::string LastFailureHint() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return posix::OpenFailureHint(failure_);
    }
    std::string Device() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return device_;
    }
    std::string UsbPath() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return usb_ ? usb_->path : "";
    }
    std::string UsbSerial() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return usb_ ? usb_->serial : "";
    }
    void OnSearch(std::function<void(std::int64_t)> listener) override {
        opener_.OnSearch(std::move(listener));
    }
    void LetGo() override { opener_.LetGo(); }
    bool AwaitReplug(std::chrono::seconds limit,
                     const std::function<void(std::int64_t)>& told) override {
        return opener_.AwaitReplug(limit, told);
    }

  private:
    LinkPtr Noted(LinkPtr link) {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = pending_;
        device_ = opener_.device();
        usb_ = opener_.identity();
        return link;
    }

    posix::PortOpener opener_;
    posix::OpenFailure pending_;  // the opener's, until noted
    mutable std::mutex mutex_;
    posix::OpenFailure failure_;
    std::string device_;
    std::optional<posix::UsbIdentity> usb_;
};

// Writes `input` from `done` on to `fd` and closes it; a child that stops
// reading ends it early.
void Feed(int fd, const std::vector<std::uint8_t>* input, std::size_t done) {
    while (done < input->size()) {
        const ssize_t n = write(fd, input->data() + done, input->size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    close(fd);
}

// Puts as much of `input` into the pipe `fd` as it takes now, widened to hold
// it all where the system allows: an image fits whole, and a station starting
// many burns then needs no thread to feed each. How much went in.
std::size_t FillPipe(int fd, const std::vector<std::uint8_t>& input) {
    const long capacity = fcntl(fd, F_GETPIPE_SZ);
    if (capacity >= 0 && static_cast<std::size_t>(capacity) < input.size() &&
        input.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        (void)fcntl(fd, F_SETPIPE_SZ, static_cast<int>(input.size()));
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        return 0;
    }
    std::size_t done = 0;
    while (done < input.size()) {
        const ssize_t n = write(fd, input.data() + done, input.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    (void)fcntl(fd, F_SETFL, flags);
    return done;
}

class PosixChild : public Child {
  public:
    PosixChild(pid_t pid, int out, int in, const std::vector<std::uint8_t>& input)
        : pid_(pid), out_(out) {
        if (in < 0) {
            return;
        }
        const std::size_t filled = FillPipe(in, input);
        if (filled == input.size()) {
            close(in);
        } else {
            feeder_ = std::thread(Feed, in, &input, filled);
        }
    }
    ~PosixChild() override {
        if (feeder_.joinable()) {
            feeder_.join();
        }
        close(out_);
        if (status_ == kRunning) {
            kill(pid_, SIGKILL);
            Reap();
        }
    }
    std::size_t Read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t n = read(out_, buffer, size);
            if (n >= 0) {
                return static_cast<std::size_t>(n);
            }
            if (errno != EINTR) {
                return 0;
            }
        }
    }
    void Interrupt() override {
        if (status_ == kRunning) {
            kill(pid_, SIGINT);
        }
    }
    void HangUp() override {
        if (status_ == kRunning) {
            kill(pid_, SIGHUP);
        }
    }
    void Kill() override {
        if (status_ == kRunning) {
            kill(-pid_, SIGKILL);  // its process group: it and what it started
        }
    }
    int Wait() override { return Reap(); }

  private:
    int Reap() {
        if (status_ != kRunning) {
            return status_;
        }
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

    static constexpr int kRunning = -2;
    pid_t pid_;
    int out_;
    int status_ = kRunning;
    std::thread feeder_;
};

}  // namespace

namespace {

PortRow RowOf(const posix::PortEntry& entry) {
    PortRow row{entry.name, entry.plcUsb ? "plc-usb" : "serial", "", "", entry.device};
    if (entry.usb) {
        row.usbSerial = entry.usb->serial;
        row.usbPath = entry.usb->path;
        if (entry.plcUsb) {
            row.name = "usb-path:" + entry.usb->path;
        }
    }
    return row;
}

class PosixPlcUsbFollower : public PlcUsbFollower {
  public:
    explicit PosixPlcUsbFollower(std::unique_ptr<posix::TtyEvents> events)
        : follower_(std::move(events), posix::kSysfsRoot) {}
    bool Next(std::vector<PortRow>& plcs) override {
        std::vector<posix::PortEntry> ports;
        if (!follower_.Next(ports)) {
            return false;
        }
        plcs.clear();
        for (const posix::PortEntry& entry : ports) {
            if (entry.plcUsb) {
                plcs.push_back(RowOf(entry));
            }
        }
        return true;
    }
    void Stop() override { follower_.Stop(); }

  private:
    posix::UsbPortFollower follower_;
};

}  // namespace

std::vector<PortRow> ListPorts() {
    std::vector<PortRow> rows;
    for (const posix::PortEntry& entry : posix::ListPorts()) {
        rows.push_back(RowOf(entry));
    }
    return rows;
}

std::unique_ptr<PlcUsbFollower> FollowPlcUsb(std::string& error) {
    std::unique_ptr<posix::TtyEvents> events = posix::TtyEvents::Open(posix::kSysfsRoot, error);
    if (!events) {
        return nullptr;
    }
    return std::make_unique<PosixPlcUsbFollower>(std::move(events));
}

std::vector<std::string> WindowPortNames() {
    return posix::ListWindowPortNames();
}

std::unique_ptr<PortOpening> MakePortOpening(const std::string& selector,
                                             std::chrono::seconds replugTimeout, PortUse use) {
    return std::make_unique<PosixPortOpening>(selector, replugTimeout, use);
}

PortCheck CheckPort(const std::string& selector) {
    const std::string device = posix::ResolvePortSelector(selector);
    if (device.empty()) {
        return {};
    }
    const std::optional<posix::PortEntry> entry = posix::UsbPortEntryOf(device);
    const std::optional<posix::UsbIdentity> usb = entry ? entry->usb : std::nullopt;
    const bool plcUsb = entry && entry->plcUsb && entry->device == device;
    return PortCheck{posix::PlcLockKey(usb, device), posix::IsOwnTerminal(device), plcUsb, device,
                     usb ? usb->path : "",           usb ? usb->serial : ""};
}

std::string PlcHolder(const std::string& selector) {
    const std::string device = posix::ResolvePortSelector(selector);
    if (device.empty()) {
        return "";
    }
    const std::optional<posix::PortHolder> holder =
        posix::PlcLockHolder(posix::PlcLockKey(posix::IdentityOfTty(device), device));
    // This process asks a serial port for a PLC now and then, under its lock.
    return holder && holder->pid != getpid() ? posix::DescribeHolder(*holder) : "";
}

bool PortExists(const std::string& selector) {
    const std::string device = posix::ResolvePortSelector(selector);
    struct stat st {};
    return !device.empty() && stat(device.c_str(), &st) == 0;
}

namespace {

class LockClaim : public SocketClaim {
  public:
    posix::PlcLock lock;
};

}  // namespace

std::unique_ptr<SocketClaim> ClaimSocket(const std::string& socket, std::string& holder) {
    // Every name of one serial port claims the same port.
    const std::string device = posix::ResolvePortSelector(socket);
    const std::string key = posix::ParsePortSelector(socket).kind == posix::PortSelector::Kind::Node
                                ? posix::PlcLockKey(std::nullopt, device)
                                : "";
    auto claim = std::make_unique<LockClaim>();
    posix::PortHolder who;
    std::string problem;
    if (claim->lock.Take("watch-" + (key.empty() ? socket : key), who, problem) ==
        posix::PlcLock::Taken::HeldElsewhere) {
        holder = posix::DescribeHolder(who);
        return nullptr;
    }
    return claim;
}

namespace {

std::string AgainPath(const std::string& usbSerial) {
    return posix::LockDirectory() + "/" + posix::PlcLockFileName("again-" + usbSerial);
}

}  // namespace

bool AskAgain(const std::string& usbSerial, std::string& error) {
    // A new file or none: whatever already has the name (a link among them) is
    // never opened.
    const int fd = open(AgainPath(usbSerial).c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0660);
    if (fd < 0 && errno != EEXIST) {
        error = Errno("cannot leave the request in " + posix::LockDirectory());
        return false;
    }
    if (fd >= 0) {
        close(fd);
    }
    return true;
}

bool AgainAsked(const std::string& usbSerial) {
    return !usbSerial.empty() && unlink(AgainPath(usbSerial).c_str()) == 0;
}

void TellServiceManager(const std::string& state) {
    (void)sd_notify(0, state.c_str());
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    return name;
}

namespace {

// What a path is when it is no regular file; empty when it is one.
std::string NotAFile(mode_t mode) {
    const std::string kind = posix::FileKind(mode);
    return kind.empty() ? kind : "is " + kind;
}

// Reads `fd` to its end, or until `bytes` holds more than `limit`.
bool ReadAll(int fd, std::uint64_t limit, std::vector<std::uint8_t>& bytes) {
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > limit) {
            return true;
        }
    }
}

}  // namespace

bool FilesIn(const std::string& dir, std::vector<std::string>& names,
             std::vector<std::string>& skipped, std::string& error) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = fd < 0 ? nullptr : fdopendir(fd);
    if (listing == nullptr) {
        error = Errno("cannot read the folder " + dir);
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    names.clear();
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        // A link is never followed out of the folder: what is burnt is what is in it.
        struct stat st {};
        if (fstatat(dirfd(listing), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            skipped.push_back(name + ": " + std::strerror(errno));
        } else if (S_ISLNK(st.st_mode)) {
            skipped.push_back(name + ": a link, not a file of the folder");
        } else if (const std::string what = NotAFile(st.st_mode); !what.empty()) {
            skipped.push_back(name);
            skipped.back().append(" ").append(what);
        } else {
            names.push_back(name);
        }
    }
    closedir(listing);
    std::sort(names.begin(), names.end());
    return true;
}

bool ReadWholeFile(const std::string& path, std::uint64_t limit, std::vector<std::uint8_t>& bytes,
                   std::uint64_t& size, std::string& error) {
    bytes.clear();
    if (path == "-") {
        if (!ReadAll(STDIN_FILENO, limit, bytes)) {
            error = Errno("cannot read the image from standard input");
            return false;
        }
        size = bytes.size();
        if (size > limit) {
            bytes.clear();
        }
        return true;
    }
    struct stat before {};
    if (stat(path.c_str(), &before) != 0) {
        error = errno == ENOENT ? path + " does not exist" : Errno("cannot read " + path);
        return false;
    }
    if (const std::string what = NotAFile(before.st_mode); !what.empty()) {
        error = path + " " + what + ", not a firmware file";
        return false;
    }
    size = static_cast<std::uint64_t>(before.st_size);
    if (size > limit) {
        return true;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = Errno("cannot read " + path);
        return false;
    }
    struct stat now {};
    const bool same = fstat(fd, &now) == 0 && now.st_dev == before.st_dev &&
                      now.st_ino == before.st_ino && S_ISREG(now.st_mode);
    const bool read = same && ReadAll(fd, limit, bytes);
    const int readError = errno;
    close(fd);
    if (!read) {
        errno = same ? readError : EAGAIN;
        error = same ? Errno("cannot read " + path) : path + " changed while it was opened";
        return false;
    }
    size = bytes.size();
    if (size > limit) {
        bytes.clear();
    }
    return true;
}

namespace {

// A writer that holds the record alone may cut back a line that went in only
// partly; it waits its turn this long at most (a writer holds it for one write
// and a sync), then writes without it.
constexpr auto kRecordTurnWait = std::chrono::seconds(2);

// The record, opened to append to it (and to read its last byte), made 0640
// where it is not there yet: never through a link (a link planted in a shared
// folder could make this program write a file of its own choosing), never a
// device or a FIFO, which are not even opened; -1 with `error` set.
int OpenRecord(const std::string& path, std::string& error) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = S_ISLNK(st.st_mode)
                    ? "the record " + path + " is a link: name the file itself"
                    : "the record " + path + " " + NotAFile(st.st_mode) + ", not a file";
        return -1;
    }
    const int fd =
        open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0640);
    if (fd < 0) {
        error = errno == ELOOP ? "the record " + path + " is a link: name the file itself"
                               : Errno("cannot open the record " + path);
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "the record " + path + " is no regular file";
        close(fd);
        return -1;
    }
    return fd;
}

bool TakeTurn(int fd) {
    const auto until = std::chrono::steady_clock::now() + kRecordTurnWait;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

bool CanAppend(const std::string& path, std::string& error) {
    const int fd = OpenRecord(path, error);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

// One write() on an O_APPEND descriptor lands whole at the end of the file, so
// the lines of burns that end together, in this run or another, never mix. A
// record that does not end in a newline (a write that stopped short: a full
// disk, a power loss) gets one first, so that this line is whole whatever came
// before it; a line this write put in only partly is cut back.
bool AppendLine(const std::string& path, const std::string& line, std::string& error) {
    const int fd = OpenRecord(path, error);
    if (fd < 0) {
        return false;
    }
    const bool alone = TakeTurn(fd);
    struct stat before {};
    std::string text = line + "\n";
    char last = '\n';
    if (fstat(fd, &before) == 0 && before.st_size > 0 &&
        pread(fd, &last, 1, before.st_size - 1) == 1 && last != '\n') {
        text.insert(0, 1, '\n');
    }
    ssize_t written = 0;
    do {
        written = write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    bool ok = written == static_cast<ssize_t>(text.size());
    if (!ok) {
        error = written < 0 ? Errno("cannot write the record " + path)
                            : "the record " + path + " took only part of the line (disk full?)";
        if (written > 0 && alone) {
            (void)!ftruncate(fd, before.st_size);
        }
    } else if (fsync(fd) != 0) {
        error = Errno("cannot sync the record " + path);
        ok = false;
    }
    close(fd);  // and with it the turn
    return ok;
}

bool ReadFrom(const std::string& path, std::uint64_t offset, std::size_t limit,
              std::vector<char>& bytes, std::string& fileId, std::string& error) {
    bytes.clear();
    fileId.clear();
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        error = Errno("cannot read " + path);
        return errno == ENOENT;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + " " + NotAFile(st.st_mode);
        return false;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = Errno("cannot read " + path);
        return false;
    }
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    fileId = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    bytes.resize(limit);
    std::size_t got = 0;
    while (regular && got < limit) {
        const ssize_t n =
            pread(fd, bytes.data() + got, limit - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    bytes.resize(got);
    if (!regular) {
        error = path + " is no regular file";
    }
    return regular;
}

namespace {

// This program's path as it was started, read before anything could replace the
// file (a package upgrade puts a new one in its place and the old one's path
// then reads "... (deleted)").
std::string ProgramPath() {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, static_cast<std::size_t>(length)) : "";
}
const std::string kProgramPath = ProgramPath();

}  // namespace

// A burn runs the program this process runs, whatever has since been put at its
// path: /proc/self/exe names the running program's own file, even one replaced
// under it; the child's command line keeps the path it was started by.
std::unique_ptr<Child> StartChild(const std::vector<std::string>& args,
                                  const std::vector<std::uint8_t>& input, std::string& error) {
    if (kProgramPath.empty()) {
        error = "cannot find this program";
        return nullptr;
    }
    std::vector<std::string> words{kProgramPath};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    int pipeFds[2];
    int inFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC) != 0 || (!input.empty() && pipe2(inFds, O_CLOEXEC) != 0)) {
        error = Errno("cannot make a pipe");
        return nullptr;
    }
    // The child: a process group of its own, so that it hears Ctrl-C and a
    // hang-up only from the parent; standard input from nowhere (the parent
    // answers no prompt), standard output into the pipe, standard error shared.
    // Spawned, not forked: a station holding many burns' threads would copy its
    // whole address space's page tables for every burn it starts.
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    if (inFds[0] >= 0) {
        posix_spawn_file_actions_adddup2(&actions, inFds[0], STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    // Nothing else goes with it, not even until its exec: a port another thread
    // here has open (an ask, an identify) would otherwise stay locked in its copy
    // after that thread closed it, and the burn of that port find it busy.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, "/proc/self/exe", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        error = std::string("cannot start a burn: ") + std::strerror(spawned);
        for (const int fd : {pipeFds[0], pipeFds[1], inFds[0], inFds[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        return nullptr;
    }
    close(pipeFds[1]);
    if (inFds[0] >= 0) {
        close(inFds[0]);
    }
    return std::make_unique<PosixChild>(pid, pipeFds[0], inFds[1], input);
}

}  // namespace norvane::line::machine
