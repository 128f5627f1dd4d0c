#include "served_burn.h"

#include <fstream>
#include <iterator>
#include <thread>

namespace norvane::bench {

namespace {

// A burn that has not ended by then has hung; the figures say so.
constexpr std::uint32_t kIdleLimitSeconds = 20;

}  // namespace

ServedBurnResult ServeWhile(const ServedPlc& served, const Sender& sender) {
    ServedBurnResult result;
    plcsim::PlcConfig config = served.plc;
    config.checkFraming = false;  // a pseudo-terminal is always 8N1
    config.reopenIsReconnect = true;
    plcsim::SimulatedPlc plc(config);
    plcsim::PtyServer server(plc);
    if (!server.Open(result.error)) {
        return result;
    }
    plcsim::ServeOptions serve = served.serve;
    serve.exitAfterBurn = true;
    serve.idleTimeoutSeconds = kIdleLimitSeconds;
    std::thread serving([&server, serve] { server.Serve(serve); });
    result.sender = sender(server.SlavePath());
    serving.join();
    result.line = server.Figures();
    result.flashHoldsImage =
        !served.image.empty() && plc.FlashHoldsImage(served.image.data(), served.image.size());
    result.plcSummary = plc.Summary();
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
