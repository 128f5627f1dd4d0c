// Values the window thread and the burn worker share. Each is a single word
// written by one side and read by the other for display, so relaxed atomics
// are enough: every repaint reads everything afresh.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "burn/catalogue.h"
#include "burn/flash_phase.h"

namespace norvane {

// The selection. selectedPLC is set before any worker starts and never while one runs.
extern char selectedPLC[kModelNameSlot];
extern std::atomic<std::int32_t> selectedPLCIdx;
extern std::atomic<std::uint16_t> selectedPLCID;

// The port the user picked; the window may change it while a burn runs and the
// worker reads it when it reopens a COM port, so it is copied under a lock.
class SelectedPort {
  public:
    void Set(const std::string& name);
    std::string Get() const;

  private:
    mutable std::mutex mutex_;
    std::string name_;
};
extern SelectedPort selectedComPort;

// Burn values shown by the status panel; 0 between burns.
extern std::atomic<std::int32_t> flashStatus;  // kFlashIdle, kFlashErasing, kFlashProgramming
extern std::atomic<std::int32_t> progress;     // percent of the current phase
extern std::atomic<std::int32_t> errCounter;
extern std::atomic<std::int32_t> totalErrCounter;
extern std::atomic<std::int32_t> elapsedTime;
extern std::atomic<std::uint8_t> QB_fu_version;

// What the PLC said about itself in the last burn, for a record of it: the type
// identifier of its last acknowledged "ID" answer and the bootloader version byte,
// -1 where the burn did not get that far. Set back to -1 when a burn starts.
extern std::atomic<std::int32_t> reportedTypeId;
extern std::atomic<std::int32_t> reportedBootVersion;

// Selects the model at `index` (a valid catalogue index).
void SelectModel(int index);
const PlcModel& SelectedModel();

// The end-of-burn reset: elapsed time, phase, progress and both counters back to 0.
void ResetBurnValues();

}  // namespace norvane
