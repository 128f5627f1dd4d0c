// Small helpers for driving a simulated PLC directly in its own tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sim_checksums.h"
#include "simulated_plc.h"
#include "test_image.h"

namespace plcsim::testing {

inline void Send(SimulatedPlc& plc, const std::string& text, std::uint64_t nowMs = 0) {
    plc.Receive(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), nowMs);
}

inline void SendBytes(SimulatedPlc& plc, const std::vector<std::uint8_t>& bytes,
                      std::uint64_t nowMs = 0) {
    plc.Receive(bytes.data(), bytes.size(), nowMs);
}

// Everything the PLC has made available by `nowMs`, as text.
inline std::string Take(SimulatedPlc& plc, std::uint64_t nowMs = 0) {
    std::string out;
    std::uint8_t buf[512];
    for (std::size_t n; (n = plc.Transmit(buf, sizeof buf, nowMs)) > 0;) {
        out.append(reinterpret_cast<const char*>(buf), n);
    }
    return out;
}

inline std::string Crlf(const std::string& frame) {
    return frame + "\r\n";
}

inline std::vector<std::uint8_t> MakeBlock(std::uint8_t number,
                                           const std::vector<std::uint8_t>& data) {
    // Sized once and filled in place: growing a three-byte vector by insert
    // trips a false -Warray-bounds in GCC 12.
    std::vector<std::uint8_t> block(3 + data.size());
    block[0] = 0x02;
    block[1] = number;
    block[2] = static_cast<std::uint8_t>(255 - number);
    std::copy(data.begin(), data.end(), block.begin() + 3);
    const std::uint16_t crc = Crc16(data.data(), data.size());
    block.push_back(static_cast<std::uint8_t>(crc >> 8));
    block.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return block;
}

// A bootloader-mode PLC taken through erase and UPDATE at the transfer settings.
inline void PrepareTransfer(SimulatedPlc& plc, int eraseUnits) {
    plc.OnLineSettings(9600, 7, Parity::Even, 1);
    for (int i = 0; i < eraseUnits; ++i) {
        Send(plc, "ERASE");
    }
    Send(plc, "\x04");
    Send(plc, "UPDATE");
    plc.OnLineSettings(115200, 8, Parity::None, 1);
    Take(plc);
}

// Sends `image` as blocks the way a correct tool would, then EOT; returns the replies.
inline std::string SendImage(SimulatedPlc& plc, const std::vector<std::uint8_t>& image) {
    const std::size_t size = plc.Model().blockSize;
    std::string replies;
    std::uint8_t number = 1;
    for (std::size_t at = 0; at < image.size(); at += size, ++number) {
        std::vector<std::uint8_t> data(size, 0x1A);
        const std::size_t n = std::min(size, image.size() - at);
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(at), n, data.begin());
        SendBytes(plc, MakeBlock(number, data));
        replies += Take(plc);
    }
    Send(plc, "\x04");
    return replies + Take(plc);
}

}  // namespace plcsim::testing
