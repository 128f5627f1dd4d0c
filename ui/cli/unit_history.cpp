#include "ui/cli/unit_history.h"

#include "burn/untrusted_text.h"

namespace norvane::cli {

void UnitHistory::Learn(const JsonObject& record) {
    const std::string serial = record.Text("usb_serial");
    const bool succeeded = record.TypeOf("exit_status") == JsonObject::Type::Number &&
                           record.Number("exit_status") == 0;
    if (serial.empty() ||
        (!succeeded && !record.Flag("erase_begun") && !record.Flag("handed_over"))) {
        return;
    }
    // The record holds the serial number as valid UTF-8 already.
    units_[serial] = UnitBurn{succeeded, record.Text("model"), record.Text("sha256"),
                              record.Text("image"), record.Text("time")};
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

}  // namespace norvane::cli
