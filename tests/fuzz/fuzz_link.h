// A link whose whole behaviour comes from the fuzzer's input: each write may
// fail, each read delivers any number of bytes up to what was asked (a short
// read is a time-out), and the bytes are whatever the input holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "test_link.h"

namespace norvane::fuzz {

// The fuzzer's input, consumed from the front.
class InputStream {
  public:
    InputStream(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}

    bool Empty() const { return left_ == 0; }

    // The next byte, or `otherwise` once the input is used up.
    std::uint8_t Byte(std::uint8_t otherwise = 0) {
        if (left_ == 0)
            return otherwise;
        --left_;
        return *data_++;
    }

    // Up to `count` bytes into `out`; the number copied.
    std::size_t Bytes(std::uint8_t* out, std::size_t count) {
        const std::size_t n = count < left_ ? count : left_;
        if (n != 0)
            std::memcpy(out, data_, n);
        data_ += n;
        left_ -= n;
        return n;
    }

  private:
    const std::uint8_t* data_;
    std::size_t left_;
};

// The far end of the test link, driven by the fuzzer's input.
class InputEnd : public test::FarEnd {
  public:
    explicit InputEnd(InputStream& input) : input_(&input) {}

    // One byte in sixteen patterns a write that did not go out at all.
    bool Refuses(const std::uint8_t*, std::size_t) { return (input_->Byte() & 0x0F) == 0x0F; }

    // Mostly the full count, sometimes a short read: 0xC0 and up picks a length
    // below the requested one. What waits to be dropped is the input's next bytes
    // either way, so nothing is.
    std::size_t Answer(std::uint8_t* data, std::size_t count, test::VirtualClock&, std::uint64_t) {
        const std::uint8_t shape = input_->Byte(0xFF);
        std::size_t wanted = count;
        if (shape >= 0xC0 && count != 0)
            wanted = static_cast<std::size_t>(shape - 0xC0) % count;
        return input_->Bytes(data, wanted);
    }

  private:
    InputStream* input_;
};

// Nothing reads what it did, so it records nothing.
class FuzzLink : public test::TestLink<InputEnd> {
  public:
    explicit FuzzLink(InputStream& input) : TestLink(InputEnd(input)) { StopRecording(); }
};

}  // namespace norvane::fuzz
