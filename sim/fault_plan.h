// A small declarative plan of what goes wrong, and when: "the 3rd block gets no
// acknowledgement", "every mode query is answered with a NAK of class 1", ...
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim_types.h"

namespace plcsim {

enum class FaultKind : std::uint8_t {
    Silent,             // the request is not heard: no effect, no reply
    Nak,                // refused: a NAK frame (class, code) or the byte 0x15
    WrongStatus,        // the status byte (or the first reply byte) replaced by `value`
    WrongTypeId,        // the reported type identifier replaced by `value`
    CorruptLrc,         // the frame's LRC is off by one
    LowerCaseHex,       // the frame's hex letters in lower case
    PartialReply,       // only the first `value` bytes of the reply
    GarbageBefore,      // `value` garbage bytes ahead of the reply
    Delay,              // the reply comes `value` ms later
    FlashWriteError,    // a block is refused with 0x16 and not written
    LostAck,            // the request takes effect but its reply is lost
    WriteFailure,       // the tool's write of this request fails (carried out by the link)
    StayInApplication,  // the erase request is acknowledged but the PLC never hands over
};

struct Fault {
    Exchange exchange = Exchange::Any;
    std::uint32_t first = 1;  // 1-based occurrence of that exchange; 0: every occurrence
    std::uint32_t times = 1;  // how many occurrences from `first` on
    FaultKind kind = FaultKind::Silent;
    std::uint32_t value = 0;
    std::uint8_t nakClass = 2;
    std::uint8_t nakCode = 1;

    static Fault Every(Exchange exchange, FaultKind kind, std::uint32_t value = 0);
    static Fault At(Exchange exchange, std::uint32_t occurrence, FaultKind kind,
                    std::uint32_t value = 0);
    static Fault NakAt(Exchange exchange, std::uint32_t occurrence, std::uint8_t nakClass,
                       std::uint8_t nakCode);
    Fault& Times(std::uint32_t n) {
        times = n;
        return *this;
    }
    bool Covers(Exchange request, std::uint32_t occurrence) const;
};

// The faults that apply to one request.
struct FaultSet {
    std::vector<Fault> faults;
    bool Has(FaultKind kind) const;
    const Fault* Find(FaultKind kind) const;
};

class FaultPlan {
  public:
    void Add(const Fault& fault) { faults_.push_back(fault); }
    bool Empty() const { return faults_.empty(); }
    const std::vector<Fault>& Faults() const { return faults_; }

    // Counts one more occurrence of `kind` received by the PLC and returns what applies.
    FaultSet Next(Exchange kind);

    // Counts one more write attempt of `kind` and says whether it is to fail.
    bool NextWriteFails(Exchange kind);

  private:
    static constexpr std::size_t kKinds = static_cast<std::size_t>(Exchange::Any) + 1;
    FaultSet Collect(Exchange kind, const std::array<std::uint32_t, kKinds>& counts,
                     bool writeFaults) const;

    std::vector<Fault> faults_;
    std::array<std::uint32_t, kKinds> received_{};
    std::array<std::uint32_t, kKinds> writes_{};
};

}  // namespace plcsim
