#include "burn/shared_values.h"

#include <cstring>

namespace norvane {

char selectedPLC[kModelNameSlot] = "";
std::atomic<std::int32_t> selectedPLCIdx{0};
std::atomic<std::uint16_t> selectedPLCID{0};
SelectedPort selectedComPort;

std::atomic<std::int32_t> flashStatus{0};
std::atomic<std::int32_t> progress{0};
std::atomic<std::int32_t> errCounter{0};
std::atomic<std::int32_t> totalErrCounter{0};
std::atomic<std::int32_t> elapsedTime{0};
std::atomic<std::int32_t> reportedTypeId{-1};
std::atomic<std::int32_t> reportedBootVersion{-1};
std::atomic<std::uint8_t> QB_fu_version{0};

void SelectedPort::Set(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    name_ = name;
}

std::string SelectedPort::Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return name_;
}

void SelectModel(int index) {
    const PlcModel& model = ModelAt(index);
    std::memcpy(selectedPLC, model.name, kModelNameSlot);
    selectedPLCIdx.store(index, std::memory_order_relaxed);
    selectedPLCID.store(model.typeId, std::memory_order_relaxed);
}

const PlcModel& SelectedModel() {
    return ModelAt(selectedPLCIdx.load(std::memory_order_relaxed));
}

void ResetBurnValues() {
    constexpr auto relaxed = std::memory_order_relaxed;
    elapsedTime.store(0, relaxed);
    flashStatus.store(0, relaxed);
    progress.store(0, relaxed);
    errCounter.store(0, relaxed);
    totalErrCounter.store(0, relaxed);
}

}  // namespace norvane
