// A simulated PLC served on a pseudo-terminal by a thread of this process, for the
// tests and benchmarks that run the built programs against it: the program opens
// SlavePath(), and once the serving has ended the PLC can be asked what it received.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "pty_server.h"
#include "simulated_plc.h"

namespace plcsim {

class ServedPlc {
  public:
    // A pseudo-terminal is always 8N1, so only the speed is checked; a close and
    // reopen of the line is the replug or power cycle the tool asked for.
    explicit ServedPlc(PlcConfig config);
    ~ServedPlc();  // stops the serving if it still runs
    ServedPlc(const ServedPlc&) = delete;
    ServedPlc& operator=(const ServedPlc&) = delete;

    // Opens the pseudo-terminal and starts serving; false with `error` set.
    bool Start(const ServeOptions& options, std::string& error);
    const std::string& SlavePath() const { return server_.SlavePath(); }

    // Waits until the serving ends by itself (an exit condition of the options).
    void Join();
    // Ends the serving now and waits for it.
    void Stop();
    // See PtyServer::ServeUntilStarted.
    void ServeUntilStarted() { server_.ServeUntilStarted(); }
    bool TransferDone() const { return server_.TransferDone(); }

    // Read these once the serving has ended.
    SimulatedPlc& Plc() { return plc_; }
    const LineFigures& Figures() const { return server_.Figures(); }

  private:
    SimulatedPlc plc_;
    PtyServer server_;
    std::thread thread_;
};

}  // namespace plcsim
