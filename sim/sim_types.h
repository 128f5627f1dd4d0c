// Small vocabulary shared by the simulated PLC's parts.
#pragma once

#include <cstdint>

namespace plcsim {

// What the PLC is running (or doing) at the moment.
enum class PlcMode : std::uint8_t {
    Application,
    Restarting,      // on its way into the bootloader; deaf until the restart is over
    AwaitingReplug,  // application stopped, the bootloader comes up after a USB replug
    AwaitingPower,   // application stopped, the bootloader comes up after a power cycle
    Bootloader,
};

enum class LinkKind : std::uint8_t { Usb, Serial };

// How the PLC gets from its application into its bootloader after the erase request.
enum class Handover : std::uint8_t { InPlace, Replug, PowerCycle };

enum class Parity : std::uint8_t { None, Odd, Even };

struct LineState {
    std::uint32_t baud = 0;  // 0: nothing applied yet
    std::uint8_t dataBits = 0;
    Parity parity = Parity::None;
    std::uint8_t stopBits = 0;
};

inline bool operator==(const LineState& a, const LineState& b) {
    return a.baud == b.baud && a.dataBits == b.dataBits && a.parity == b.parity &&
           a.stopBits == b.stopBits;
}
inline bool operator!=(const LineState& a, const LineState& b) {
    return !(a == b);
}

// Every kind of request the PLC can be sent; fault rules and the request log use them.
enum class Exchange : std::uint8_t {
    Wake,          // application frame 0x7F
    ModeQuery,     // application frame, answered in both modes
    TypeId,        // application "ID"
    ReadRegister,  // application 0x03
    Version,       // application version read
    EraseRequest,  // application "ERASE"
    EraseConfirm,  // application confirmation after the erase request
    OtherFrame,    // a well-formed frame the PLC does not know
    BootId,
    BootVersion,
    BootErase,
    BootEraseEnd,  // 0x04 closing the erase
    BootUpdate,
    Block,
    TransferEnd,  // 0x04 closing the transfer
    Any,          // fault rules only: matches every request
};

const char* ExchangeName(Exchange kind);

}  // namespace plcsim
