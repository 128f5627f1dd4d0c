#include "reference_sender.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "link/block_transfer.h"
#include "link/boot_commands.h"

namespace norvane::bench {

namespace {

constexpr int kReplyTimeoutMs = 3000;
constexpr std::uint8_t kAckByte = 0x06;
constexpr std::uint8_t kEotByte = 0x04;

void SetSpeed(int fd, speed_t speed) {
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        tcsetattr(fd, TCSANOW, &t);
    }
}

bool Acknowledged(int fd, const void* request, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(request);
    for (std::size_t sent = 0; sent < length;) {
        const ssize_t n = write(fd, bytes + sent, length - sent);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    pollfd p{fd, POLLIN, 0};
    std::uint8_t reply = 0;
    return poll(&p, 1, kReplyTimeoutMs) == 1 && read(fd, &reply, 1) == 1 && reply == kAckByte;
}

bool Burn(int fd, const PlcModel& model, const std::vector<std::uint8_t>& image) {
    const auto size = static_cast<std::uint32_t>(image.size());
    std::uint16_t eraseUnits = 0;
    BlockPlan plan{};
    if (!EraseCount(model, size, eraseUnits) || !PlanBlocks(model, size, plan)) {
        return false;
    }
    const bool serial = model.linkKind == LinkKind::Serial;
    SetSpeed(fd, serial ? B9600 : B38400);
    for (std::uint16_t k = 0; k < eraseUnits; ++k) {
        if (!Acknowledged(fd, "ERASE", 5)) {
            return false;
        }
    }
    if (!Acknowledged(fd, &kEotByte, 1) || !Acknowledged(fd, "UPDATE", 6)) {
        return false;
    }
    SetSpeed(fd, B115200);
    std::uint8_t block[3 + 256 + 2];
    std::size_t at = 0;
    for (std::int32_t i = 0; i < plan.blockCount; ++i) {
        const auto number = static_cast<std::uint8_t>(i + 1);
        block[0] = 0x02;
        block[1] = number;
        block[2] = static_cast<std::uint8_t>(~number);
        const bool last = i == plan.blockCount - 1;
        const std::size_t take = last && plan.lastBytes != 0 ? plan.lastBytes : plan.blockSize;
        std::memcpy(block + 3, image.data() + at, take);
        std::memset(block + 3 + take, 0x1A, plan.blockSize - take);
        at += take;
        const std::uint32_t crc = CRC(block + 3, static_cast<std::int32_t>(plan.blockSize));
        block[3 + plan.blockSize] = static_cast<std::uint8_t>(crc >> 8);
        block[4 + plan.blockSize] = static_cast<std::uint8_t>(crc);
        if (!Acknowledged(fd, block, plan.blockSize + 5)) {
            return false;
        }
    }
    return Acknowledged(fd, &kEotByte, 1);
}

}  // namespace

bool RunReferenceSender(const std::string& path, const PlcModel& model,
                        const std::vector<std::uint8_t>& image) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    const bool ok = Burn(fd, model, image);
    close(fd);
    return ok;
}

}  // namespace norvane::bench
