// A COM port's own settings, put back when the burn lets the port go for good.
// Between the burn's passes the port is closed and opened again (before the
// power-cycle or replug prompt); those closes leave the settings as the burn
// made them, as the window does. The settings kept are those of the first open.
// The PLC's USB pipe has no settings of its own and is never told here.
#pragma once

#include <mutex>
#include <optional>

#include "port/win32/win32_headers.h"

namespace norvane {

class PortRelease {
  public:
    // A link opened `handle`; its settings are read now, before the burn changes them.
    void Opened(HANDLE handle);
    // The link is closing `handle`: the settings go back if the port was let go.
    void Closing(HANDLE handle);
    // From now on the port is let go: back now on the one open, and at its close.
    void LetGo();

  private:
    std::mutex mutex_;
    std::optional<DCB> original_;
    HANDLE open_ = nullptr;
    bool letGo_ = false;
};

}  // namespace norvane
