#include "link/app_exchange.h"

#include <cstring>

namespace norvane {

namespace {
constexpr std::uint8_t kStatusNak = 0x15;
constexpr std::uint8_t kNakClassRunMode = 1;
constexpr std::uint8_t kNakClassRefused = 2;
}  // namespace

bool ReadAppReply(Link& link, AppReply& reply, std::size_t length) {
    std::memset(reply.raw, 0, length);
    if (link.Read(reply.raw, length) != length) {
        return false;
    }
    const int hexCharacters = static_cast<int>(length) - 3;  // between ':' and CR LF
    return (CheckLRC(reply.raw + 1, hexCharacters) & 0xFF) == 0;
}

ExchangeResult ClassifyNak(const AppReply& reply, const NakCodes& codes) {
    if (reply.Byte(4) != kStatusNak) {
        return kResultNoResponse;
    }
    const std::uint8_t nakClass = reply.Byte(5);
    if (codes.runModeClass && nakClass == kNakClassRunMode) {
        return kResultRunMode;
    }
    if (nakClass != kNakClassRefused) {
        return kResultNakUnknownClass;
    }
    const std::uint8_t code = reply.Byte(6);
    if (code == codes.first || code == codes.second) {
        return kResultNakCodeBase + code;
    }
    return kResultNakUnmapped;
}

}  // namespace norvane
