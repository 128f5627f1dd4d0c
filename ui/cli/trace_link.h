// A link that writes every byte sent and received to a stream, for support cases.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "link/link.h"

namespace norvane::cli {

class TraceLink : public Link {
  public:
    using Clock = std::chrono::steady_clock;

    using Sink = std::function<void(const std::string&)>;

    TraceLink(LinkPtr inner, Sink sink, Clock::time_point start)
        : inner_(std::move(inner)), sink_(std::move(sink)), start_(start) {}

    std::size_t Write(const std::uint8_t* data, std::size_t count) override;
    std::size_t Read(std::uint8_t* data, std::size_t count) override;
    void SetTimeouts(const LinkTimeouts& timeouts) override;
    void ApplyLineSettings(const LineSettings& settings) override;
    void DiscardInput() override { inner_->DiscardInput(); }

  private:
    void Dump(const char* direction, const std::uint8_t* data, std::size_t count,
              std::size_t asked);

    LinkPtr inner_;
    Sink sink_;
    Clock::time_point start_;
};

// One trace line: "<ms> <dir> <count>/<asked> hex... |ascii|".
std::string FormatTraceLine(long long milliseconds, const char* direction, const std::uint8_t* data,
                            std::size_t count, std::size_t asked);

}  // namespace norvane::cli
