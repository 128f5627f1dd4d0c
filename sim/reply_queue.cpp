// How replies reach the line: faults that bend them, noise, and the time each byte
// becomes available.
#include "simulated_plc.h"

namespace plcsim {
namespace {

constexpr std::uint8_t kGarbage = 0xEE;
constexpr std::uint64_t kUsPerMs = 1000;
constexpr std::uint64_t kBitsPerByte = 10;  // start, 7 data + parity or 8 data, stop

}  // namespace

void SimulatedPlc::AddNoise(std::vector<std::uint8_t>& bytes) {
    if (!config_.noiseSeed || bytes.empty() || rng_() % 100 >= config_.noisePercent) {
        return;
    }
    ++counters_.noiseHits;
    NoiseHit hit{requests_.empty() ? Exchange::Any : requests_.back().kind,
                 requests_.empty() ? 0 : requests_.size() - 1,
                 bytes,
                 {}};
    const std::size_t at = rng_() % bytes.size();
    if (config_.noiseMode == NoiseMode::Corrupt) {
        bytes[at] = static_cast<std::uint8_t>(bytes[at] ^ (1 + rng_() % 255));
    } else {
        const std::size_t extra = 1 + rng_() % 3;
        for (std::size_t i = 0; i < extra; ++i) {
            bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         static_cast<std::uint8_t>(rng_()));
        }
    }
    hit.after = bytes;
    noiseHits_.push_back(std::move(hit));
}

void SimulatedPlc::QueueReply(std::vector<std::uint8_t> bytes, const FaultSet& faults,
                              std::uint64_t nowMs, std::uint64_t extraDelayMs) {
    if (!config_.attached) {
        return;
    }
    if (const Fault* f = faults.Find(FaultKind::PartialReply);
        f != nullptr && f->value < bytes.size()) {
        bytes.resize(f->value);
    }
    if (const Fault* f = faults.Find(FaultKind::GarbageBefore)) {
        bytes.insert(bytes.begin(), f->value, kGarbage);
    }
    AddNoise(bytes);
    std::uint64_t atMs = nowMs + config_.replyLatencyMs + extraDelayMs;
    if (const Fault* f = faults.Find(FaultKind::Delay)) {
        atMs += f->value;
    }
    // Bytes leave in order: a reply never overtakes the one before it.
    std::uint64_t us = std::max(atMs * kUsPerMs, lastQueuedAtUs_);
    const bool paced = config_.paceLine && model_.link == LinkKind::Serial && line_.baud > 0;
    const std::uint64_t byteUs = paced ? kBitsPerByte * 1000000 / line_.baud : 0;
    for (std::uint8_t b : bytes) {
        us += byteUs;
        out_.push_back({(us + kUsPerMs - 1) / kUsPerMs, b});
    }
    lastQueuedAtUs_ = us;
}

}  // namespace plcsim
