// A station run by a benchmark: its JSON lines read as they come, its own CPU
// time and memory, and a station burning N simulated serial PLCs at once.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"

namespace norvane::bench {

using norvane::test::ChildProcess;
using norvane::test::MonotonicSeconds;

// The text of `"key": "..."` in a JSON line, empty when it has none.
inline std::string Field(const std::string& line, const std::string& key) {
    const std::string head = "\"" + key + "\": \"";
    const std::size_t at = line.find(head);
    if (at == std::string::npos) {
        return "";
    }
    const std::size_t from = at + head.size();
    return line.substr(from, line.find('"', from) - from);
}

// A station's output read as it comes, each line stamped with its arrival.
class Station {
  public:
    explicit Station(std::vector<std::string> argv,
                     const std::vector<std::string>& environment = {}) {
        ChildProcess::Setup setup;
        setup.output = ChildProcess::Setup::Output::Pipe;
        setup.environment = environment;
        tool_ = std::make_unique<ChildProcess>(argv, setup);
    }

    // Reads until `done` holds of a line, or `seconds` pass; the line's arrival.
    template <typename Done>
    double Until(Done done, double seconds) {
        const double end = MonotonicSeconds() + seconds;
        while (MonotonicSeconds() < end) {
            for (std::size_t eol; (eol = tool_->Screen().find('\n', read_)) != std::string::npos;) {
                const std::string line = tool_->Screen().substr(read_, eol - read_);
                read_ = eol + 1;
                if (done(line)) {
                    return MonotonicSeconds();
                }
            }
            tool_->Read(5);
        }
        return -1;
    }

    // The station's own CPU seconds (its burns' apart) and peak resident KiB.
    std::pair<double, long> Own() const;
    // How often the station's threads were switched out so far: each time one
    // woke and slept again.
    long Switches() const;
    // Stops the station, its output into `log`; its exit status.
    int Stop(const std::string& log);

  private:
    std::unique_ptr<ChildProcess> tool_;
    std::size_t read_ = 0;
};

inline bool Says(const std::string& line, const std::string& event, const std::string& port = "") {
    return Field(line, "event") == event && (port.empty() || Field(line, "port") == port);
}

struct Scale {
    int plcs = 0;
    double wall = 0;
    double cpuPerBurn = 0;
    long peakKiB = 0;
    double seenMedian = 0;  // connection to the first byte sent to the PLC
    double seenWorst = 0;
    int burnt = 0;
};

double Median(std::vector<double> values);

// `count` simulated NT4 PLCs on serial ports, connected at once to one station
// run with `more` options; `watching` is handed its first station event.
Scale BurnAtOnce(int count, const std::vector<std::uint8_t>& image, const std::string& dir,
                 const std::vector<std::string>& more = {},
                 const std::function<void(const std::string&)>& watching = {});

// Room for `plcs` PLCs' pseudo-terminals and their burns' pipes, here and in
// the station, and for the simulated PLCs' watches of their pseudo-terminals.
void MakeRoomFor(int plcs);

}  // namespace norvane::bench
