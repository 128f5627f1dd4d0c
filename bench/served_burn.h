// A burn against the simulated PLC served on a pseudo-terminal in this process: by a
// built front end in a child process, or by any other sender. The result holds the
// sender's wall and CPU time and what the line saw.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "line_meter.h"
#include "served_plc.h"

namespace norvane::bench {

using test::ChildRun;

struct ServedPlc {
    plcsim::PlcConfig plc;
    plcsim::ServeOptions serve;
    std::vector<std::uint8_t> image;  // what the sender burns, to compare the flash with
};

struct ServedBurnResult {
    std::string error;  // set when the burn could not be run at all
    ChildRun sender;
    plcsim::LineFigures line;
    bool flashHoldsImage = false;
    std::string plcSummary;
    bool Succeeded() const { return error.empty() && sender.exitStatus == 0 && flashHoldsImage; }
};

// Runs `sender` against the slave path while the PLC is served; `sender` returns
// how its run went (exit status 0 for a burn it considers done).
using Sender = std::function<ChildRun(const std::string& slavePath)>;
ServedBurnResult ServeWhile(const ServedPlc& served, const Sender& sender);

// A program as the sender: `argv` and then "--port" and the slave path; its output
// goes to `logPath`.
ServedBurnResult RunProgramBurn(const ServedPlc& served, const std::vector<std::string>& argv,
                                const std::string& logPath);

// Runs `argv` and then `more`, its output to `logPath`, and waits for it.
ChildRun RunLogged(std::vector<std::string> argv, const std::vector<std::string>& more,
                   const std::string& logPath);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// `count` simulated NT4 PLCs, each served on a pseudo-terminal of its own; none
// (and the reason on standard error) when one could not be.
std::vector<std::unique_ptr<plcsim::ServedPlc>> ServeNt4Plcs(int count,
                                                             const plcsim::ServeOptions& serve);

}  // namespace norvane::bench
