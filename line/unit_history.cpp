#include "line/unit_history.h"

#include "burn/untrusted_text.h"

namespace norvane::line {

void UnitHistory::Learn(const RecordedBurn& record) {
    const bool succeeded = record.exitStatus == 0;
    if (record.usbSerial.empty() || (!succeeded && !record.eraseBegun && !record.handedOver)) {
        return;
    }
    // The record holds the serial number as valid UTF-8 already.
    units_[record.usbSerial] =
        UnitBurn{succeeded, record.model, record.sha256, record.image, record.time};
}

void UnitHistory::Learn(const std::string& usbSerial, UnitBurn burn) {
    if (!usbSerial.empty()) {
        units_[AsUtf8(usbSerial)] = std::move(burn);
    }
}

const UnitBurn* UnitHistory::Last(const std::string& usbSerial) const {
    const auto unit = units_.find(AsUtf8(usbSerial));
    return usbSerial.empty() || unit == units_.end() ? nullptr : &unit->second;
}

bool UnitHistory::Done(const std::string& usbSerial, const std::string& model,
                       const std::string& sha256) const {
    const UnitBurn* last = Last(usbSerial);
    return last != nullptr && last->succeeded && last->model == model && last->sha256 == sha256;
}

}  // namespace norvane::line
