#include "port/posix/port_holders.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "burn/untrusted_text.h"

namespace norvane::posix {

namespace {

namespace fs = std::filesystem;

bool SameFile(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) {
        return a.st_rdev == b.st_rdev;  // any node or link naming the same device
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsPid(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

bool HoldsFile(const fs::path& processDir, const struct stat& target) {
    // A process that ends meanwhile, or whose descriptors are not ours to
    // look at, ends the walk quietly.
    std::error_code ec;
    for (fs::directory_iterator fd(processDir / "fd", ec); !ec && fd != fs::directory_iterator();
         fd.increment(ec)) {
        struct stat st {};
        if (::stat(fd->path().c_str(), &st) == 0 && SameFile(st, target)) {
            return true;
        }
    }
    return false;
}

// All of a small file of the process table.
std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    return text;
}

}  // namespace

std::string DescribeHolder(const PortHolder& holder) {
    if (holder.pid == 0) {
        return "a process that cannot be seen from here";
    }
    const std::string pid = "pid " + std::to_string(holder.pid);
    return holder.command.empty() ? pid : ForPerson(holder.command) + ", " + pid;
}

std::string CommandLineOf(const std::string& processDir) {
    std::string command = ReadAll(fs::path(processDir) / "cmdline");
    while (!command.empty() && command.back() == '\0') {
        command.pop_back();
    }
    std::replace(command.begin(), command.end(), '\0', ' ');
    std::replace(command.begin(), command.end(), '\n', ' ');
    if (command.empty()) {
        command = ReadAll(fs::path(processDir) / "comm");
        while (!command.empty() && command.back() == '\n') {
            command.pop_back();
        }
    }
    return command;
}

std::vector<PortHolder> FindPortHolders(const std::string& devicePath,
                                        const std::string& procRoot) {
    std::vector<PortHolder> holders;
    struct stat target {};
    if (::stat(devicePath.c_str(), &target) != 0) {
        return holders;
    }
    std::error_code ec;
    for (fs::directory_iterator process(procRoot, ec); !ec && process != fs::directory_iterator();
         process.increment(ec)) {
        const std::string name = process->path().filename().string();
        if (!IsPid(name) || name.size() > 9 || !HoldsFile(process->path(), target)) {
            continue;
        }
        holders.push_back(PortHolder{std::stoi(name), CommandLineOf(process->path().string())});
    }
    std::sort(holders.begin(), holders.end(),
              [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return holders;
}

}  // namespace norvane::posix
