// USB sockets for the programs under test: a fake device tree and a folder of
// device nodes (links to the simulated PLCs' pseudo-terminals), which the
// programs read through their two test settings. A PLC is plugged into a socket
// and pulled out of it as a technician would, and known by its socket and serial
// number, as a real one is; a pseudo-terminal's number, which the next one takes
// as soon as it is closed, is never what finds it.
#pragma once

#include <string>
#include <vector>

#include "fake_sysfs.h"

namespace norvane::test {

class FakeUsbSockets {
  public:
    FakeUsbSockets();
    ~FakeUsbSockets();
    FakeUsbSockets(const FakeUsbSockets&) = delete;
    FakeUsbSockets& operator=(const FakeUsbSockets&) = delete;

    // The PLC on pseudo-terminal `pty` into USB socket `socket` ("1-2"), its tty
    // named `tty` ("ttyACM0"), with `serial` (empty: none) as its USB serial number.
    void Plug(const std::string& socket, const std::string& tty, const std::string& pty,
              const std::string& serial = "");
    void Unplug(const std::string& socket);

    // NAME=value settings that point a program at these sockets, and at a lock
    // folder of their own: the sockets of a machine of their own, whose names
    // other tests running beside them use too.
    std::vector<std::string> Environment() const;
    const std::string& LockFolder() const { return locks_; }

  private:
    FakeSysfs tree_;
    std::string dev_;
    std::string locks_;
    std::vector<std::pair<std::string, std::string>> plugged_;  // socket, tty
};

}  // namespace norvane::test
