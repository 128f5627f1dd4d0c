// Tests of single exchanges: scripted replies at the far end of the test link, the
// reply frames a PLC sends, and the burn values they read. Time is virtual: a read
// that is not fully answered costs exactly its read time-out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "burn/burn_context.h"
#include "burn/burn_messages.h"
#include "burn/image.h"
#include "burn/shared_values.h"
#include "link/exchange.h"
#include "link/link.h"
#include "test_image.h"
#include "test_link.h"

namespace norvane::fake {

using Bytes = std::vector<std::uint8_t>;

inline Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A 19-character service reply (or, with five bytes, a 15-character register
// reply) with a correct LRC unless `lrcDelta` spoils it.
inline Bytes AppReplyFrame(const Bytes& message, int lrcDelta = 0, bool lowerCase = false) {
    const char* digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
    unsigned sum = 0;
    std::string text = ":";
    auto put = [&](std::uint8_t b) {
        text += digits[b >> 4];
        text += digits[b & 15];
    };
    for (std::uint8_t b : message) {
        sum += b;
        put(b);
    }
    put(static_cast<std::uint8_t>(0x100 - (sum & 0xFF) + lrcDelta));
    text += "\r\n";
    return B(text);
}

inline Bytes ServiceReply(std::uint8_t status, std::uint8_t b5 = 0, std::uint8_t b6 = 0) {
    return AppReplyFrame({0x00, 0x64, 0x01, 0x59, status, b5, b6});
}

inline Bytes TypeReply(std::uint16_t id) {
    return ServiceReply(0x06, static_cast<std::uint8_t>(id >> 8),
                        static_cast<std::uint8_t>(id & 0xFF));
}

inline Bytes RegisterReply(std::uint16_t value) {
    return AppReplyFrame({0x00, 0x03, 0x02, static_cast<std::uint8_t>(value >> 8),
                          static_cast<std::uint8_t>(value & 0xFF)});
}

// Replies played back from a script, one whole reply per read, so there is never
// anything left over to drop.
struct Script : test::FarEnd {
    std::deque<Bytes> replies;        // one per read; an empty queue is silence
    std::optional<Bytes> everyReply;  // answers every read once the queue is empty

    std::size_t Answer(std::uint8_t* data, std::size_t count, test::VirtualClock&, std::uint64_t) {
        Bytes reply;
        if (!replies.empty()) {
            reply = replies.front();
            replies.pop_front();
        } else if (everyReply) {
            reply = *everyReply;
        }
        const std::size_t n = reply.size() < count ? reply.size() : count;
        if (n != 0)
            std::memcpy(data, reply.data(), n);
        return n;
    }
};

// The test link with a script at the far end; each read notes the failures the
// panel showed as it began.
class ScriptedLink : public test::TestLink<Script> {
  public:
    ScriptedLink() { WatchCounter(errCounter); }
};

// The numbers of the PLC tool's result table.
constexpr ExchangeResult kResultOk = 0x00;
constexpr ExchangeResult kModeApplication = 0x05;
constexpr ExchangeResult kModeBootloader = 0x06;
constexpr ExchangeResult kResultBootFailed = 0x10;
constexpr ExchangeResult kResultFlashWriteError = 0x16;
constexpr ExchangeResult kResultNoResponse = 0x18;

template <typename Result>
ExchangeResult Code(Result result) {
    return ResultCode(result);
}

inline ExchangeContext On(Link& link) {
    return SelectedPlc(link);
}

// Selects a model and clears the burn values before each test.
inline void Select(const char* model) {
    SelectModel(FindModel(model));
    ResetBurnValues();
    QB_fu_version.store(0);
}

// A test of the erase or the transfer: the image loaded as a burn loads it, the
// cursor at its first byte, released after the test.
class LoadedImageTest : public ::testing::Test {
  protected:
    void Load(const char* model, std::uint32_t size) {
        Select(model);
        image_ = plcsim::TestImage(size);
        SetLoadedImage(FirmwareImage{image_.data(), size});
    }
    void TearDown() override { CloseFile(); }
    std::vector<std::uint8_t> image_;
};

inline std::int32_t Err() {
    return errCounter.load();
}
inline std::int32_t Total() {
    return totalErrCounter.load();
}

}  // namespace norvane::fake
