#include "ui/web/station_board.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

#include "burn/untrusted_text.h"
#include "line/event_json.h"
#include "line/exit_status.h"
#include "line/json_line.h"
#include "line/warnings.h"

namespace norvane::web {

namespace {

using line::BurnEvent;
using line::EventKind;
using line::JsonLine;

// The shift's units per hour are kept for a week at most.
constexpr std::size_t kHoursKept = std::size_t{7} * 24;
// The last burns the page lists.
constexpr std::size_t kLastBurns = 20;
// The upper bounds of the burn-time histogram's buckets, in seconds.
constexpr double kDurationBuckets[] = {5, 10, 20, 30, 45, 60, 90, 120, 180, 300, 600};

// The slot an event is kept in: a wait, a prompt and the hand-over that ends
// them are one; an end and a check are one.
int SlotOf(EventKind kind) {
    switch (kind) {
        case EventKind::Prompt:
        case EventKind::Handover:
            return static_cast<int>(EventKind::Wait);
        case EventKind::Check:
            return static_cast<int>(EventKind::End);
        default:
            return static_cast<int>(kind);
    }
}

std::int64_t SecondsSince1970(SystemClock::time_point at) {
    return std::chrono::duration_cast<std::chrono::seconds>(at.time_since_epoch()).count();
}

// A label value of the Prometheus text: valid UTF-8, with \, " and the line
// break escaped.
std::string LabelValue(const std::string& text) {
    std::string escaped;
    for (const char c : AsUtf8(text)) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// One sample: "name{labels} value".
void Sample(std::string& out, const std::string& name, const std::string& labels,
            const std::string& value) {
    out.append(name);
    if (!labels.empty()) {
        out.append("{").append(labels).append("}");
    }
    out.append(" ").append(value).append("\n");
}

void Help(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

std::string Rfc3339(SystemClock::time_point at) {
    const std::time_t t = SystemClock::to_time_t(at);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::optional<std::string> Follower::Next(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    came_.wait_for(lock, limit, [this] { return over_ || !waiting_.empty(); });
    if (!waiting_.empty()) {
        return std::exchange(waiting_, std::string());
    }
    if (over_) {
        return std::nullopt;
    }
    return std::string();
}

void Follower::Take(const std::string& message, std::size_t limit) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (over_) {
        return;
    }
    if (waiting_.size() + message.size() > limit) {
        // What it has not read is dropped with it: it starts again from the
        // sockets' state when it comes back.
        waiting_.clear();
        over_ = true;
    } else {
        waiting_ += message;
    }
    came_.notify_all();
}

void Follower::End() {
    std::lock_guard<std::mutex> lock(mutex_);
    over_ = true;
    came_.notify_all();
}

StationBoard::StationBoard(std::map<std::string, std::string> labels,
                           SystemClock::time_point started)
    : labels_(std::move(labels)), started_(started) {}

void StationBoard::Put(const BurnEvent& event, SystemClock::time_point at) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (event.kind() == EventKind::Station) {
        station_ = event;
    } else if (!event.port.empty()) {
        Socket& socket = sockets_[event.port];
        Keep(socket, event);
        if (event.kind() == EventKind::End || event.kind() == EventKind::Check) {
            Ended(socket, event, at);
        }
    } else {
        return;  // no event of a station's
    }
    Tell(event);
}

void StationBoard::Keep(Socket& socket, const BurnEvent& event) {
    auto& latest = socket.latest;
    switch (event.kind()) {
        case EventKind::Socket: {
            const auto& fields = event.Get<line::SocketFields>();
            // A unit that comes starts the socket's story again.
            if (fields.state == line::SocketState::Empty ||
                (fields.state == line::SocketState::Working &&
                 socket.state != line::SocketState::Working)) {
                latest.clear();
                socket.model.clear();
            }
            socket.state = fields.state;
            socket.usbSerial = fields.usbSerial;
            break;
        }
        case EventKind::Start:
            for (const EventKind kind : {EventKind::Phase, EventKind::Progress, EventKind::Retry,
                                         EventKind::Wait, EventKind::End}) {
                latest.erase(static_cast<int>(kind));
            }
            socket.model = event.Get<line::StartFields>().model;
            break;
        case EventKind::Identify: {
            const auto& found = event.Get<line::IdentifyFields>();
            socket.model = found.model.empty() ? found.models : found.model;
            break;
        }
        default:
            break;
    }
    latest[SlotOf(event.kind())] = Kept{++order_, event};
}

void StationBoard::Ended(Socket& socket, const BurnEvent& event, SystemClock::time_point at) {
    const bool check = event.kind() == EventKind::Check;
    const int exitStatus =
        check ? event.Get<line::CheckFields>().exitStatus : event.Get<line::EndFields>().exitStatus;
    Hour& hour = hours_[SecondsSince1970(at) / 3600 * 3600];
    switch (line::StateOfExit(exitStatus)) {
        case line::BurnState::Done:
            ++done_;
            ++hour.done;
            break;
        case line::BurnState::Failed:
            ++failed_;
            ++hour.failed;
            break;
        case line::BurnState::Interrupted:
            break;
    }
    while (hours_.size() > kHoursKept) {
        hours_.erase(hours_.begin());
    }
    const std::string model = socket.model.empty() ? "unknown" : socket.model;
    if (!check) {
        const auto& end = event.Get<line::EndFields>();
        ++outcomes_[{model, OutcomeWord(end.outcome)}];
        Durations& d = durations_[model];
        d.buckets.resize(std::size(kDurationBuckets) + 1);
        const auto bucket =
            std::lower_bound(std::begin(kDurationBuckets), std::end(kDurationBuckets),
                             static_cast<double>(end.seconds)) -
            std::begin(kDurationBuckets);
        ++d.buckets[static_cast<std::size_t>(bucket)];
        d.sum += static_cast<double>(end.seconds);
        ++d.count;
    }
    burns_.push_back(Burn{at, socket.usbSerial, socket.model, line::EventLine(event)});
    if (burns_.size() > kBurnsKept) {
        burns_.pop_front();
    }
}

void StationBoard::Tell(const BurnEvent& event) {
    const std::string message = "id: " + std::to_string(++told_) +
                                "\nevent: " + line::KindWord(event.kind()) +
                                "\ndata: " + line::EventLine(event) + "\n\n";
    auto live = followers_.begin();
    for (const std::weak_ptr<Follower>& weak : followers_) {
        if (const std::shared_ptr<Follower> follower = weak.lock()) {
            follower->Take(message, kFollowerBacklog);
            *live++ = weak;
        }
    }
    followers_.erase(live, followers_.end());
}

void StationBoard::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    for (const std::weak_ptr<Follower>& weak : followers_) {
        if (const std::shared_ptr<Follower> follower = weak.lock()) {
            follower->End();
        }
    }
    followers_.clear();
}

std::shared_ptr<Follower> StationBoard::Follow(std::size_t most) {
    auto follower = std::make_shared<Follower>();
    std::lock_guard<std::mutex> lock(mutex_);
    followers_.erase(std::remove_if(followers_.begin(), followers_.end(),
                                    [](const std::weak_ptr<Follower>& f) { return f.expired(); }),
                     followers_.end());
    if (followers_.size() >= most) {
        return nullptr;
    }
    if (closed_) {
        follower->End();
    } else {
        followers_.push_back(follower);
    }
    return follower;
}

std::string StationBoard::SocketsJson(std::uint64_t* told) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (told != nullptr) {
        *told = told_;
    }
    std::string json = "[";
    for (const auto& [port, socket] : sockets_) {
        std::vector<const Kept*> kept;
        for (const auto& [slot, event] : socket.latest) {
            kept.push_back(&event);
        }
        std::sort(kept.begin(), kept.end(),
                  [](const Kept* a, const Kept* b) { return a->order < b->order; });
        for (const Kept* event : kept) {
            json += (json.size() > 1 ? ",\n" : "\n") + line::EventLine(event->event);
        }
    }
    return json + "\n]\n";
}

std::string StationBoard::StationJson() const {
    std::lock_guard<std::mutex> lock(mutex_);
    nlohmann::ordered_json json;
    json["station"] = station_ ? nlohmann::ordered_json::parse(line::EventLine(*station_))
                               : nlohmann::ordered_json();
    json["started"] = Rfc3339(started_);
    json["labels"] = nlohmann::ordered_json::object();
    for (const auto& [socket, label] : labels_) {
        json["labels"][AsUtf8(socket)] = AsUtf8(label);
    }
    json["done"] = done_;
    json["failed"] = failed_;
    json["yield"] = done_ + failed_ > 0
                        ? nlohmann::ordered_json(100.0 * static_cast<double>(done_) /
                                                 static_cast<double>(done_ + failed_))
                        : nlohmann::ordered_json();
    json["record_errors"] = line::RecordErrors();
    const std::int64_t waiting = line::RecordsWaiting();
    json["records_waiting"] =
        waiting < 0 ? nlohmann::ordered_json() : nlohmann::ordered_json(waiting);
    if (shift_) {
        json["shift_hours"] = line::kShiftHours;
        json["shift"] = nlohmann::ordered_json::object();
        for (const auto& [socket, yield] : *shift_) {
            json["shift"][AsUtf8(socket)] = {
                {"done", yield.done}, {"failed", yield.failed}, {"set_aside", yield.setAside}};
        }
    }
    json["hours"] = nlohmann::ordered_json::array();
    for (const auto& [start, hour] : hours_) {
        json["hours"].push_back({{"hour", Rfc3339(SystemClock::from_time_t(start))},
                                 {"done", hour.done},
                                 {"failed", hour.failed}});
    }
    json["last"] = nlohmann::ordered_json::array();
    const std::size_t first = burns_.size() > kLastBurns ? burns_.size() - kLastBurns : 0;
    for (std::size_t i = first; i < burns_.size(); ++i) {
        const Burn& burn = burns_[i];
        nlohmann::ordered_json entry;
        entry["time"] = Rfc3339(burn.at);
        line::PutTextOrNull(entry, "usb_serial", burn.usbSerial);
        line::PutTextOrNull(entry, "model", burn.model);
        entry["end"] = nlohmann::ordered_json::parse(burn.line);
        json["last"].push_back(std::move(entry));
    }
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string StationBoard::BurnsJson(std::optional<std::int64_t> since) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string json = "[";
    for (const Burn& burn : burns_) {
        if (since && SecondsSince1970(burn.at) < *since) {
            continue;
        }
        JsonLine entry;
        entry["time"] = Rfc3339(burn.at);
        line::PutTextOrNull(entry, "usb_serial", burn.usbSerial);
        line::PutTextOrNull(entry, "model", burn.model);
        json += (json.size() > 1 ? ",\n" : "\n");
        // The end is a line of its own already: it goes in as it is.
        std::string head = line::WriteLine(entry);
        head.pop_back();
        json += head + ", \"end\": " + burn.line + "}";
    }
    return json + "\n]\n";
}

std::string StationBoard::MetricsText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out;
    Help(out, "norvane_fwupdate_burns_total", "counter",
         "Burns this station ended, by the model burnt and how each ended.");
    for (const auto& [key, count] : outcomes_) {
        Sample(out, "norvane_fwupdate_burns_total",
               "model=\"" + LabelValue(key.first) + "\",outcome=\"" + key.second + "\"",
               std::to_string(count));
    }
    Help(out, "norvane_fwupdate_burn_duration_seconds", "histogram",
         "How long each burn took, by the model burnt.");
    for (const auto& [model, d] : durations_) {
        const std::string name = "norvane_fwupdate_burn_duration_seconds";
        const std::string label = "model=\"" + LabelValue(model) + "\"";
        std::uint64_t below = 0;
        for (std::size_t i = 0; i < d.buckets.size(); ++i) {
            below += d.buckets[i];
            const std::string bound =
                i < std::size(kDurationBuckets) ? Number(kDurationBuckets[i]) : "+Inf";
            std::string labels = label;
            labels.append(",le=\"").append(bound).append("\"");
            Sample(out, name + "_bucket", labels, std::to_string(below));
        }
        Sample(out, name + "_sum", label, Number(d.sum));
        Sample(out, name + "_count", label, std::to_string(d.count));
    }
    Help(out, "norvane_fwupdate_sockets", "gauge", "The station's sockets, by their state now.");
    std::map<std::string, int> states;
    for (const line::SocketState state :
         {line::SocketState::Empty, line::SocketState::Working, line::SocketState::TakeOut,
          line::SocketState::Unsteady, line::SocketState::Busy, line::SocketState::Missing,
          line::SocketState::OtherStation}) {
        states[line::SocketWord(state)] = 0;
    }
    for (const auto& [port, socket] : sockets_) {
        if (socket.state) {
            ++states[line::SocketWord(*socket.state)];
        }
    }
    for (const auto& [state, count] : states) {
        Sample(out, "norvane_fwupdate_sockets", "state=\"" + state + "\"", std::to_string(count));
    }
    Help(out, "norvane_fwupdate_record_errors_total", "counter",
         "Record lines this station could not write.");
    Sample(out, "norvane_fwupdate_record_errors_total", "", std::to_string(line::RecordErrors()));
    if (const std::int64_t waiting = line::RecordsWaiting(); waiting >= 0) {
        Help(out, "norvane_fwupdate_records_waiting", "gauge",
             "Burns whose rows wait in the outbox for the record database.");
        Sample(out, "norvane_fwupdate_records_waiting", "", std::to_string(waiting));
    }
    Help(out, "norvane_fwupdate_start_time_seconds", "gauge",
         "When this station started, in seconds since 1970.");
    Sample(out, "norvane_fwupdate_start_time_seconds", "",
           std::to_string(SecondsSince1970(started_)));
    return out;
}

void StationBoard::SetShift(line::ShiftYields shift) {
    std::lock_guard<std::mutex> lock(mutex_);
    shift_ = std::move(shift);
}

void BoardView::Show(const BurnEvent& event, Clock::time_point at) {
    // The pump's clock is steady; the page speaks of the time of day.
    const auto ago = std::chrono::duration_cast<SystemClock::duration>(Clock::now() - at);
    board_.Put(event, SystemClock::now() - ago);
}

}  // namespace norvane::web
