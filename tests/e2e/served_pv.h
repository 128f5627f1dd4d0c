// PV PLCs (a USB model that asks for a replug and waits 2 s after it) served on
// pseudo-terminals by the test process, for the PV build of the terminal program.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "served_plc.h"

namespace norvane::test {

inline const std::string kPvTool = NORVANE_PV_TOOL;
// The generated stand-in image of a development build, whatever this build embeds.
inline const std::string kPlaceholderImage = NORVANE_PLACEHOLDER_IMAGE;
inline const std::string kReplugPrompt =
    "Please REPLUG the USB Cable, and then press OK to continue";
inline const std::string kSuccess =
    "Information: Firmware update is SUCCESSFUL!, please REPLUG the USB cable";

inline std::vector<std::uint8_t> PvImage() {
    std::ifstream in(NORVANE_PV_IMAGE, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A PV PLC in its application firmware (or one of `model`), served until its burn
// is over.
class ServedPv {
  public:
    explicit ServedPv(plcsim::PlcConfig config = {}) : ServedPv("PV", std::move(config)) {}
    // `untilStopped`: served until Stop(), not only until a burn ends (a station
    // asks a serial port between burns, opening and closing it).
    ServedPv(const char* model, plcsim::PlcConfig config, bool untilStopped = false)
        : plc_(WithModel(model, std::move(config))) {
        plcsim::ServeOptions options;
        options.exitAfterBurn = !untilStopped;
        options.idleTimeoutSeconds = 60;
        std::string error;
        started_ = plc_.Start(options, error);
    }
    bool Started() const { return started_; }
    const std::string& Port() const { return plc_.SlavePath(); }
    bool FlashHoldsImage() { return FlashHolds(PvImage()); }
    bool FlashHolds(const std::vector<std::uint8_t>& image) {
        plc_.Join();  // or its Stop()
        return !image.empty() && plc_.Plc().FlashHoldsImage(image.data(), image.size());
    }
    // Ends the serving now, for a PLC whose burn will not end it.
    void Stop() { plc_.Stop(); }
    // A station's unit: served until its new firmware was asked after the burn.
    void ServeUntilStarted() { plc_.ServeUntilStarted(); }
    bool TransferDone() const { return plc_.TransferDone(); }
    // How many requests of `kind` it received; ask once the serving has ended.
    std::size_t Requests(plcsim::Exchange kind) { return plc_.Plc().CountRequests(kind); }
    std::size_t Received() { return plc_.Plc().ReceivedBytes().size(); }

  private:
    static plcsim::PlcConfig WithModel(const char* model, plcsim::PlcConfig config) {
        config.model = model;
        return config;
    }
    plcsim::ServedPlc plc_;
    bool started_ = false;
};

}  // namespace norvane::test
