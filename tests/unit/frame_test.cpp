// The characters on the wire in application mode, the LRC and the block CRC.
#include "link/frame.h"

#include <gtest/gtest.h>

#include <string>

#include "link/block_transfer.h"

namespace norvane {
namespace {

std::string Text(const RequestFrame& f) {
    return std::string(f.text, f.length);
}

TEST(Frame, EveryApplicationRequestIsByteExact) {
    struct Case {
        const char* what;
        RequestFrame frame;
        const char* expected;
    };
    const Case cases[] = {
        {"wake", WakeRequest(), ":007F81"},
        {"mode query", ModeQueryRequest(0x59), ":006401590141"},
        {"mode query aio", ModeQueryRequest(0x5B), ":0064015B013F"},
        {"type check", TypeCheckRequest(0x59), ":006401594944B5"},
        {"type check aio", TypeCheckRequest(0x5B), ":0064015B4944B3"},
        {"D1386", RegisterReadRequest(1386), ":0003156A00017D"},
        {"D1001", RegisterReadRequest(1001), ":000313E9000100"},
        {"D1148", RegisterReadRequest(1148), ":0003147C00016C"},
        {"version", VersionRequest(), ":00640159053D"},
        {"erase", EraseRequest(0x59), ":006401594552415345D2"},
        {"erase aio", EraseRequest(0x5B), ":0064015B4552415345D0"},
        {"confirm", EraseConfirmation(0x59), ":00640159063C"},
        {"confirm aio", EraseConfirmation(0x5B), ":0064015B063A"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(c.frame), std::string(c.expected) + "\r\n") << c.what;
    }
}

TEST(Frame, OversizedMessageBuildsNothing) {
    const std::uint8_t message[kMaxRequestMessage + 1] = {};
    EXPECT_EQ(BuildFrame(message, sizeof message).length, 0u);
}

TEST(CheckLRC, DecodesInPlaceAndSumsToZeroWhenIntact) {
    std::uint8_t reply[] = ":006401590600003C\r\n";
    // 00 64 01 59 06 00 00 and the LRC 0x3C sum to 0x100
    EXPECT_EQ(CheckLRC(reply + 1, 16) & 0xFF, 0);
    const std::uint8_t decoded[] = {0x00, 0x64, 0x01, 0x59, 0x06, 0x00, 0x00, 0x3C};
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(reply[k + 1], decoded[k]) << k;
    }
    EXPECT_EQ(reply[9], '0');  // the characters after the decoded stretch stay
}

TEST(CheckLRC, RejectsAnythingButUpperCaseHex) {
    struct Case {
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"006401590600003c", 1},  // lower-case digit
        {"00640159060000G0", 1},
        {"00640159 600003C", 1},
        {std::string("0064015906\0"
                     "0003C",
                     16),
         1},                      // a NUL among the digits
        {"006401590600003D", 1},  // sum 1: as invalid as a bad character
        {"006401590600003E", 2},
    };
    for (const Case& c : cases) {
        std::string copy = c.text;
        EXPECT_EQ(CheckLRC(reinterpret_cast<std::uint8_t*>(&copy[0]), 16), c.expected) << c.text;
    }
}

TEST(CheckLRC, StopAtBadCharacterLeavesEarlierPairsDecoded) {
    std::uint8_t text[] = "0A1Bzz";
    EXPECT_EQ(CheckLRC(text, 6), 1);
    EXPECT_EQ(text[0], 0x0A);
    EXPECT_EQ(text[1], 0x1B);
}

TEST(Crc, XmodemCheckValueAndTable) {
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(CRC(digits, 9), 0x31C3u);
    EXPECT_EQ(kCrcTable[1], 0x1021);
    EXPECT_EQ(kCrcTable[2], 0x2042);
    EXPECT_EQ(kCrcTable[255], 0x1EF0);
    EXPECT_EQ(CRC(digits, 0), 0u);
    const std::uint8_t high[] = {0xFF, 0x80};
    EXPECT_EQ(CRC(high, 2) >> 16, 0u);
}

}  // namespace
}  // namespace norvane
