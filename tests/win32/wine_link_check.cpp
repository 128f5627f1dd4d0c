// The Windows links on a real COM port whose other end stays silent: reads
// give up when the time-out records say, on the COM link and on the
// overlapped pipe link even when the port itself would wait forever.
//
// usage: wine_link_check PORT
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "link/link.h"
#include "port/win32/com_port_link.h"
#include "port/win32/port_open.h"
#include "port/win32/system_clock.h"
#include "port/win32/usb_pipe_link.h"

namespace {

using norvane::LinkTimeouts;

int failures = 0;

// Times one read of a 19-character reply and checks it came back empty
// within [lowMs, highMs].
void TimedRead(norvane::Link& link, const char* what, std::uint64_t lowMs, std::uint64_t highMs) {
    // Timed with the performance counter: Wine's tick count can stall and jump
    // by hundreds of milliseconds when the machine is busy.
    norvane::SystemTransferClock clock;
    std::uint8_t reply[19];
    const std::uint64_t start = clock.NowMs();
    const std::size_t got = link.Read(reply, sizeof reply);
    const std::uint64_t took = clock.NowMs() - start;
    const bool ok = got == 0 && took >= lowMs && took <= highMs;
    std::printf("%s: %zu bytes after %llu ms (expected 0 after %llu..%llu ms) %s\n", what, got,
                static_cast<unsigned long long>(took), static_cast<unsigned long long>(lowMs),
                static_cast<unsigned long long>(highMs), ok ? "ok" : "FAIL");
    failures += ok ? 0 : 1;
}

void CheckWrite(norvane::Link& link, const char* what) {
    static const std::uint8_t wake[] = {':', '0', '0', '7', 'F', '8', '1', '\r', '\n'};
    const std::size_t sent = link.Write(wake, sizeof wake);
    const bool ok = sent == sizeof wake;
    std::printf("%s: wrote %zu of %zu bytes %s\n", what, sent, sizeof wake, ok ? "ok" : "FAIL");
    failures += ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 2) {
        std::printf("usage: wine_link_check PORT\n");
        return 2;
    }
    const std::string port = argv[1];
    {
        norvane::LinkPtr link = norvane::OpenComPortLink(port.c_str());
        if (!link) {
            std::printf("FAIL: cannot open %s\n", port.c_str());
            return 1;
        }
        link->ApplyLineSettings(norvane::kApplicationLineSettings);
        link->SetTimeouts(norvane::kExchangeTimeouts);
        CheckWrite(*link, "COM link write");
        TimedRead(*link, "COM link, exchange time-outs", 2800, 3600);
        link->SetTimeouts(norvane::kWakeTimeouts);
        for (int i = 0; i < 3; ++i) {
            TimedRead(*link, "COM link, wake time-outs", 150, 600);
        }
    }
    {
        // The pipe link on the same port, opened for overlapped I/O; the port is
        // then told to wait forever, so only the link's own waits end the reads.
        HANDLE handle = CreateFileA(("\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            std::printf("FAIL: cannot open %s for overlapped I/O\n", port.c_str());
            return 1;
        }
        norvane::UsbPipeLink link(handle);
        COMMTIMEOUTS forever{};
        link.SetTimeouts(norvane::kExchangeTimeouts);
        SetCommTimeouts(handle, &forever);
        CheckWrite(link, "pipe link write");
        TimedRead(link, "pipe link, exchange time-outs, port waiting forever", 2800, 3600);
        link.SetTimeouts(norvane::kWakeTimeouts);
        SetCommTimeouts(handle, &forever);
        TimedRead(link, "pipe link, wake time-outs, port waiting forever", 150, 600);
    }
    std::printf("%s\n", failures == 0 ? "all link checks passed" : "link checks FAILED");
    return failures == 0 ? 0 : 1;
}
