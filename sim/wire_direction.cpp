#include "wire_direction.h"

#include <algorithm>
#include <cmath>

namespace plcsim {

double CharacterUs(std::uint32_t baud) {
    return baud == 0 ? 0.0 : kBitsPerCharacter * 1e6 / baud;
}

void WireDirection::Queue(const std::uint8_t* bytes, std::size_t count, std::uint64_t fromUs,
                          double characterUs, std::uint8_t tag) {
    // A byte never overtakes the one before it, and the line is never early.
    double at = std::max(busyUntilUs_, static_cast<double>(fromUs));
    for (std::size_t i = 0; i < count; ++i) {
        at += characterUs;
        bytes_.push_back({static_cast<std::uint64_t>(std::ceil(at)), bytes[i], tag});
    }
    busyUntilUs_ = at;
}

std::optional<std::uint64_t> WireDirection::NextDueUs() const {
    if (bytes_.empty()) {
        return std::nullopt;
    }
    return bytes_.front().atUs;
}

std::size_t WireDirection::DueCount(std::uint64_t nowUs) const {
    std::size_t n = 0;
    while (n < bytes_.size() && bytes_[n].atUs <= nowUs) {
        ++n;
    }
    return n;
}

void WireDirection::Drop(std::size_t count) {
    bytes_.erase(bytes_.begin(),
                 bytes_.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes_.size())));
}

void WireDirection::Clear() {
    bytes_.clear();
}

}  // namespace plcsim
