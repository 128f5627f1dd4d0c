// Serves one simulated PLC on a pseudo-terminal: the tool opens the slave side as if it
// were a COM port or the PLC's USB tty. Opens and closes of the slave are watched, so a
// close and reopen counts as the replug or the power cycle the tool asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulated_plc.h"

namespace plcsim {

struct ServeOptions {
    bool exitAfterBurn = false;
    std::optional<std::uint32_t> idleTimeoutSeconds;
};

class PtyServer {
  public:
    explicit PtyServer(SimulatedPlc& plc);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal; false with `error` set when that fails.
    bool Open(std::string& error);
    const std::string& SlavePath() const { return slavePath_; }

    // Serves until an exit condition of `options` is met or a stop was requested.
    void Serve(const ServeOptions& options);

    // Safe to call from a signal handler.
    static void RequestStop();

  private:
    std::uint64_t NowMs() const;
    void HandleWatchEvents(std::uint64_t nowMs);
    void DrainMaster(std::uint64_t nowMs);
    void UpdateLineFromTermios(std::uint64_t nowMs);
    void FlushReplies(std::uint64_t nowMs);

    SimulatedPlc& plc_;
    int master_ = -1;
    int watch_ = -1;
    std::string slavePath_;
    int openCount_ = 0;
    bool everOpened_ = false;
    bool burnEnded_ = false;
    std::uint64_t lastActivityMs_ = 0;
    std::vector<std::uint8_t> pendingOut_;
};

}  // namespace plcsim
