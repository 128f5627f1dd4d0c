// Which processes have a device open, so that "port busy" can say who holds it.
#pragma once

#include <string>
#include <vector>

namespace norvane::posix {

struct PortHolder {
    int pid = 0;
    std::string command;  // the process's command line (its short name where unreadable)
};

// "picocom /dev/ttyUSB0, pid 1234" for a person (the command line escaped: it is
// the process's own); "a process that cannot be seen from here" for pid 0.
std::string DescribeHolder(const PortHolder& holder);

// A process's whole command line, its words a space apart (its short name where
// the line cannot be read), from its folder of the process table.
std::string CommandLineOf(const std::string& processDir);

// Every process with an open descriptor on the device at `devicePath`, in
// ascending pid order. Processes whose descriptors this user may not look at
// are missed; an empty result therefore means "not known", not "nobody".
std::vector<PortHolder> FindPortHolders(const std::string& devicePath,
                                        const std::string& procRoot = "/proc");

}  // namespace norvane::posix
