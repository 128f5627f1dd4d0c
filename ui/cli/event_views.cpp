#include "ui/cli/event_views.h"

#include <algorithm>

#include "ui/cli/burn_events.h"

namespace norvane::cli {

namespace {

std::string Ended(const JsonObject& event) {
    return event.Text("caption") + ": " + event.Text("message");
}

StatusValues ValuesOf(const JsonObject& e) {
    return StatusValues{static_cast<std::int32_t>(e.Number("seconds")),
                        static_cast<std::int32_t>(e.Number("percent")),
                        PhaseOfWord(e.Text("phase")), static_cast<std::int32_t>(e.Number("errors")),
                        static_cast<std::int32_t>(e.Number("errors_total"))};
}

}  // namespace

void JsonView::Show(const JsonObject& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(out_, "%s\n", event.ToString().c_str());
    std::fflush(out_);
}

void PersonView::Show(const JsonObject& event) {
    const std::string kind = event.Text("event");
    if (kind == kEventProgress) {
        console_.DrawStatus(ValuesOf(event));
    } else if (kind == kEventPrompt && event.Flag("answered")) {
        console_.Print(Ended(event) + " [--yes]");
    } else if (kind == kEventEnd) {
        console_.Print(Ended(event));
    }
}

TableView::TableView(std::FILE* out, bool live, const std::vector<std::string>& ports)
    : out_(out), live_(live), order_(ports) {
    for (const std::string& port : ports) {
        rows_[port];
        width_ = std::max(width_, port.size());
    }
}

std::string TableView::Line(const std::string& port, const Row& row) const {
    std::string line = port + std::string(width_ - std::min(width_, port.size()) + 2, ' ');
    if (!row.ended.empty()) {
        return line + row.ended;
    }
    char text[96];
    std::snprintf(text, sizeof text, "%-11s %3lld %%  errors %lld/%lld  %4lld s", row.phase.c_str(),
                  static_cast<long long>(row.percent), static_cast<long long>(row.errors),
                  static_cast<long long>(row.errorsTotal), static_cast<long long>(row.seconds));
    return line + text;
}

void TableView::Show(const JsonObject& event) {
    const std::string port = event.Text("port");
    Row& row = rows_[port];
    const std::string kind = event.Text("event");
    if (kind == kEventProgress || kind == kEventPhase || kind == kEventRetry) {
        row.phase = event.Has("phase") ? event.Text("phase") : row.phase;
        row.percent = event.Has("percent") ? event.Number("percent") : row.percent;
        row.errors = event.Has("errors") ? event.Number("errors") : row.errors;
        row.errorsTotal =
            event.Has("errors_total") ? event.Number("errors_total") : row.errorsTotal;
        row.seconds = event.Number("seconds");
    } else if (kind == kEventEnd) {
        row.ended = Ended(event);
    }
    dirty_ = true;
    if (live_) {
        return;
    }
    std::string line;
    if (kind == kEventStart) {
        line = "starting: " + event.Text("model") + " image " + event.Text("image");
    } else if (kind == kEventPhase) {
        line = event.Text("phase");
    } else if (kind == kEventRetry) {
        line =
            "retry, errors " + std::to_string(row.errors) + "/" + std::to_string(row.errorsTotal);
    } else if (kind == kEventProgress && row.percent / 10 != row.lastTenth) {
        row.lastTenth = row.percent / 10;
        line = row.phase + " " + std::to_string(row.percent) + " %";
    } else if (kind == kEventPrompt) {
        line = Ended(event) + (event.Flag("answered") ? " [--yes]" : "");
    } else if (kind == kEventEnd) {
        line = row.ended;
    }
    if (!line.empty()) {
        std::fprintf(out_, "%s: %s\n", port.c_str(), line.c_str());
        std::fflush(out_);
    }
}

void TableView::Tick() {
    if (live_ && dirty_) {
        Redraw();
    }
}

void TableView::Redraw() {
    if (drawn_) {
        std::fprintf(out_, "\x1b[%zuA", order_.size());  // back to the first row
    }
    for (const std::string& port : order_) {
        std::fprintf(out_, "\r%s\x1b[K\n", Line(port, rows_[port]).c_str());
    }
    std::fflush(out_);
    drawn_ = true;
    dirty_ = false;
}

void TableView::Summary() {
    if (live_) {
        Redraw();
        return;
    }
    std::fprintf(out_, "\nSummary:\n");
    for (const std::string& port : order_) {
        std::fprintf(out_, "  %s\n", Line(port, rows_[port]).c_str());
    }
    std::fflush(out_);
}

}  // namespace norvane::cli
