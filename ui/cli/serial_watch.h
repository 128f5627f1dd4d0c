// A station's watch of one serial port between burns: one mode query in the
// served model's frame at 9600 7E1, at most once a period, changing nothing; the
// port is closed again at once, so that the burn can open it.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace norvane::cli {

class SerialWatch {
  public:
    using Clock = std::chrono::steady_clock;

    // Asks the port when a period has passed since the last ask: true when a PLC
    // answered, false once `silentAsks` asks in a row went unanswered (the port
    // is empty), nothing when it is not time yet or not yet known.
    std::optional<bool> Ask(const std::string& port, Clock::time_point now,
                            std::chrono::seconds period, int silentAsks);

  private:
    Clock::time_point next_{};
    int silent_ = 0;
};

}  // namespace norvane::cli
