#include "line/burn_event.h"

#include <chrono>
#include <random>
#include <utility>

namespace norvane::line {

namespace {

template <typename Value, std::size_t N>
const char* WordOf(const std::pair<Value, const char*> (&words)[N], Value value) {
    for (const auto& [v, word] : words) {
        if (v == value) {
            return word;
        }
    }
    return "";
}

template <typename Value, std::size_t N>
std::optional<Value> ValueOf(const std::pair<Value, const char*> (&words)[N],
                             std::string_view word) {
    for (const auto& [v, w] : words) {
        if (word == w) {
            return v;
        }
    }
    return std::nullopt;
}

constexpr std::pair<EventKind, const char*> kKinds[] = {
    {EventKind::Start, "start"},       {EventKind::Phase, "phase"},
    {EventKind::Progress, "progress"}, {EventKind::Retry, "retry"},
    {EventKind::Prompt, "prompt"},     {EventKind::Handover, "handover"},
    {EventKind::Wait, "wait"},         {EventKind::End, "end"},
    {EventKind::Check, "check"},       {EventKind::Identify, "identify"},
    {EventKind::Port, "port"},         {EventKind::Socket, "socket"},
    {EventKind::Station, "station"},
};
constexpr std::pair<WaitFor, const char*> kWaits[] = {
    {WaitFor::Replug, "replug"},
    {WaitFor::PowerCycle, "power_cycle"},
    {WaitFor::Restart, "restart"},
    {WaitFor::Reconnect, "reconnect"},
};
constexpr std::pair<SocketState, const char*> kSockets[] = {
    {SocketState::Empty, "empty"},
    {SocketState::Working, "working"},
    {SocketState::TakeOut, "take_out"},
    {SocketState::Unsteady, "unsteady"},
    {SocketState::Busy, "busy"},
    {SocketState::Missing, "missing"},
    {SocketState::OtherStation, "other_station"},
};
constexpr std::pair<StationState, const char*> kStations[] = {
    {StationState::Watching, "watching"},
    {StationState::Stopping, "stopping"},
    {StationState::Stopped, "stopped"},
};

static_assert(std::variant_size_v<EventFields> == std::size(kKinds),
              "a field struct for every kind of event");

}  // namespace

const char* KindWord(EventKind kind) {
    return WordOf(kKinds, kind);
}
const char* WaitWord(WaitFor waitFor) {
    return WordOf(kWaits, waitFor);
}
const char* SocketWord(SocketState state) {
    return WordOf(kSockets, state);
}
const char* StationWord(StationState state) {
    return WordOf(kStations, state);
}
std::optional<EventKind> KindOfWord(std::string_view word) {
    return ValueOf(kKinds, word);
}
std::optional<WaitFor> WaitOfWord(std::string_view word) {
    return ValueOf(kWaits, word);
}
std::optional<SocketState> SocketOfWord(std::string_view word) {
    return ValueOf(kSockets, word);
}
std::optional<StationState> StationOfWord(std::string_view word) {
    return ValueOf(kStations, word);
}

std::string NewBurnId() {
    std::random_device device;
    std::seed_seq seed{
        device(), device(), device(), device(),
        static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count())};
    std::mt19937_64 random(seed);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string id;
    for (int half = 0; half < 2; ++half) {
        std::uint64_t bits = random();
        for (int i = 0; i < 16; ++i, bits >>= 4) {
            id += kDigits[bits & 0xF];
        }
    }
    return id;
}

}  // namespace norvane::line
