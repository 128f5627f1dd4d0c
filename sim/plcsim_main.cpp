// norvane-plcsim: a simulated PLC on a pseudo-terminal, for trying the tool without
// hardware. Prints the path to open on its first line, a summary at the end.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "plcsim_options.h"
#include "pty_server.h"
#include "simulated_plc.h"

namespace {

void OnSignal(int) {
    plcsim::PtyServer::RequestStop();
}

bool LoadImage(const std::string& path, std::vector<std::uint8_t>& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    plcsim::ProgramOptions options;
    std::string error;
    if (!plcsim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "norvane-plcsim: " << error << "\n" << plcsim::UsageText();
        return 2;
    }
    if (options.help) {
        std::cout << plcsim::UsageText();
        return 0;
    }
    std::vector<std::uint8_t> image;
    if (!options.imagePath.empty() && !LoadImage(options.imagePath, image)) {
        std::cerr << "norvane-plcsim: cannot read " << options.imagePath << "\n";
        return 2;
    }
    options.plc.checkFraming = false;  // a pseudo-terminal is always 8N1
    options.plc.reopenIsReconnect = true;
    plcsim::SimulatedPlc plc(options.plc);
    plcsim::PtyServer server(plc);
    if (!server.Open(error)) {
        std::cerr << "norvane-plcsim: " << error << "\n";
        return 2;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::cout << server.SlavePath() << std::endl;

    plcsim::ServeOptions serve;
    serve.exitAfterBurn = options.exitAfterBurn;
    serve.idleTimeoutSeconds = options.idleTimeoutSeconds;
    serve.paceLine = options.paceLine;
    serve.blockWriteUs = options.blockWriteUs;
    serve.eraseUnitUs = options.eraseUnitUs;
    if (options.untilStarted) {
        server.ServeUntilStarted();
    }
    server.Serve(serve);

    std::cout << plc.Summary();
    if (options.lineFigures) {
        std::cout << plcsim::DescribeLineFigures(server.Figures());
    }
    bool ok = plc.TransferCompleted();
    if (!options.imagePath.empty()) {
        ok = plc.FlashHoldsImage(image.data(), image.size());
        std::cout << "flash equals image: " << (ok ? "yes" : "no") << std::endl;
    }
    return ok ? 0 : 1;
}
