// The PLC's application flash: cleared unit by unit from address 0, then programmed
// block by block from address 0. Programming needs cleared flash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plcsim {

class SimFlash {
  public:
    SimFlash(std::size_t size, std::size_t eraseUnit);

    // A new bootloader session: it erases and programs again from address 0 once
    // it erases. Until then the flash is what the last session left, and says so
    // (a line reopened after a burn, only to ask, leaves the burnt image as it is).
    void StartSession();

    // Clears the next unit; false when the flash has no further unit.
    bool EraseNextUnit();

    // Programs the bytes at the write position; false (nothing written) when any of
    // them lies outside what this session erased.
    bool Append(const std::uint8_t* data, std::size_t count);

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::size_t ErasedBytes() const { return erasedEnd_; }
    std::size_t WrittenBytes() const { return writeEnd_; }
    bool Equals(const std::uint8_t* image, std::size_t count) const;

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t eraseUnit_;
    std::size_t erasedEnd_ = 0;
    std::size_t writeEnd_ = 0;
    bool sessionErased_ = true;  // this session has erased: it writes where it erased
};

}  // namespace plcsim
