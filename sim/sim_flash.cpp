#include "sim_flash.h"

#include <algorithm>

namespace plcsim {

SimFlash::SimFlash(std::size_t size, std::size_t eraseUnit) : bytes_(size), eraseUnit_(eraseUnit) {
    // The previous firmware: a pattern that no test image is likely to match by chance.
    for (std::size_t i = 0; i < size; ++i) {
        bytes_[i] = static_cast<std::uint8_t>(i * 31u + 7u);
    }
}

void SimFlash::StartSession() {
    sessionErased_ = false;
}

bool SimFlash::EraseNextUnit() {
    if (!sessionErased_) {
        sessionErased_ = true;
        erasedEnd_ = 0;
        writeEnd_ = 0;
    }
    if (erasedEnd_ + eraseUnit_ > bytes_.size()) {
        return false;
    }
    std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(erasedEnd_), eraseUnit_, 0xFF);
    erasedEnd_ += eraseUnit_;
    return true;
}

bool SimFlash::Append(const std::uint8_t* data, std::size_t count) {
    if (!sessionErased_ || writeEnd_ + count > erasedEnd_) {
        return false;
    }
    std::copy_n(data, count, bytes_.begin() + static_cast<std::ptrdiff_t>(writeEnd_));
    writeEnd_ += count;
    return true;
}

bool SimFlash::Equals(const std::uint8_t* image, std::size_t count) const {
    return count <= bytes_.size() && std::equal(image, image + count, bytes_.begin());
}

}  // namespace plcsim
