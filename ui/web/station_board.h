// What a station's page, its API and its metrics show, kept from the station's
// typed events: the station itself, each socket's events since its unit came,
// the run's burns, the shift's counts and units per hour, and the figures the
// metrics count. The event pump's thread puts events in; the server's threads
// take copies out, so that no client ever holds up the pump, a burn or the
// station's loop. A follower of the page's live events gets each event's line
// through a queue of its own, and is let go when it falls too far behind.
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
#include <vector>

#include "line/burn_event.h"
#include "line/burn_record.h"
#include "line/event_pump.h"
#include "line/shift_yield.h"

namespace norvane::web {

using SystemClock = std::chrono::system_clock;

// One client following the station's events as they come.
class Follower {
  public:
    // What has come since the last call, as Server-Sent Events messages;
    // waits up to `limit` for the first. Empty: nothing came; nothing at all:
    // the follower is over (the station is gone, or the client fell behind).
    std::optional<std::string> Next(std::chrono::milliseconds limit);

  private:
    friend class StationBoard;
    // Takes `message`, unless the backlog would pass `limit` bytes: then the
    // follower is over.
    void Take(const std::string& message, std::size_t limit);
    void End();

    std::mutex mutex_;
    std::condition_variable came_;
    std::string waiting_;
    bool over_ = false;
};

class StationBoard {
  public:
    // A follower that has this much waiting is let go: it reads nothing, or far
    // slower than the station speaks.
    static constexpr std::size_t kFollowerBacklog = 1 << 20;
    // The run's burns the API keeps, the newest.
    static constexpr std::size_t kBurnsKept = 10000;

    // `labels`: a name for a socket, by its identity as --port names it.
    explicit StationBoard(std::map<std::string, std::string> labels,
                          SystemClock::time_point started = SystemClock::now());

    // One event of the station, which happened at `at`.
    void Put(const line::BurnEvent& event, SystemClock::time_point at);
    // The station is gone: every follower ends.
    void Close();
    // Each socket's yield over the shift, from the record database.
    void SetShift(line::ShiftYields shift);

    // A new follower of every event from now on, unless `most` follow
    // already (null then); the page redraws from SocketsJson first.
    std::shared_ptr<Follower> Follow(std::size_t most = SIZE_MAX);

    // Every socket's state now: for each, its last socket event and the events
    // of its unit since, in the order they came (a page replays them).
    // `told`: the number of the last event it holds, as the followers' messages
    // number them, so that a page that followed while it asked applies only
    // what came after.
    std::string SocketsJson(std::uint64_t* told = nullptr) const;
    // The station event, when it started, the sockets' labels, the shift's
    // counts, units per hour and the last burns.
    std::string StationJson() const;
    // The burns of this run that ended at or after `since` (seconds since
    // 1970), newest last.
    std::string BurnsJson(std::optional<std::int64_t> since) const;
    // The Prometheus text of the station's figures.
    std::string MetricsText() const;

  private:
    struct Kept {
        std::uint64_t order = 0;
        line::BurnEvent event;
    };
    // A socket's events: the last of each kind (a wait, a prompt and the
    // hand-over that ends them count as one) since its unit came.
    struct Socket {
        std::map<int, Kept> latest;
        std::optional<line::SocketState> state;
        std::string usbSerial;
        std::string model;
    };
    struct Burn {
        SystemClock::time_point at;
        std::string usbSerial;
        std::string model;
        std::string line;  // its end or check event
    };
    struct Hour {
        std::int64_t done = 0;
        std::int64_t failed = 0;
    };
    struct Durations {
        std::vector<std::uint64_t> buckets;  // one per kDurationBuckets bound, then +Inf
        double sum = 0;
        std::uint64_t count = 0;
    };

    void Keep(Socket& socket, const line::BurnEvent& event);
    void Ended(Socket& socket, const line::BurnEvent& event, SystemClock::time_point at);
    void Tell(const line::BurnEvent& event);

    const std::map<std::string, std::string> labels_;
    const SystemClock::time_point started_;
    mutable std::mutex mutex_;
    std::uint64_t order_ = 0;
    std::uint64_t told_ = 0;  // events told to the followers
    std::optional<line::BurnEvent> station_;
    std::map<std::string, Socket> sockets_;
    std::deque<Burn> burns_;
    std::int64_t done_ = 0;
    std::int64_t failed_ = 0;
    std::map<std::int64_t, Hour> hours_;  // by the hour's start, in seconds since 1970
    std::map<std::pair<std::string, std::string>, std::uint64_t> outcomes_;  // by model, outcome
    std::map<std::string, Durations> durations_;                             // by model
    std::vector<std::weak_ptr<Follower>> followers_;
    bool closed_ = false;
    std::optional<line::ShiftYields> shift_;
};

// The face that keeps a board: the pump's view of it.
class BoardView : public line::EventView {
  public:
    explicit BoardView(StationBoard& board) : board_(board) {}
    void Show(const line::BurnEvent& event, Clock::time_point at) override;

  private:
    StationBoard& board_;
};

// "2026-12-10T04:05:06Z"
std::string Rfc3339(SystemClock::time_point at);

}  // namespace norvane::web
