// One direction of a serial line: bytes take the time their bits need at the
// speed in force, one after another. The served line holds every byte back until
// its last bit would have arrived, so the tool sees a PLC at the end of a real wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace plcsim {

// Start bit, 7 data bits and parity or 8 data bits, stop bit.
constexpr std::uint32_t kBitsPerCharacter = 10;

// Microseconds one character needs on the wire at `baud`; 0 for an unknown speed.
double CharacterUs(std::uint32_t baud);

struct WireByte {
    std::uint64_t atUs;  // when its last bit has arrived
    std::uint8_t byte;
    std::uint8_t tag;  // what the byte belongs to, for whoever measures the line
};

class WireDirection {
  public:
    // Queues `count` bytes that start no earlier than `fromUs`, each `characterUs` long.
    void Queue(const std::uint8_t* bytes, std::size_t count, std::uint64_t fromUs,
               double characterUs, std::uint8_t tag = 0);

    bool Empty() const { return bytes_.empty(); }
    std::size_t Size() const { return bytes_.size(); }
    std::optional<std::uint64_t> NextDueUs() const;

    // How many bytes from the front have arrived by `nowUs`.
    std::size_t DueCount(std::uint64_t nowUs) const;
    const WireByte& At(std::size_t index) const { return bytes_[index]; }
    void Drop(std::size_t count);

    void Clear();

  private:
    std::deque<WireByte> bytes_;
    double busyUntilUs_ = 0;  // the last queued byte's end
};

}  // namespace plcsim
