// Burns in processes of their own (the burn values are process-wide, so a
// process burns one PLC): a copy of this program per PLC, its events read line
// by line from its output into one inbox, each read once into an event where it
// reaches this process.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "line/burn_supervisor.h"
#include "line/child_command.h"

namespace norvane::line {

class ProcessSupervisor : public Supervisor {
  public:
    // `silenceLimit`: a burn that shows no progress on its line this long,
    // outside a bounded wait, is ended.
    ProcessSupervisor(BurnSettings settings, std::chrono::seconds silenceLimit);
    ~ProcessSupervisor() override;
    ProcessSupervisor(const ProcessSupervisor&) = delete;
    ProcessSupervisor& operator=(const ProcessSupervisor&) = delete;

    void Start(const std::string& port, bool awaitReplug,
               std::shared_ptr<const RunImage> image) override;
    std::optional<BurnNews> Next(std::chrono::milliseconds wait) override;
    void InterruptAll() override;
    void HangUpAll() override;
    std::size_t Running() const override;
    void Wake() override;

    struct Burn;  // one burn process and what its events said of its PLC

  private:
    // What a burn's process said, in the order it came: a line, or its end.
    struct Said {
        std::size_t burn;
        std::optional<std::string> line;  // nothing: its output ended
    };
    void Heard(Said said);
    void EndSilentBurns();
    std::optional<BurnNews> Told();

    const BurnSettings settings_;
    const std::chrono::seconds silenceLimit_;
    std::map<std::size_t, std::unique_ptr<Burn>> burns_;  // by their index
    std::size_t nextBurn_ = 0;
    std::deque<BurnNews> news_;
    // The burns are looked over for silence a few times a second, not at every
    // event of every burn: a station with many burns hears thousands a second.
    std::chrono::steady_clock::time_point nextSilenceLook_{};
    std::mutex mutex_;  // of the inbox, written by the readers' threads
    std::condition_variable said_;
    std::deque<Said> inbox_;
    bool woken_ = false;
    bool listening_ = false;  // Next waits for the first line: a reader wakes it
    std::chrono::steady_clock::time_point nextGather_{};
};

// The silence watchdog's word on one event of a burn: a progress event that
// tells nothing new but the seconds comes from the burn's own clock, which
// ticks whether the burn moves or hangs; every other event is progress.
class ProgressSeen {
  public:
    bool Moved(const BurnEvent& event);

  private:
    std::optional<ProgressFields> last_;
};

}  // namespace norvane::line
