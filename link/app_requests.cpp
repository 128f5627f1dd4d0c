#include "link/app_requests.h"

#include "burn/shared_values.h"

namespace norvane {

namespace {

constexpr std::uint8_t kStation = 0x00;
constexpr std::uint8_t kFunctionWake = 0x7F;
constexpr std::uint8_t kFunctionReadRegisters = 0x03;
constexpr std::uint8_t kFunctionService = 0x64;
constexpr std::uint8_t kServiceSubfunction = 0x01;

template <std::size_t N>
RequestFrame Service(std::uint8_t unitByte, const std::uint8_t (&payload)[N]) {
    std::uint8_t message[4 + N] = {kStation, kFunctionService, kServiceSubfunction, unitByte};
    for (std::size_t i = 0; i < N; ++i) {
        message[4 + i] = payload[i];
    }
    return BuildFrame(message, sizeof message);
}

}  // namespace

RequestFrame WakeRequest() {
    const std::uint8_t message[] = {kStation, kFunctionWake};
    return BuildFrame(message, sizeof message);
}

RequestFrame ModeQueryRequest(std::uint8_t unitByte) {
    const std::uint8_t payload[] = {0x01};
    return Service(unitByte, payload);
}

RequestFrame TypeCheckRequest(std::uint8_t unitByte) {
    const std::uint8_t payload[] = {'I', 'D'};
    return Service(unitByte, payload);
}

RequestFrame RegisterReadRequest(std::uint16_t address) {
    const std::uint8_t message[] = {kStation,
                                    kFunctionReadRegisters,
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address & 0xFF),
                                    0x00,
                                    0x01};
    return BuildFrame(message, sizeof message);
}

RequestFrame VersionRequest() {
    const std::uint8_t payload[] = {0x05};
    return Service(kUnitByte, payload);  // the version read never uses the AIO unit byte
}

RequestFrame EraseRequest(std::uint8_t unitByte) {
    const std::uint8_t payload[] = {'E', 'R', 'A', 'S', 'E'};
    return Service(unitByte, payload);
}

RequestFrame EraseConfirmation(std::uint8_t unitByte) {
    const std::uint8_t payload[] = {0x06};
    return Service(unitByte, payload);
}

std::uint8_t SelectedUnitByte() {
    return SelectedModel().aioFraming ? kAioUnitByte : kUnitByte;
}

}  // namespace norvane
