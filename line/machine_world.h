// The station's world on the machine it runs on: the machine's clock, its ports
// and PLC locks (machine.h), the PLCs on USB followed through the machine's
// device events, serial ports asked on threads of their own, and the record
// followed as it grows.
#pragma once

#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "line/record_follower.h"
#include "line/station_world.h"

namespace norvane::line {

class MachineWorld : public StationWorld {
  public:
    // `record`: the record file; empty: none. `line`: asks the line's shared
    // record about a unit (beside the loop); null: there is none.
    explicit MachineWorld(const std::string& record,
                          std::function<LineWord(const UnitAsk&)> line = nullptr);
    ~MachineWorld() override;  // an ask under way is waited for: it holds its port
    MachineWorld(const MachineWorld&) = delete;
    MachineWorld& operator=(const MachineWorld&) = delete;

    Clock::time_point Now() override { return Clock::now(); }
    UsbUnits PlcsOnUsb() override;
    bool HearsUsb() override { return usbFollower_ != nullptr; }
    void WakeWith(std::function<void()> wake) override;
    WorldNews TakeNews() override;
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
    bool AsksLine() const override { return line_ != nullptr; }
    void AskLine(const std::string& port, const UnitAsk& ask) override;
    std::optional<LineWord> LineAnswered(const std::string& port) override;
    void Notify(const std::string& state) override { machine::TellServiceManager(state); }

    // Work beside the station's loop: its answer, and the thread that gives it
    // (waited for when it is dropped).
    template <typename T>
    struct Beside {
        std::future<T> answer;
        std::future<void> work;
    };

  private:
    void FollowUsb();
    void Wake(const std::string& answered);
    template <typename T, typename Work>
    void Begin(std::map<std::string, Beside<T>>& under, const std::string& port, Work work);

    std::string record_;
    std::optional<RecordFollower> follower_;
    std::string recordTrouble_;  // the last warning about reading the record
    std::map<std::string, Beside<bool>> asks_;
    std::map<std::string, Beside<PortIdentity>> identities_;
    std::function<LineWord(const UnitAsk&)> line_;
    std::map<std::string, Beside<LineWord>> lineWords_;
    std::unique_ptr<machine::PlcUsbFollower> usbFollower_;
    std::mutex mutex_;  // of what the threads beside the loop write, and of `wake_`
    UsbUnits usb_;
    WorldNews news_;
    std::function<void()> wake_;
    std::thread usbThread_;
};

}  // namespace norvane::line
