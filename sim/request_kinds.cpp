#include "request_kinds.h"

#include <cstring>

#include "sim_checksums.h"

namespace plcsim {
namespace {

bool PayloadIs(const std::vector<std::uint8_t>& msg, const char* text) {
    const std::size_t n = std::strlen(text);
    return msg.size() == 4 + n && std::memcmp(msg.data() + 4, text, n) == 0;
}

constexpr BootWord kWords[] = {
    {"ID", 2, Exchange::BootId},
    {"VERSION", 7, Exchange::BootVersion},
    {"ERASE", 5, Exchange::BootErase},
    {"UPDATE", 6, Exchange::BootUpdate},
};

}  // namespace

const BootWord* BootWords(std::size_t& count) {
    count = sizeof(kWords) / sizeof(kWords[0]);
    return kWords;
}

Exchange ClassifyMessage(const std::vector<std::uint8_t>& msg) {
    if (msg.size() < 2 || msg[0] != 0x00) {
        return Exchange::OtherFrame;
    }
    if (msg[1] == 0x7F && msg.size() == 2) {
        return Exchange::Wake;
    }
    if (msg[1] == 0x03 && msg.size() == 6) {
        return Exchange::ReadRegister;
    }
    if (msg[1] != 0x64 || msg.size() < 5 || msg[2] != 0x01) {
        return Exchange::OtherFrame;
    }
    if (msg.size() == 5) {
        switch (msg[4]) {
            case 0x01:
                return Exchange::ModeQuery;
            case 0x05:
                return Exchange::Version;
            case 0x06:
                return Exchange::EraseConfirm;
            default:
                return Exchange::OtherFrame;
        }
    }
    if (PayloadIs(msg, "ID")) {
        return Exchange::TypeId;
    }
    if (PayloadIs(msg, "ERASE")) {
        return Exchange::EraseRequest;
    }
    return Exchange::OtherFrame;
}

std::optional<Exchange> ClassifyWrite(const std::uint8_t* data, std::size_t count, bool bootloader,
                                      bool transferPhase) {
    if (count == 0) {
        return std::nullopt;
    }
    if (data[0] == ':' && count >= 5) {
        const auto decoded = DecodeHexUpper(data + 1, count - 3);
        if (!decoded || decoded->empty()) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> msg(decoded->begin(), decoded->end() - 1);
        return ClassifyMessage(msg);
    }
    if (!bootloader) {
        return std::nullopt;
    }
    if (transferPhase) {
        if (data[0] == 0x02) {
            return Exchange::Block;
        }
        if (data[0] == 0x04 && count == 1) {
            return Exchange::TransferEnd;
        }
        return std::nullopt;
    }
    if (data[0] == 0x04 && count == 1) {
        return Exchange::BootEraseEnd;
    }
    for (const BootWord& w : kWords) {
        if (count == w.length && std::memcmp(data, w.text, w.length) == 0) {
            return w.kind;
        }
    }
    return std::nullopt;
}

}  // namespace plcsim
