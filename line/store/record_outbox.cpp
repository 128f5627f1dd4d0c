#include "line/store/record_outbox.h"

#include <algorithm>
#include <ctime>
#include <utility>
#include <vector>

#include "burn/untrusted_text.h"
#include "line/warnings.h"

namespace norvane::line {

namespace {

// Lines sent to the store in one transaction.
constexpr std::size_t kBatch = 500;
// After a failed try the next waits this long, doubling up to the longest.
constexpr std::chrono::milliseconds kFirstPause{500};
constexpr std::chrono::milliseconds kLongestPause{30000};
// How often the station tells the line it is there.
constexpr std::chrono::seconds kBeat{5};

}  // namespace

std::unique_ptr<RecordOutbox> RecordOutbox::Open(const std::string& path, const std::string& url,
                                                 const std::string& station, std::string& error) {
    std::unique_ptr<SqlConnection> box = OpenSqlite(path, true, error);
    std::vector<SqlConnection::Row> rows;
    if (!box ||
        !box->Run("CREATE TABLE IF NOT EXISTS waiting (seq INTEGER PRIMARY KEY AUTOINCREMENT,"
                  " station TEXT NOT NULL, line TEXT NOT NULL)",
                  {}, nullptr, error) ||
        !box->Run("SELECT COUNT(*) FROM waiting", {}, &rows, error)) {
        error = "the record database's outbox " + path + ": " + error;
        return nullptr;
    }
    std::unique_ptr<RecordOutbox> outbox(new RecordOutbox(std::move(box), url, station));
    outbox->waiting_ = rows.empty() ? 0 : std::stoll(rows[0][0]);
    SetRecordsWaiting(outbox->waiting_);
    outbox->sender_ = std::thread([o = outbox.get()] { o->Send(); });
    return outbox;
}

RecordOutbox::RecordOutbox(std::unique_ptr<SqlConnection> box, std::string url, std::string station)
    : box_(std::move(box)), url_(std::move(url)), station_(std::move(station)) {}

RecordOutbox::~RecordOutbox() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    sender_.join();
}

bool RecordOutbox::Add(const std::string& line, std::string& error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!box_->Run("INSERT INTO waiting (station, line) VALUES ($1, $2)", {station_, line},
                       nullptr, error)) {
            return false;
        }
        SetRecordsWaiting(++waiting_);
    }
    wake_.notify_all();
    return true;
}

std::string RecordOutbox::Trouble() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return trouble_;
}

bool RecordOutbox::Flush(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    hurry_ = true;  // a pause after a failed try is cut short
    wake_.notify_all();
    return sent_.wait_for(lock, limit, [this] { return waiting_.load() == 0; });
}

bool RecordOutbox::SendSome(std::unique_ptr<RecordStore>& store) {
    std::vector<SqlConnection::Row> rows;
    std::string error;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!box_->Run("SELECT seq, station, line FROM waiting ORDER BY seq LIMIT $1",
                       {std::to_string(kBatch)}, &rows, error)) {
            trouble_ = "the outbox cannot be read: " + error;
            return false;
        }
    }
    std::vector<StoredBurn> burns;
    for (const SqlConnection::Row& row : rows) {
        std::string why;
        if (std::optional<StoredBurn> burn = StoredBurnOf(row[2], row[1], why)) {
            burns.push_back(std::move(*burn));
        }
        // A line that is no record is in the record file still; it is dropped here.
    }
    if (!Opened(store, error) || !store->Put(burns, error)) {
        return Failed(store, error);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    trouble_.clear();
    // The rows are in the store; removed from the box only now, so that a
    // station killed between the two sends them again (kept once, by burn id).
    if (!box_->Run("DELETE FROM waiting WHERE seq <= $1", {rows.empty() ? "0" : rows.back()[0]},
                   nullptr, error)) {
        trouble_ = "the outbox cannot be written: " + error;
        return false;
    }
    SetRecordsWaiting(waiting_ -= static_cast<std::int64_t>(rows.size()));
    if (std::exchange(away_, false)) {
        Warn("the record database has its burns again");
    }
    return true;
}

void RecordOutbox::Send() {
    std::unique_ptr<RecordStore> store;
    std::chrono::milliseconds pause{0};
    auto nextBeat = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        const bool beat = std::chrono::steady_clock::now() >= nextBeat;
        if (waiting_.load() == 0 && !beat) {
            sent_.notify_all();
            wake_.wait_until(lock, nextBeat, [this] { return stop_ || waiting_.load() > 0; });
            continue;
        }
        lock.unlock();
        bool done = true;
        if (beat) {
            nextBeat = std::chrono::steady_clock::now() + kBeat;
            done = Beat(store);
        }
        if (done && waiting_.load() > 0) {
            done = SendSome(store);
        }
        lock.lock();
        if (done) {
            pause = std::chrono::milliseconds{0};
            continue;
        }
        pause = std::min(kLongestPause, std::max(kFirstPause, pause * 2));
        wake_.wait_for(lock, pause, [this] { return stop_ || hurry_; });
        hurry_ = false;
    }
}

bool RecordOutbox::Opened(std::unique_ptr<RecordStore>& store, std::string& error) {
    if (!store) {
        store = RecordStore::Open(url_, error);
    }
    return store != nullptr;
}

bool RecordOutbox::Failed(std::unique_ptr<RecordStore>& store, const std::string& error) {
    if (store && !store->Usable()) {
        store.reset();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    trouble_ = ForPerson(error);
    // Said once when it goes away, once when it is back: not at every try.
    if (!std::exchange(away_, true)) {
        Warn(error + ": the burns wait in the outbox until the record database has them");
    }
    return false;
}

bool RecordOutbox::Beat(std::unique_ptr<RecordStore>& store) {
    std::string error;
    if (!Opened(store, error) || !store->Beat(station_, std::time(nullptr), error)) {
        return Failed(store, error);
    }
    return true;
}

}  // namespace norvane::line
