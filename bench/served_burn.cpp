#include "served_burn.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>

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

ChildRun RunLogged(std::vector<std::string> argv, const std::vector<std::string>& more,
                   const std::string& logPath) {
    argv.insert(argv.end(), more.begin(), more.end());
    test::ChildProcess::Setup setup;
    setup.output = test::ChildProcess::Setup::Output::Wired;
    setup.logPath = logPath;
    test::ChildProcess child(argv, setup);
    child.WaitExit(std::numeric_limits<int>::max());
    return child.Result();
}

ServedBurnResult RunProgramBurn(const ServedPlc& served, const std::vector<std::string>& argv,
                                const std::string& logPath) {
    return ServeWhile(served, [&](const std::string& slavePath) {
        return RunLogged(argv, {"--port", slavePath}, logPath);
    });
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

std::vector<std::unique_ptr<plcsim::ServedPlc>> ServeNt4Plcs(int count,
                                                             const plcsim::ServeOptions& serve) {
    std::vector<std::unique_ptr<plcsim::ServedPlc>> plcs;
    for (int i = 0; i < count; ++i) {
        plcsim::PlcConfig config;
        config.model = "NT4";
        plcs.push_back(std::make_unique<plcsim::ServedPlc>(config));
        std::string error;
        if (!plcs.back()->Start(serve, error)) {
            std::fprintf(stderr, "cannot serve PLC %d: %s\n", i + 1, error.c_str());
            return {};
        }
    }
    return plcs;
}

}  // namespace norvane::bench
