#include "ui/cli/event_views.h"

#include <algorithm>
#include <string_view>

#include "burn/untrusted_text.h"
#include "line/event_json.h"
#include "line/exit_status.h"
#include "line/warnings.h"

namespace norvane::cli {

namespace {

using line::BurnEvent;
using line::EventKind;

// One column short of the width: a line that fills it would wrap.
std::size_t Fit(const std::function<std::size_t()>& columns) {
    const std::size_t n = columns ? columns() : 0;
    return n > 1 ? n - 1 : 0;
}

std::string Prompted(const line::PromptFields& prompt) {
    return prompt.caption + ": " + prompt.message + (prompt.answered ? " [--yes]" : "");
}

// What a socket's row says, in its own words: the state's code is for scripts.
std::string SocketText(const line::SocketFields& socket) {
    switch (socket.state) {
        case line::SocketState::Empty:
            return socket.message.empty() ? "empty" : "empty: " + socket.message;
        case line::SocketState::Working:
            return socket.message.empty() ? "burning" : "burning: " + socket.message;
        case line::SocketState::TakeOut:
        case line::SocketState::Unsteady:
        case line::SocketState::Busy:
        case line::SocketState::Missing:
        case line::SocketState::OtherStation:
            break;
    }
    return socket.message.empty() ? line::SocketWord(socket.state) : socket.message;
}

// What a station holds: its one image with its model, or its images; and what
// it said of them last.
// While it stops, what that means comes first: a narrow terminal cuts the
// image's name, never the operator's instruction.
std::string StationText(const line::StationFields& station) {
    constexpr std::size_t kShortDigest = 12;
    std::string text =
        station.model.empty()
            ? "images " + station.images
            : station.model + " image " + station.image + " (" +
                  station.sha256.substr(0, std::min(kShortDigest, station.sha256.size())) + ")";
    if (station.check) {
        text += ", checks each unit and burns nothing";
    }
    if (!station.page.empty()) {
        text += ", its page at " + station.page;
    }
    if (station.message.empty()) {
        return text;
    }
    return station.state == line::StationState::Stopping ? station.message + "; " + text
                                                         : text + "; " + station.message;
}

}  // namespace

void JsonView::Show(const BurnEvent& event, Clock::time_point) {
    out_.Write(line::EventLine(event) + "\n");
}

void PersonView::Show(const BurnEvent& event, Clock::time_point at) {
    row_.Apply(event, at);
    switch (event.kind()) {
        case EventKind::Progress:
            Draw();
            break;
        case EventKind::Prompt:
            if (event.Get<line::PromptFields>().answered) {
                console_.Print(Prompted(event.Get<line::PromptFields>()));
            }
            break;
        case EventKind::Wait: {
            const line::WaitFor waitFor = event.Get<line::WaitFields>().waitFor;
            if (console_.live()) {
                Draw();
            } else if (lastWait_ != waitFor) {
                console_.Print(row_.Detail(Clock::now()));
            }
            lastWait_ = waitFor;
            break;
        }
        case EventKind::End:
        case EventKind::Check:
            console_.Print(row_.ended());
            break;
        case EventKind::Start:
        case EventKind::Phase:
        case EventKind::Retry:
        case EventKind::Handover:
        case EventKind::Identify:
        case EventKind::Port:
        case EventKind::Socket:
        case EventKind::Station:
            break;
    }
}

void PersonView::Draw() {
    console_.DrawStatus(row_.values(), row_.Detail(Clock::now()),
                        row_.state() == PlcRow::State::Waiting);
}

void PersonView::Tick() {
    // The seconds of a wait and the time left go on between events.
    if (console_.live() && !row_.Over()) {
        Draw();
    }
}

void ReportView::Show(const BurnEvent& event, Clock::time_point) {
    // A device chooses its own serial number: every field is shown escaped.
    const auto column = [](const std::string& text, std::size_t width) {
        const std::string shown = text.empty() ? "-" : ForPerson(text);
        return shown + std::string(width > shown.size() ? width - shown.size() : 0, ' ') + " ";
    };
    switch (event.kind()) {
        case EventKind::Identify:
            out_.Write(ForPerson(event.port + ": " + event.Get<line::IdentifyFields>().message) +
                       "\n");
            break;
        case EventKind::Port: {
            const auto& row = event.Get<line::PortFields>();
            if (!headed_) {
                headed_ = true;
                out_.Write(column("PORT", 24) + column("KIND", 8) + column("USB SERIAL", 20) +
                           column("USB PATH", 12) + "DEVICE\n");
            }
            out_.Write(column(event.port, 24) + column(row.kind, 8) + column(row.usbSerial, 20) +
                       column(row.usbPath, 12) + ForPerson(row.device) + "\n");
            break;
        }
        case EventKind::Start:
        case EventKind::Phase:
        case EventKind::Progress:
        case EventKind::Retry:
        case EventKind::Prompt:
        case EventKind::Handover:
        case EventKind::Wait:
        case EventKind::End:
        case EventKind::Check:
        case EventKind::Socket:
        case EventKind::Station:
            break;  // no report's
    }
}

TableView::TableView(Output& out, bool live, const std::vector<std::string>& ports,
                     std::function<std::size_t()> columns,
                     std::map<std::string, std::string> labels, std::string record)
    : out_(out),
      live_(live),
      columns_(std::move(columns)),
      order_(ports),
      labels_(std::move(labels)),
      record_(std::move(record)) {
    for (const std::string& port : ports) {
        rows_[port];
        width_ = std::max(width_, Shown(port).size());
    }
}

std::string TableView::Shown(const std::string& port) const {
    const auto label = labels_.find(port);
    if (label != labels_.end()) {
        return ForPerson(label->second);
    }
    // Every USB socket's name begins so: on a narrow terminal its columns go
    // to what the row says.
    constexpr std::string_view kUsbPath = "usb-path:";
    return ForPerson(port.compare(0, kUsbPath.size(), kUsbPath) == 0 ? port.substr(kUsbPath.size())
                                                                     : port);
}

// A port's name and its row may hold what a device chose (a serial number in an
// interface path, in a note): shown escaped.
std::string TableView::Line(const std::string& port, std::size_t columns) const {
    const std::string shown = Shown(port);
    const std::string name = shown + std::string(width_ - std::min(width_, shown.size()) + 2, ' ');
    const std::size_t left = columns == 0 ? 0 : columns > name.size() ? columns - name.size() : 1;
    return FitTo(name + ForPerson(rows_.at(port).Text(Clock::now(), left)), columns);
}

void TableView::Show(const BurnEvent& event, Clock::time_point at) {
    if (event.kind() == EventKind::Station) {
        const line::StationFields& station = event.Get<line::StationFields>();
        station_ = StationText(station);
        if (live_) {
            // Its own line says what it does now; shown at once, not at the next tick.
            if (station.state == line::StationState::Stopping) {
                station_ = "stopping: " + station_;
            }
            Redraw();
        } else {
            out_.Write(TimeStamp() + "station " +
                       line::StationWord(event.Get<line::StationFields>().state) + ": " +
                       ForPerson(Header()) + "\n");
        }
        return;
    }
    const std::string& port = event.port;
    if (rows_.count(port) == 0) {
        // A station's socket where a PLC arrived for the first time.
        order_.push_back(port);
        width_ = std::max(width_, Shown(port).size());
    }
    PlcRow& row = rows_[port];
    row.Apply(event, at);
    if (event.kind() == EventKind::Socket && !event.Get<line::SocketFields>().usbSerial.empty()) {
        serials_[port] = event.Get<line::SocketFields>().usbSerial;
    } else if (event.kind() == EventKind::Socket &&
               event.Get<line::SocketFields>().state == line::SocketState::Empty) {
        serials_.erase(port);
    }
    if (event.kind() == EventKind::End || event.kind() == EventKind::Check) {
        Count(event, row);
    }
    if (live_) {
        return;
    }
    const std::string text = EventText(event, row);
    if (!text.empty()) {
        out_.Write(TimeStamp() + ForPerson(port + ": " + text) + "\n");
    }
}

void TableView::Count(const BurnEvent& event, const PlcRow& row) {
    counts_.checks = counts_.checks || event.kind() == EventKind::Check;
    const bool end = event.kind() == EventKind::End;
    const int status =
        end ? event.Get<line::EndFields>().exitStatus : event.Get<line::CheckFields>().exitStatus;
    const auto serial = serials_.find(event.port);
    const std::string usbSerial = serial != serials_.end() ? serial->second : "";
    // A unit whose serial number is not known is a unit per burn.
    const std::string key =
        usbSerial.empty() ? "burn " + std::to_string(++burns_) : "serial " + usbSerial;
    auto [unit, first] = units_.try_emplace(key);
    if (first) {
        unitOrder_.push_back(key);
    } else {
        Tally(unit->second, -1);
    }
    unit->second = UnitEnd{
        line::StateOfExit(status),
        end && status != line::kExitSuccess &&
            (event.Get<line::EndFields>().eraseBegun || event.Get<line::EndFields>().handedOver),
        event.port, usbSerial, row.ended()};
    Tally(unit->second, +1);
}

void TableView::Tally(const UnitEnd& unit, int by) {
    const auto add = [by](std::size_t& n) { n = by > 0 ? n + 1 : n - 1; };
    switch (unit.state) {
        case line::BurnState::Done:
            add(counts_.done);
            break;
        case line::BurnState::Failed:
            add(counts_.failed);
            break;
        case line::BurnState::Interrupted:
            add(counts_.interrupted);
            break;
    }
    if (unit.burnAgain) {
        add(counts_.burnAgain);
    }
}

// The line an event gets without a terminal; empty for none.
std::string TableView::EventText(const BurnEvent& event, PlcRow& row) {
    switch (event.kind()) {
        case EventKind::Start: {
            const auto& start = event.Get<line::StartFields>();
            return "starting: " + start.model + " image " + start.image;
        }
        case EventKind::Phase:
            return PhaseWord(event.Get<line::PhaseFields>().phase);
        case EventKind::Retry: {
            const auto& retry = event.Get<line::RetryFields>();
            return "retry, errors " + std::to_string(retry.errors) + "/" +
                   std::to_string(retry.errorsTotal);
        }
        case EventKind::Progress: {
            const std::int64_t tenth = row.values().progress / 10;
            auto last = lastTenth_.find(event.port);
            if (last != lastTenth_.end() && last->second == tenth) {
                return "";
            }
            lastTenth_[event.port] = tenth;
            return row.Text(Clock::now(), 0);
        }
        case EventKind::Prompt:
            return Prompted(event.Get<line::PromptFields>());
        case EventKind::Wait:
            return event.Get<line::WaitFields>().secondsLeft ? row.Detail(Clock::now()) : "";
        case EventKind::End:
        case EventKind::Check:
            return row.ended();
        case EventKind::Socket:
            return SocketText(event.Get<line::SocketFields>());
        case EventKind::Handover:
        case EventKind::Identify:
        case EventKind::Port:
        case EventKind::Station:
            break;
    }
    return "";
}

void TableView::Tick() {
    if (live_) {
        Redraw();
    }
}

void TableView::Redraw() {
    const std::size_t fit = Fit(columns_);
    std::string text;
    if (drawnRows_ > 0) {
        text += "\x1b[" + std::to_string(drawnRows_) + "A";  // back to the first row
    }
    if (!station_.empty()) {
        text += "\r" + FitTo(ForPerson(Header()), fit) + "\x1b[K\n";
    }
    for (const std::string& port : order_) {
        text += "\r" + Line(port, fit) + "\x1b[K\n";
    }
    text += "\r" + FitTo(CountLine(counts_, Noun()), fit) + "\x1b[K\n";
    out_.Write(text);
    drawnRows_ = order_.size() + (station_.empty() ? 1 : 2);
}

std::string CountLine(const BurnCounts& counts, const std::string& noun) {
    const std::size_t all = counts.done + counts.failed + counts.interrupted;
    // Checks never read like burns.
    std::string line = std::to_string(all) + " " + noun + (all == 1 ? "" : "s") +
                       (counts.checks ? " checked: " + std::to_string(counts.done) + " ready, " +
                                            std::to_string(counts.failed) + " not ready"
                                      : ": " + std::to_string(counts.done) + " succeeded, " +
                                            std::to_string(counts.failed) + " failed");
    if (counts.interrupted != 0) {
        line += ", " + std::to_string(counts.interrupted) + " interrupted";
    }
    if (counts.burnAgain != 0) {
        line += ", " + std::to_string(counts.burnAgain) + " must be burnt again";
    }
    return line;
}

void TableView::Close() {
    if (live_) {
        Redraw();
        if (!station_.empty()) {
            out_.Write(UnitsNotDone());
        }
        return;
    }
    std::string text = "\nSummary:\n";
    if (station_.empty()) {
        for (const std::string& port : order_) {
            text += "  " + Line(port, 0) + "\n";
        }
    } else {
        text += UnitsNotDone();
    }
    out_.Write(text + CountLine(counts_, Noun()) + "\n");
}

// A station counts units; several PLCs, one each.
std::string TableView::Noun() const {
    return station_.empty() ? "PLC" : "unit";
}

std::string TableView::Header() const {
    std::string header = record_.empty() ? station_ : station_ + ", record " + record_;
    if (const std::int64_t waiting = line::RecordsWaiting(); waiting > 0) {
        header += ", " + std::to_string(waiting) + (waiting == 1 ? " burn waits" : " burns wait") +
                  " for the record database";
    }
    return header;
}

// A line per unit of this run that is not done: where it was, its serial
// number and its row's last words.
std::string TableView::UnitsNotDone() const {
    std::string text;
    for (const std::string& key : unitOrder_) {
        const UnitEnd& unit = units_.at(key);
        if (unit.state != line::BurnState::Done) {
            text += "  " + Shown(unit.port) + "  " +
                    ForPerson(unit.usbSerial.empty() ? "(no serial number)" : unit.usbSerial) +
                    "  " + ForPerson(unit.words) + "\n";
        }
    }
    return text;
}

}  // namespace norvane::cli
