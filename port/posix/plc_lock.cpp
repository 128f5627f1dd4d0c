#include "port/posix/plc_lock.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "burn/sha256.h"
#include "port/posix/file_kind.h"
#include "port/test_settings.h"

namespace norvane::posix {

namespace {

// A lock whose file went away between its open and its lock (its holder let it
// go and removed it) is taken again from the start, this often at most.
constexpr int kTakeAttempts = 5;
// A file name the system takes whatever the key: longer keys go by their digest.
constexpr std::size_t kLongestPlainName = 200;

std::string Errno(int error) {
    return std::strerror(error);
}

std::string MendFolder(const std::string& directory) {
    return "; the package makes " + directory +
           " at every start (systemd-tmpfiles --create norvane-fwupdate.conf, as root), "
           "a folder of root's and the dialout group's";
}

// The folder is root's or this user's, and nobody but its owner and its group
// may write it: otherwise any user could plant a lock there.
std::string FolderProblem(const struct stat& st, const std::string& directory) {
    if (!S_ISDIR(st.st_mode)) {
        return "the lock folder " + directory + " is " + FileKind(st.st_mode) +
               MendFolder(directory);
    }
    if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
        return "the lock folder " + directory + " belongs to user " + std::to_string(st.st_uid) +
               ", not to root: remove it" + MendFolder(directory);
    }
    if ((st.st_mode & S_IWOTH) != 0) {
        return "the lock folder " + directory + " may be written by every user" +
               MendFolder(directory);
    }
    return "";
}

// Made where it is missing (a build from the sources, no package): as root a
// folder of the dialout group's, as anyone else a folder of one's own.
void MakeFolder(const std::string& directory) {
    if (::geteuid() != 0) {
        (void)::mkdir(directory.c_str(), 0755);
        return;
    }
    if (::mkdir(directory.c_str(), 0700) != 0) {
        return;
    }
    group entry{};
    group* found = nullptr;
    char buffer[4096];
    const bool dialout =
        ::getgrnam_r("dialout", &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr;
    if (dialout && ::chown(directory.c_str(), 0, found->gr_gid) == 0) {
        (void)::chmod(directory.c_str(), 02775);
    } else {
        (void)::chmod(directory.c_str(), 0755);
    }
}

// The folder, opened without following a link; -1 with `problem` set.
int OpenFolder(const std::string& directory, bool make, struct stat& st, std::string& problem) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(directory.c_str(), flags);
    if (fd < 0 && errno == ENOENT && make) {
        MakeFolder(directory);
        fd = ::open(directory.c_str(), flags);
    }
    if (fd < 0) {
        const int error = errno;
        problem = error == ENOTDIR || error == ELOOP
                      ? "the lock folder " + directory + " is no folder" + MendFolder(directory)
                      : "the lock folder " + directory + " cannot be opened: " + Errno(error) +
                            MendFolder(directory);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !(problem = FolderProblem(st, directory)).empty()) {
        if (problem.empty()) {
            problem = "the lock folder " + directory + " cannot be looked at: " + Errno(errno);
        }
        (void)::close(fd);
        return -1;
    }
    return fd;
}

// A lock this program may trust: a regular file with one name, of root, of
// this user, or of the folder's group (which only its members can give it).
std::string FileProblem(const struct stat& st, const struct stat& folder, const std::string& path) {
    std::string what;
    if (!S_ISREG(st.st_mode)) {
        what = FileKind(st.st_mode);
    } else if (st.st_nlink != 1) {
        what = "a file with " + std::to_string(st.st_nlink) + " names";
    } else if (st.st_uid != 0 && st.st_uid != ::geteuid() &&
               !(st.st_gid == folder.st_gid && (folder.st_mode & S_IWGRP) != 0)) {
        what = "a file of user " + std::to_string(st.st_uid);
    } else {
        return "";
    }
    return path + " is " + what + ", not a lock this program made: remove it (as root)";
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The process whose flock() holds the file (`st`), from the kernel's table of
// locks: never what a lock file says of itself.
std::optional<PortHolder> FlockHolder(const struct stat& st) {
    std::ifstream table("/proc/locks");
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    for (std::string line; std::getline(table, line);) {
        std::istringstream words(line);
        std::string number, type, mode, access, file;
        long pid = 0;
        if (!(words >> number >> type) || type == "->" || type != "FLOCK" ||
            !(words >> mode >> access >> pid >> file) || file != wanted) {
            continue;
        }
        const std::string process = "/proc/" + std::to_string(pid);
        // Named only once it is seen alive; a holder in another process table
        // (a container) is told, unnamed.
        if (pid <= 0 || ::access(process.c_str(), F_OK) != 0) {
            return PortHolder{};
        }
        return PortHolder{static_cast<int>(pid), CommandLineOf(process)};
    }
    return std::nullopt;
}

bool Plain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

}  // namespace

std::string LockDirectory() {
    return TestSettingOr(TestSetting::LockDirectory, kLockDirectory);
}

std::string PlcLockFileName(const std::string& key) {
    std::string name;
    for (const char c : key) {
        if (Plain(c)) {
            name += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            name += escaped;
        }
    }
    if (name.size() > kLongestPlainName) {
        // No key begins so: its own prefix (usb-serial-, usb-path-, ...) comes first.
        name = "sha256-" + Sha256Hex(reinterpret_cast<const std::uint8_t*>(key.data()), key.size());
    }
    return name + ".lock";
}

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

std::optional<PortHolder> PlcLockHolder(const std::string& key, const std::string& directory) {
    if (key.empty()) {
        return std::nullopt;
    }
    struct stat st {};
    const std::string path = directory + "/" + PlcLockFileName(key);
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return FlockHolder(st);
}

PlcLock::Taken PlcLock::Take(const std::string& key, PortHolder& holder, std::string& problem,
                             const std::string& directory) {
    if (key.empty()) {
        problem = "the PLC's port cannot be looked at, so its lock cannot be named";
        return Taken::Refused;
    }
    struct stat folder {};
    const int dir = OpenFolder(directory, true, folder, problem);
    if (dir < 0) {
        return Taken::Refused;
    }
    const std::string name = PlcLockFileName(key);
    const std::string path = directory + "/" + name;
    for (int attempt = 0; attempt < kTakeAttempts; ++attempt) {
        // Looked at before it is opened: opening a device or a FIFO may change
        // it or wait for ever.
        struct stat st {};
        if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            !(problem = FileProblem(st, folder, path)).empty()) {
            break;
        }
        bool writable = true;
        const int open = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        int fd = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | open, 0660);
        if (fd < 0 && errno == EACCES) {
            writable = false;  // another user's: taken, then made anew as ours
            fd = ::openat(dir, name.c_str(), O_RDONLY | open);
        }
        if (fd < 0) {
            problem = "cannot make the lock " + path + ": " + Errno(errno) +
                      (errno == EROFS || errno == EACCES
                           ? " (this program must be allowed to write " + directory + ")"
                           : "");
            break;
        }
        if (::fstat(fd, &st) != 0 || !(problem = FileProblem(st, folder, path)).empty()) {
            (void)::close(fd);
            break;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            (void)::close(fd);
            if (error == EWOULDBLOCK) {
                holder = FlockHolder(st).value_or(PortHolder{});
                (void)::close(dir);
                return Taken::HeldElsewhere;
            }
            problem = "cannot lock " + path + ": " + Errno(error);
            break;
        }
        // Still the file the path names? Its last holder may have removed it
        // between our open and our lock; then the lock is taken again.
        struct stat now {};
        const bool current =
            ::fstatat(dir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(now, st);
        if (current && !writable && ::unlinkat(dir, name.c_str(), 0) != 0) {
            problem = "cannot replace the lock " + path + " of another user: " + Errno(errno);
            problem += " (this program must be allowed to write " + directory + ")";
            (void)::close(fd);
            break;
        }
        if (!current || !writable) {
            (void)::close(fd);
            continue;
        }
        // Its process id, for a person who looks; this program never reads it back.
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) == 0) {
            (void)!::pwrite(fd, pid.data(), pid.size(), 0);
        }
        directory_ = dir;
        fd_ = fd;
        name_ = name;
        return Taken::Yes;
    }
    if (problem.empty()) {
        problem = "the lock " + path + " keeps changing under this program";
    }
    (void)::close(dir);
    return Taken::Refused;
}

PlcLock::~PlcLock() {
    if (fd_ < 0) {
        return;
    }
    // Removed while it is still held, so that a program that opened it meanwhile
    // sees, once it has the lock, that it is gone and takes a new one.
    struct stat mine {};
    struct stat there {};
    if (::fstat(fd_, &mine) == 0 &&
        ::fstatat(directory_, name_.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(mine, there)) {
        (void)::unlinkat(directory_, name_.c_str(), 0);
    }
    (void)::close(fd_);
    (void)::close(directory_);
}

}  // namespace norvane::posix
