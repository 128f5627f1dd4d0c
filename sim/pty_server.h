// Serves one simulated PLC on a pseudo-terminal: the tool opens the slave side as if it
// were a COM port or the PLC's USB tty. Opens and closes of the slave are watched, so a
// close and reopen counts as the replug or the power cycle the tool asked for.
//
// The line can be paced: every byte then takes the time the speed the tool set gives
// it, in both directions, and the PLC can take a programming time per block and per
// erase unit, to the microsecond. The line is measured either way (line_meter.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "line_meter.h"
#include "simulated_plc.h"
#include "wire_direction.h"

namespace plcsim {

struct ServeOptions {
    bool exitAfterBurn = false;
    std::optional<std::uint32_t> idleTimeoutSeconds;
    bool paceLine = false;           // bytes take their time on the wire, both ways
    std::uint32_t blockWriteUs = 0;  // the PLC's time to program one block
    std::uint32_t eraseUnitUs = 0;   // the PLC's time to erase one unit
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

    // What the line saw; read it after Serve has returned.
    const LineFigures& Figures() const { return meter_.Figures(); }

    // Ends Serve of this server; safe to call from any thread.
    void Stop();
    // With exitAfterBurn: the serving ends only once the burnt PLC has restarted
    // into its new firmware and that line was closed (a station's proof); any
    // other close leaves it serving. Safe to call from any thread.
    void ServeUntilStarted() { untilStarted_.store(true); }
    // A burn's transfer has ended (seen by the serving, within a wake-up of it).
    bool TransferDone() const { return transferDone_.load(); }

    // Ends Serve of every server; safe to call from a signal handler.
    static void RequestStop();

  private:
    std::uint64_t NowUs() const;
    void HandleWatchEvents(std::uint64_t nowUs);
    void DrainMaster(std::uint64_t nowUs);
    void UpdateLineFromTermios(std::uint64_t nowUs);
    void DeliverToPlc(const std::uint8_t* bytes, std::size_t count, std::uint64_t nowUs);
    std::uint64_t RequestArrivalUs() const;
    void CollectReplies(std::uint64_t nowUs);
    void WriteDue(std::uint64_t nowUs);
    void NoteQuietLine();
    std::optional<std::uint64_t> NextWakeUs(std::uint64_t nowUs) const;

    SimulatedPlc& plc_;
    ServeOptions options_;
    int master_ = -1;
    int watch_ = -1;
    int stop_ = -1;  // an eventfd that Stop() makes readable
    std::string slavePath_;
    int openCount_ = 0;
    bool everOpened_ = false;
    bool burnEnded_ = false;
    std::atomic<bool> untilStarted_{false};
    std::atomic<bool> transferDone_{false};
    std::uint64_t lastActivityUs_ = 0;
    double characterUs_ = 0;  // at the speed the tool set last

    double requestArrivesUs_ = 0;  // when the tool's last byte reaches the PLC
    WireDirection toTool_;         // replies not yet at the tool (on the wire, or the PLC busy)
    std::uint64_t plcBusyUntilUs_ = 0;
    std::uint64_t lastReplyWrittenUs_ = 0;
    Exchange lastRequest_ = Exchange::Any;
    LineMeter meter_;
};

}  // namespace plcsim
