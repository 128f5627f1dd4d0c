// A port's own settings, put back when the burn lets the port go for good.
// Between the burn's passes the port is closed and opened again (before the
// replug or power-cycle prompt); those closes leave the settings as the burn
// made them, as the window does. The settings kept are those of the first open.
#pragma once

#include <termios.h>

#include <mutex>
#include <optional>

namespace norvane::posix {

class PortRelease {
  public:
    // A link opened `fd`, whose settings were `before` until it changed them.
    void Opened(int fd, const termios& before);
    // The link is closing `fd`: the settings go back if the port was let go.
    void Closing(int fd);
    // From now on the port is let go: back now on the one open, and at its close.
    void LetGo();

  private:
    std::mutex mutex_;
    std::optional<termios> original_;
    int open_ = -1;
    bool letGo_ = false;
};

}  // namespace norvane::posix
