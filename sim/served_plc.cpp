#include "served_plc.h"

#include <utility>

namespace plcsim {

namespace {

PlcConfig OnPseudoTerminal(PlcConfig config) {
    config.checkFraming = false;
    config.reopenIsReconnect = true;
    return config;
}

}  // namespace

ServedPlc::ServedPlc(PlcConfig config) : plc_(OnPseudoTerminal(std::move(config))), server_(plc_) {}

ServedPlc::~ServedPlc() {
    Stop();
}

bool ServedPlc::Start(const ServeOptions& options, std::string& error) {
    if (!server_.Open(error)) {
        return false;
    }
    thread_ = std::thread([this, options] { server_.Serve(options); });
    return true;
}

void ServedPlc::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ServedPlc::Stop() {
    server_.Stop();
    Join();
}

}  // namespace plcsim
