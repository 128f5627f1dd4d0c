// The outbox in front of the record store: each burn's record line is kept in a
// local SQLite file before the burn's end is told, and a thread of its own sends
// the waiting lines to the store in order, each once, whenever the store can be
// reached. A burn never waits on the store; a store that is down, refuses rows
// or comes back later loses none. The same thread tells the line every few
// seconds that the station is there, for the claims on the units it burns.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "line/store/record_store.h"

namespace norvane::line {

class RecordOutbox {
  public:
    // The outbox at `path` (made when not there; lines left waiting by an
    // earlier run are sent first) for the store at `url`, its rows burnt at
    // `station`. Null with `error` set when the outbox cannot be opened.
    static std::unique_ptr<RecordOutbox> Open(const std::string& path, const std::string& url,
                                              const std::string& station, std::string& error);
    ~RecordOutbox();
    RecordOutbox(const RecordOutbox&) = delete;
    RecordOutbox& operator=(const RecordOutbox&) = delete;

    // Keeps a record line until the store has it; false with `error` set when
    // the outbox cannot be written (the line is then in the record file only).
    bool Add(const std::string& line, std::string& error);
    // Lines not yet in the store.
    std::int64_t Waiting() const { return waiting_.load(); }
    // Why the last try to send failed; empty once a try succeeded.
    std::string Trouble() const;
    // Sends what waits now and returns once the store has it all, or `limit`
    // has passed (a station that stops gives its last rows a moment).
    bool Flush(std::chrono::milliseconds limit);

  private:
    RecordOutbox(std::unique_ptr<SqlConnection> box, std::string url, std::string station);
    void Send();
    // One batch from the box to the store; false when the store did not take it.
    bool SendSome(std::unique_ptr<RecordStore>& store);
    // Tells the store this station is there.
    bool Beat(std::unique_ptr<RecordStore>& store);
    bool Opened(std::unique_ptr<RecordStore>& store, std::string& error);
    // Notes why the store did not answer (false), dropping a connection gone.
    bool Failed(std::unique_ptr<RecordStore>& store, const std::string& error);

    mutable std::mutex mutex_;  // the box's connection, the trouble, the wake-up
    std::condition_variable wake_;
    std::condition_variable sent_;
    std::unique_ptr<SqlConnection> box_;
    const std::string url_;
    const std::string station_;
    std::string trouble_;
    std::atomic<std::int64_t> waiting_{0};
    bool stop_ = false;
    bool hurry_ = false;  // Flush waits
    bool away_ = false;   // the last try failed
    std::thread sender_;
};

}  // namespace norvane::line
