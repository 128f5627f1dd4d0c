#include "ui/cli/event_views.h"

#include <algorithm>

#include "burn/untrusted_text.h"
#include "ui/cli/burn_events.h"

namespace norvane::cli {

namespace {

std::string Ended(const JsonObject& event) {
    return event.Text("caption") + ": " + event.Text("message");
}

// One column short of the width: a line that fills it would wrap.
std::size_t Fit(const std::function<std::size_t()>& columns) {
    const std::size_t n = columns ? columns() : 0;
    return n > 1 ? n - 1 : 0;
}

}  // namespace

void JsonView::Show(const JsonObject& event, Clock::time_point) {
    out_.Write(event.ToString() + "\n");
}

void PersonView::Show(const JsonObject& event, Clock::time_point at) {
    row_.Apply(event, at);
    const std::string kind = event.Text("event");
    if (kind == kEventProgress) {
        Draw();
    } else if (kind == kEventPrompt && event.Flag("answered")) {
        console_.Print(Ended(event) + " [--yes]");
    } else if (kind == kEventWait) {
        if (console_.live()) {
            Draw();
        } else if (event.Text("for") != lastWait_) {
            console_.Print(row_.Detail(Clock::now()));
        }
        lastWait_ = event.Text("for");
    } else if (kind == kEventEnd || kind == kEventCheck) {
        console_.Print(row_.ended());
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

TableView::TableView(Output& out, bool live, const std::vector<std::string>& ports,
                     std::function<std::size_t()> columns)
    : out_(out), live_(live), columns_(std::move(columns)), order_(ports) {
    for (const std::string& port : ports) {
        rows_[port];
        width_ = std::max(width_, ForPerson(port).size());
    }
}

// A port's name and its row may hold what a device chose (a serial number in an
// interface path, in a note): shown escaped.
std::string TableView::Line(const std::string& port, std::size_t columns) const {
    const std::string shown = ForPerson(port);
    const std::string name = shown + std::string(width_ - std::min(width_, shown.size()) + 2, ' ');
    const std::size_t left = columns == 0 ? 0 : columns > name.size() ? columns - name.size() : 1;
    return FitTo(name + ForPerson(rows_.at(port).Text(Clock::now(), left)), columns);
}

void TableView::Show(const JsonObject& event, Clock::time_point at) {
    if (event.Text("event") == kEventStation) {
        if (!live_) {
            out_.Write(TimeStamp() + "station " + event.Text("state") + ": " + event.Text("model") +
                       " image " + ForPerson(event.Text("image")) + "\n");
        }
        return;
    }
    const std::string port = event.Text("port");
    if (rows_.count(port) == 0) {
        // A station's socket where a PLC arrived for the first time.
        order_.push_back(port);
        width_ = std::max(width_, ForPerson(port).size());
    }
    PlcRow& row = rows_[port];
    row.Apply(event, at);
    const std::string kind = event.Text("event");
    if (kind == kEventEnd || kind == kEventCheck) {
        const std::int64_t status = event.Number("exit_status");
        ++(status == 0 ? counts_.done : status == 1 ? counts_.failed : counts_.interrupted);
    }
    if (live_) {
        return;
    }
    std::string line;
    if (kind == kEventStart) {
        line = "starting: " + event.Text("model") + " image " + event.Text("image");
    } else if (kind == kEventPhase) {
        line = event.Text("phase");
    } else if (kind == kEventRetry) {
        line = "retry, errors " + std::to_string(event.Number("errors")) + "/" +
               std::to_string(event.Number("errors_total"));
    } else if (kind == kEventProgress) {
        const std::int64_t tenth = row.values().progress / 10;
        auto last = lastTenth_.find(port);
        if (last == lastTenth_.end() || last->second != tenth) {
            lastTenth_[port] = tenth;
            line = row.Text(Clock::now(), 0);
        }
    } else if (kind == kEventPrompt) {
        line = Ended(event) + (event.Flag("answered") ? " [--yes]" : "");
    } else if (kind == kEventWait && event.TypeOf("seconds_left") != JsonObject::Type::Null) {
        line = row.Detail(Clock::now());
    } else if (kind == kEventEnd || kind == kEventCheck) {
        line = row.ended();
    } else if (kind == kEventSocket) {
        // What the row says, in its own words: the state's code is for scripts.
        const std::string state = event.Text("state");
        const std::string message = event.Text("message");
        line = state == "empty"     ? (message.empty() ? "empty" : "empty: " + message)
               : state == "working" ? (message.empty() ? "burning" : "burning: " + message)
               : message.empty()    ? state
                                    : message;
    }
    if (!line.empty()) {
        out_.Write(TimeStamp() + ForPerson(port + ": " + line) + "\n");
    }
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
    for (const std::string& port : order_) {
        text += "\r" + Line(port, fit) + "\x1b[K\n";
    }
    text += "\r" + FitTo(CountLine(counts_), fit) + "\x1b[K\n";
    out_.Write(text);
    drawnRows_ = order_.size() + 1;
}

std::string CountLine(const BurnCounts& counts) {
    const std::size_t all = counts.done + counts.failed + counts.interrupted;
    std::string line = std::to_string(all) + (all == 1 ? " PLC: " : " PLCs: ") +
                       std::to_string(counts.done) + " succeeded, " +
                       std::to_string(counts.failed) + " failed";
    if (counts.interrupted != 0) {
        line += ", " + std::to_string(counts.interrupted) + " interrupted";
    }
    return line;
}

void TableView::Summary() {
    if (live_) {
        Redraw();
        return;
    }
    std::string text = "\nSummary:\n";
    for (const std::string& port : order_) {
        text += "  " + Line(port, 0) + "\n";
    }
    out_.Write(text + CountLine(counts_) + "\n");
}

}  // namespace norvane::cli
