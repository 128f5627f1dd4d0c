// The two renderings of the events: for a person (a status line for one PLC, a
// table with a row per PLC for several) and JSON lines for a script.
#pragma once

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ui/cli/console.h"
#include "ui/cli/json_object.h"

namespace norvane::cli {

class EventView {
  public:
    virtual ~EventView() = default;
    virtual void Show(const JsonObject& event) = 0;
    // Called about ten times a second, for views that redraw at their own pace.
    virtual void Tick() {}
};

// One JSON object per line on `out`, flushed at once.
class JsonView : public EventView {
  public:
    explicit JsonView(std::FILE* out) : out_(out) {}
    void Show(const JsonObject& event) override;

  private:
    std::FILE* out_;
    std::mutex mutex_;
};

// One PLC for a person: its status line (or a line per phase without a terminal),
// a prompt answered by --yes, and the final message after its caption.
class PersonView : public EventView {
  public:
    explicit PersonView(Console& console) : console_(console) {}
    void Show(const JsonObject& event) override;

  private:
    Console& console_;
};

// Several PLCs for a person: on a terminal a table with a row per PLC, redrawn in
// place; otherwise a line per event naming its port (progress every 10 %), and at
// the end a summary of every PLC's final message.
class TableView : public EventView {
  public:
    TableView(std::FILE* out, bool live, const std::vector<std::string>& ports);
    void Show(const JsonObject& event) override;
    void Tick() override;
    void Summary();

  private:
    struct Row {
        std::string phase = "Idle";
        std::int64_t percent = 0;
        std::int64_t errors = 0;
        std::int64_t errorsTotal = 0;
        std::int64_t seconds = 0;
        std::string ended;  // the final message, after its caption
        std::int64_t lastTenth = -1;
    };
    std::string Line(const std::string& port, const Row& row) const;
    void Redraw();

    std::FILE* out_;
    bool live_;
    std::vector<std::string> order_;
    std::map<std::string, Row> rows_;
    std::size_t width_ = 0;
    bool drawn_ = false;
    bool dirty_ = true;
};

}  // namespace norvane::cli
