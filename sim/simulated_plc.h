// A PLC on the other end of the link, for tests and for the standalone simulator. It
// takes the tool's bytes, answers as the PLC's application or bootloader would, keeps a
// flash with erase units, and records everything it received.
//
// Time is the caller's: every call carries the current time in ms (virtual in tests,
// monotonic in the standalone program). Replies are queued with the time at which they
// become available. Not thread-safe: one thread drives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fault_plan.h"
#include "sim_flash.h"
#include "sim_models.h"
#include "sim_types.h"

namespace plcsim {

enum class NoiseMode : std::uint8_t {
    Corrupt,  // one reply byte replaced by a random one
    Insert,   // one to three random bytes inserted into the reply
};

struct PlcConfig {
    std::string model = "QB7";
    PlcMode initialMode = PlcMode::Application;  // Application or Bootloader

    std::uint16_t d1386 = 0;
    std::uint16_t d1001 = 0;
    std::uint16_t d1148 = 0;
    std::uint8_t appVersion = 0x20;    // the bootloader version as the application reports it
    std::uint8_t bootVersionA = 0x02;  // the two bytes the bootloader sends for "VERSION"
    std::uint8_t bootVersionB = 0x00;
    std::optional<std::uint16_t> appTypeId;   // reported instead of the model's own
    std::optional<std::uint16_t> bootTypeId;  // reported instead of the model's own

    bool runMode = false;         // the application refuses with a NAK of class 1
    bool writeProtected = false;  // every block is refused with 0x16
    bool answerWake = false;      // the application answers the wake frame (11 characters)
    bool attached = true;         // false: nothing ever answers
    bool onlyOwnUnit = false;     // silent, not refusing, to a request for another unit byte

    std::uint64_t restartDelayMs = 500;       // in-place restart into the bootloader
    std::uint64_t replyLatencyMs = 0;         // added to every reply
    std::uint64_t eraseTimeMs = 0;            // per erased unit
    std::uint64_t flashWriteTimeMs = 0;       // per programmed block
    bool paceLine = false;                    // each reply byte takes 10 bit times (serial models)
    std::uint64_t interByteTimeoutMs = 1000;  // an unfinished request older than this is dropped
    bool reopenIsReconnect = true;  // close + reopen of the link counts as replug / power cycle
    bool newFirmwareStarts = true;  // false: after its burn it comes back in its bootloader
    bool checkFraming = true;       // false: check only the baud (a pseudo-terminal is 8N1)

    std::optional<std::uint32_t> noiseSeed;  // set: a noisy line
    std::uint32_t noisePercent = 10;         // share of replies that the noise hits
    NoiseMode noiseMode = NoiseMode::Corrupt;

    FaultPlan faults;
};

struct RequestRecord {
    Exchange kind;
    std::vector<std::uint8_t> bytes;
    std::uint64_t atMs;
    PlcMode mode;
    bool lineOk;  // the line settings were the ones the PLC listens at
};

// A reply the noisy line changed: which request it answered and its bytes before
// and after.
struct NoiseHit {
    Exchange kind;
    std::size_t request;  // index into Requests()
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> after;
};

struct LineChange {
    LineState line;
    std::uint64_t atMs = 0;
};

struct SimCounters {
    std::uint32_t eraseCommands = 0;  // bootloader units erased
    std::uint32_t eraseRefused = 0;   // "ERASE" past the end of the flash
    std::uint32_t blocksWritten = 0;
    std::uint32_t duplicates = 0;       // repeated blocks acknowledged without writing
    std::uint32_t naksSent = 0;         // 0x15 bytes and NAK frames
    std::uint32_t writeErrorsSent = 0;  // 0x16 bytes
    std::uint32_t badFrames = 0;        // frames with a bad LRC or bad hex
    std::uint32_t garbageBytes = 0;     // bytes that formed no request
    std::uint32_t droppedBytes = 0;     // bytes that arrived while the PLC was not listening
    std::uint32_t speedViolations = 0;
    std::uint32_t handovers = 0;  // application to bootloader
    std::uint32_t noiseHits = 0;
    bool transferCompleted = false;
};

class SimulatedPlc {
  public:
    // Throws std::invalid_argument for a model name that is not known.
    explicit SimulatedPlc(PlcConfig config);

    void Receive(const std::uint8_t* data, std::size_t count, std::uint64_t nowMs);
    std::size_t Transmit(std::uint8_t* out, std::size_t max, std::uint64_t nowMs);
    std::optional<std::uint64_t> NextReplyTime() const;
    void AdvanceTo(std::uint64_t nowMs);

    void OnLineSettings(std::uint32_t baud, std::uint8_t dataBits, Parity parity,
                        std::uint8_t stopBits, std::uint64_t nowMs = 0);
    void OnLinkOpened(std::uint64_t nowMs);
    void OnLinkClosed(std::uint64_t nowMs);
    void Replug();
    void PowerCycle();

    // Asked by a link before it hands a write over: true when the fault plan makes this
    // write fail (the bytes then never reach the PLC).
    bool ConsumeWriteFailure(const std::uint8_t* data, std::size_t count);

    const SimModel& Model() const { return model_; }
    PlcMode Mode() const { return mode_; }
    const std::vector<std::uint8_t>& Flash() const { return flash_.Bytes(); }
    const SimFlash& FlashState() const { return flash_; }
    bool FlashEquals(const std::uint8_t* image, std::size_t count) const {
        return flash_.Equals(image, count);
    }
    // The whole burn landed: the part of the image the PLC takes (all but its reserved
    // tail) is in flash, followed only by the last block's 0x1A fill.
    bool FlashHoldsImage(const std::uint8_t* image, std::size_t count) const;
    const SimCounters& Counters() const { return counters_; }
    bool TransferCompleted() const { return counters_.transferCompleted; }
    std::uint32_t SpeedViolations() const { return counters_.speedViolations; }
    const std::vector<std::uint8_t>& ReceivedBytes() const { return received_; }
    const std::vector<RequestRecord>& Requests() const { return requests_; }
    const std::vector<NoiseHit>& NoiseHits() const { return noiseHits_; }
    std::size_t CountRequests(Exchange kind) const;
    const std::vector<LineChange>& LineHistory() const { return lineHistory_; }
    bool LinkOpen() const { return linkOpen_; }
    std::string Summary() const;
    std::string SpeedsSeen() const;

  private:
    bool Listening() const;
    std::size_t ParseOne(std::uint64_t nowMs);
    std::size_t ParseFrame(std::uint64_t nowMs);
    std::size_t ParseBootloader(std::uint64_t nowMs);
    std::size_t ParseBlock(std::uint64_t nowMs);

    void HandleFrame(const std::vector<std::uint8_t>& raw, std::uint64_t nowMs);
    std::optional<std::vector<std::uint8_t>> AnswerApplication(Exchange kind,
                                                               const std::vector<std::uint8_t>& msg,
                                                               const FaultSet& faults,
                                                               std::uint64_t nowMs);
    std::vector<std::uint8_t> ServiceReply(std::uint8_t unit, std::uint8_t status, std::uint8_t b5,
                                           std::uint8_t b6) const;
    void HandleWord(Exchange kind, std::size_t length, std::uint64_t nowMs);
    bool HandleBlock(const std::uint8_t* block, std::uint64_t nowMs);

    void StartHandover(std::uint64_t nowMs);
    void EnterBootloader();
    void StartBootSession();
    void LeaveForApplication();

    bool LineOk(Exchange kind) const;
    void Log(Exchange kind, const std::uint8_t* bytes, std::size_t count, std::uint64_t nowMs);
    std::vector<std::uint8_t> ShapeFrame(std::vector<std::uint8_t> message, const FaultSet& faults);
    void QueueReply(std::vector<std::uint8_t> bytes, const FaultSet& faults, std::uint64_t nowMs,
                    std::uint64_t extraDelayMs);
    void AddNoise(std::vector<std::uint8_t>& bytes);

    PlcConfig config_;
    const SimModel& model_;
    SimFlash flash_;
    PlcMode mode_;
    std::uint64_t restartAtMs_ = 0;
    bool eraseArmed_ = false;  // application: erase request acknowledged, confirmation due
    bool stayInApp_ = false;   // application: this erase request will not hand over
    bool updateReceived_ = false;
    std::uint8_t expectedBlock_ = 1;
    std::optional<std::uint8_t> lastAcked_;
    bool linkOpen_ = false;
    bool closedWhileAwaiting_ = false;
    // A transfer has ended since the bootloader came up: the restart that
    // follows (a replug, a power cycle) runs the new firmware.
    bool freshFirmware_ = false;

    std::vector<std::uint8_t> input_;
    std::uint64_t lastInputAtMs_ = 0;
    struct QueuedByte {
        std::uint64_t atMs;
        std::uint8_t byte;
    };
    std::deque<QueuedByte> out_;
    std::uint64_t lastQueuedAtUs_ = 0;

    LineState line_;
    std::vector<LineChange> lineHistory_;
    std::mt19937 rng_;

    SimCounters counters_;
    std::vector<std::uint8_t> received_;
    std::vector<RequestRecord> requests_;
    std::vector<NoiseHit> noiseHits_;
};

}  // namespace plcsim
