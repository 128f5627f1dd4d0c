#include "port/posix/plc_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <thread>

namespace norvane::posix {

namespace {

// A holder that has just taken the lock writes its name a moment later.
constexpr int kHolderReads = 5;
constexpr std::chrono::milliseconds kHolderReadPause{10};

std::string FileName(const std::string& key) {
    std::string name = "norvane-fwupdate.";
    for (const char c : key.substr(0, 160)) {
        const bool plain =
            std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
        name += plain ? c : '_';
    }
    return name + ".lock";
}

int OpenLockFile(const std::string& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Opened without O_CREAT when it is there: a sticky directory refuses
        // that of another user's file where the system protects regular files.
        int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 && errno == EACCES) {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        }
        if (fd >= 0 || errno != ENOENT) {
            return fd;
        }
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            (void)::fchmod(fd, 0666);  // any user's burn takes it next
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

PortHolder ReadHolder(int fd) {
    PortHolder holder;
    for (int i = 0; i < kHolderReads; ++i) {
        char text[4096];
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        const std::string content(text, n > 0 ? static_cast<std::size_t>(n) : 0);
        const std::size_t space = content.find(' ');
        if (space != std::string::npos && content.back() == '\n') {
            holder.pid = std::atoi(content.substr(0, space).c_str());
            holder.command = content.substr(space + 1, content.size() - space - 2);
            return holder;
        }
        std::this_thread::sleep_for(kHolderReadPause);
    }
    return holder;
}

}  // namespace

std::string PlcLockKey(const std::optional<UsbIdentity>& usb, const std::string& device) {
    if (usb && !usb->serial.empty()) {
        return "usb-serial-" + usb->serial;
    }
    if (usb && !usb->path.empty()) {
        return "usb-path-" + usb->path;
    }
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) {
        return "";
    }
    if (!S_ISCHR(st.st_mode)) {
        return "file-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino);
    }
    return "dev-" + std::to_string(major(st.st_rdev)) + "-" + std::to_string(minor(st.st_rdev));
}

PlcLock::Taken PlcLock::Take(const std::string& key, PortHolder& holder,
                             const std::string& directory) {
    if (key.empty()) {
        return Taken::Unavailable;
    }
    const int fd = OpenLockFile(directory + "/" + FileName(key));
    if (fd < 0) {
        return Taken::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        if (held) {
            holder = ReadHolder(fd);
        }
        (void)::close(fd);
        return held ? Taken::HeldElsewhere : Taken::Unavailable;
    }
    const std::string name = std::to_string(::getpid()) + " " + CommandLineOf("/proc/self") + "\n";
    if (::ftruncate(fd, 0) == 0) {
        (void)!::pwrite(fd, name.data(), name.size(), 0);
    }
    fd_ = fd;
    key_ = key;
    return Taken::Yes;
}

std::optional<PortHolder> PlcLockHolder(const std::string& key, const std::string& directory) {
    PlcLock probe;
    PortHolder holder;
    if (probe.Take(key, holder, directory) != PlcLock::Taken::HeldElsewhere) {
        return std::nullopt;
    }
    return holder;
}

PlcLock::~PlcLock() {
    if (fd_ >= 0) {
        (void)::close(fd_);  // the kernel lifts the lock with the last descriptor
    }
}

}  // namespace norvane::posix
