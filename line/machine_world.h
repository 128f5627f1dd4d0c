// The station's world on the machine it runs on: the machine's clock, its ports
// and PLC locks (machine.h), serial ports asked on threads of their own, and the
// record followed as it grows.
#pragma once

#include <future>
#include <map>
#include <optional>
#include <string>

#include "line/record_follower.h"
#include "line/station_world.h"

namespace norvane::line {

class MachineWorld : public StationWorld {
  public:
    // `record`: the record file; empty: none.
    explicit MachineWorld(const std::string& record);
    ~MachineWorld() override;  // an ask under way is waited for: it holds its port

    Clock::time_point Now() override { return Clock::now(); }
    UsbUnits PlcsOnUsb() override;
    bool PortExists(const std::string& port) override { return machine::PortExists(port); }
    void Ask(const std::string& port) override;
    std::optional<bool> Answer(const std::string& port) override;
    void Identify(const std::string& port) override;
    std::optional<PortIdentity> Identified(const std::string& port) override;
    bool AgainAsked(const std::string& usbSerial) override {
        return machine::AgainAsked(usbSerial);
    }
    std::string PlcHolder(const std::string& port) override { return machine::PlcHolder(port); }
    std::unique_ptr<machine::SocketClaim> Claim(const std::string& socket,
                                                std::string& holder) override {
        return machine::ClaimSocket(socket, holder);
    }
    bool RecordWritable(std::string& why) override;
    bool Record(const std::string& line, std::string& error) override {
        return record_.empty() || machine::AppendLine(record_, line, error);
    }
    std::vector<RecordedBurn> RecordedSince() override;
    void Notify(const std::string& state) override { machine::TellServiceManager(state); }

  private:
    std::string record_;
    std::optional<RecordFollower> follower_;
    std::string recordTrouble_;  // the last warning about reading the record
    std::map<std::string, std::future<bool>> asks_;
    std::map<std::string, std::future<PortIdentity>> identities_;
};

}  // namespace norvane::line
