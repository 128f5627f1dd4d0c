// The terminal's faces of the line's events: for a person (a status line for one
// PLC; a table with a row per PLC for several, or per socket for a station; a
// line per port for --identify and --list) and JSON lines for a script. Views
// are called from one thread only: the event pump's (line/event_pump.h).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "line/event_pump.h"
#include "line/exit_status.h"
#include "ui/cli/console.h"
#include "ui/cli/output.h"
#include "ui/cli/plc_row.h"

namespace norvane::cli {

using line::EventView;

// One JSON object per line.
class JsonView : public EventView {
  public:
    explicit JsonView(Output& out) : out_(out) {}
    void Show(const line::BurnEvent& event, Clock::time_point at) override;

  private:
    Output& out_;
};

// One PLC for a person: its status line (or a time-stamped line per phase without
// a terminal) with what it waits for and the time left, a prompt answered by
// --yes, and the final message after its caption.
class PersonView : public EventView {
  public:
    explicit PersonView(Console& console) : console_(console) {}
    void Show(const line::BurnEvent& event, Clock::time_point at) override;
    void Tick() override;
    bool Ticking() const override { return console_.live() && !row_.Over(); }

  private:
    void Draw();

    Console& console_;
    PlcRow row_;
    std::optional<line::WaitFor> lastWait_;
};

// What burns nothing, for a person: a line per port, "port: what it is" of
// --identify, the columns of --list under their heads.
class ReportView : public EventView {
  public:
    explicit ReportView(Output& out) : out_(out) {}
    void Show(const line::BurnEvent& event, Clock::time_point at) override;

  private:
    Output& out_;
    bool headed_ = false;
};

// Every event on two faces (the terminal's and a station's page), in turn.
class BothViews : public EventView {
  public:
    BothViews(EventView& first, EventView& second) : first_(first), second_(second) {}
    void Show(const line::BurnEvent& event, Clock::time_point at) override {
        first_.Show(event, at);
        second_.Show(event, at);
    }
    void Tick() override {
        first_.Tick();
        second_.Tick();
    }
    bool Ticking() const override { return first_.Ticking() || second_.Ticking(); }
    void Close() override {
        first_.Close();
        second_.Close();
    }

  private:
    EventView& first_;
    EventView& second_;
};

// How the burns told so far ended.
struct BurnCounts {
    std::size_t done = 0;
    std::size_t failed = 0;
    std::size_t interrupted = 0;
    std::size_t burnAgain = 0;  // failed or interrupted after the flash was touched
    bool checks = false;        // they were checks (--check): ready, or not
};

// "3 PLCs: 1 succeeded, 1 failed, 1 interrupted, 2 must be burnt again";
// checks: "2 PLCs checked: 1 ready, 1 not ready"; `noun` in the place of "PLC".
std::string CountLine(const BurnCounts& counts, const std::string& noun = "PLC");

// Several PLCs, or a station's sockets, for a person: on a terminal a table with a
// row per PLC (a station's: per socket, each once a PLC first arrived there) and
// the count, fitted to its width and redrawn in place; otherwise a time-stamped
// line per event naming its port (progress every 10 %). At the end a summary and
// the count. A station's count is of units (known by their USB serial number: a
// unit burnt again counts once, as its last burn ended), its summary names each
// unit that is not done, and its header says what it burns and where it records.
class TableView : public EventView {
  public:
    // `labels`: what a row calls a socket instead of its name; `record`: the
    // file a station records its burns in.
    TableView(Output& out, bool live, const std::vector<std::string>& ports,
              std::function<std::size_t()> columns = {},
              std::map<std::string, std::string> labels = {}, std::string record = {});
    void Show(const line::BurnEvent& event, Clock::time_point at) override;
    void Tick() override;
    bool Ticking() const override { return live_; }
    void Close() override;

  private:
    std::string Line(const std::string& port, std::size_t columns) const;
    // A row's name for `port`: its label, or the socket without "usb-path:".
    std::string Shown(const std::string& port) const;
    std::string EventText(const line::BurnEvent& event, PlcRow& row);
    // How a unit's burn (or check) ended: its count moves to its last end.
    void Count(const line::BurnEvent& event, const PlcRow& row);
    void Redraw();
    std::string Noun() const;
    std::string Header() const;
    std::string UnitsNotDone() const;

    // How a unit's last burn ended, and what its row said then.
    struct UnitEnd {
        line::BurnState state = line::BurnState::Done;
        bool burnAgain = false;
        std::string port;
        std::string usbSerial;
        std::string words;
    };
    void Tally(const UnitEnd& unit, int by);

    Output& out_;
    bool live_;
    std::function<std::size_t()> columns_;
    std::vector<std::string> order_;
    std::map<std::string, PlcRow> rows_;
    std::map<std::string, std::int64_t> lastTenth_;
    std::size_t width_ = 0;
    std::size_t drawnRows_ = 0;
    BurnCounts counts_;
    std::string station_;  // a station's images, and what it last said of them
    std::map<std::string, std::string> labels_;
    std::string record_;
    std::map<std::string, std::string> serials_;  // the USB serial number in each socket
    std::map<std::string, UnitEnd> units_;        // by serial number, or by burn
    std::vector<std::string> unitOrder_;
    std::size_t burns_ = 0;
};

}  // namespace norvane::cli
