#include "served_burn.h"

#include <fstream>
#include <iterator>

namespace norvane::bench {

namespace {

// A burn that has not ended by then has hung; the figures say so.
constexpr std::uint32_t kIdleLimitSeconds = 20;

}  // namespace

ServedBurnResult ServeWhile(const ServedPlc& served, const Sender& sender) {
    ServedBurnResult result;
    plcsim::ServedPlc plc(served.plc);
    plcsim::ServeOptions serve = served.serve;
    serve.exitAfterBurn = true;
    serve.idleTimeoutSeconds = kIdleLimitSeconds;
    if (!plc.Start(serve, result.error)) {
        return result;
    }
    result.sender = sender(plc.SlavePath());
    plc.Join();
    result.line = plc.Figures();
    result.flashHoldsImage = !served.image.empty() &&
                             plc.Plc().FlashHoldsImage(served.image.data(), served.image.size());
    result.plcSummary = plc.Plc().Summary();
    return result;
}

ServedBurnResult RunProgramBurn(const ServedPlc& served, const std::vector<std::string>& argv,
                                const std::string& logPath) {
    return ServeWhile(served, [&](const std::string& slavePath) {
        ChildLaunch launch;
        launch.argv = argv;
        launch.argv.push_back("--port");
        launch.argv.push_back(slavePath);
        launch.logPath = logPath;
        const long long start = MonotonicNs();
        const int pid = StartChild(launch);
        return pid < 0 ? ChildRun{} : WaitChild(pid, start);
    });
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

}  // namespace norvane::bench
