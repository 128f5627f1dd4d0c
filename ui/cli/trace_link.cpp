#include "ui/cli/trace_link.h"

#include <string>

namespace norvane::cli {

std::string FormatTraceLine(long long milliseconds, const char* direction, const std::uint8_t* data,
                            std::size_t count, std::size_t asked) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string line = std::to_string(milliseconds) + " ms " + direction + " " +
                       std::to_string(count) + "/" + std::to_string(asked);
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        line += ' ';
        line += kDigits[data[i] >> 4];
        line += kDigits[data[i] & 0x0F];
        text += (data[i] >= 0x20 && data[i] < 0x7F) ? static_cast<char>(data[i]) : '.';
    }
    if (count != 0) {
        line += "  |" + text + "|";
    }
    return line;
}

void TraceLink::Dump(const char* direction, const std::uint8_t* data, std::size_t count,
                     std::size_t asked) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
    sink_(FormatTraceLine(static_cast<long long>(ms), direction, data, count, asked));
}

std::size_t TraceLink::Write(const std::uint8_t* data, std::size_t count) {
    const std::size_t sent = inner_->Write(data, count);
    Dump("TX", data, sent, count);
    return sent;
}

std::size_t TraceLink::Read(std::uint8_t* data, std::size_t count) {
    const std::size_t got = inner_->Read(data, count);
    Dump("RX", data, got, count);
    return got;
}

void TraceLink::SetTimeouts(const LinkTimeouts& timeouts) {
    inner_->SetTimeouts(timeouts);
}

void TraceLink::ApplyLineSettings(const LineSettings& settings) {
    inner_->ApplyLineSettings(settings);
    const char parity =
        settings.parity == Parity::None ? 'N' : (settings.parity == Parity::Even ? 'E' : 'O');
    sink_("line settings: " + std::to_string(settings.baudRate) + " " +
          std::to_string(settings.dataBits) + parity + std::to_string(settings.stopBits));
}

}  // namespace norvane::cli
