// What is known of each unit by its USB serial number: its last burn that
// succeeded or that changed the PLC, from the record (whoever wrote the line)
// and from this station's own burns. A unit counts as done only where that burn
// succeeded with the same model and the same image.
#pragma once

#include <map>
#include <string>

#include "line/burn_record.h"

namespace norvane::line {

struct UnitBurn {
    bool succeeded = false;
    std::string model;
    std::string sha256;
    std::string image;
    std::string time;  // when it ended, as the record writes it
};

class UnitHistory {
  public:
    // A record line. A line without a USB serial number tells nothing, and nor
    // does a failed burn that changed nothing (its PLC is as it was before).
    void Learn(const RecordedBurn& record);
    void Learn(const std::string& usbSerial, UnitBurn burn);

    // The unit's last burn that counts; null when it has none.
    const UnitBurn* Last(const std::string& usbSerial) const;
    bool Done(const std::string& usbSerial, const std::string& model,
              const std::string& sha256) const;

  private:
    std::map<std::string, UnitBurn> units_;  // by the serial number as the record writes it
};

}  // namespace norvane::line
