// The Windows links on a real COM port under Wine, against the simulated PLC
// on the pseudo-terminal behind it.
//
//   silent PORT     the PLC never answers: reads give up when the time-out
//                   records say, on the COM link and on the overlapped pipe
//                   link even when the port itself would wait forever;
//   answering PORT  the PLC answers: input that has arrived and not been read
//                   is dropped by DiscardInput on both links, and what one
//                   discard costs on an idle line is measured;
//   transfer PORT IMAGE
//                   a bootloader PLC of the serial model NT4 takes IMAGE over
//                   the pipe link (erase, UPDATE, every block, EOT), timed;
//   letgo PORT      the port's own speed comes back when the burn's opener lets
//                   it go, not at the close before a prompt.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "burn/burn_context.h"
#include "burn/burn_messages.h"
#include "burn/catalogue.h"
#include "burn/image.h"
#include "burn/shared_values.h"
#include "link/block_transfer.h"
#include "link/boot_commands.h"
#include "link/link.h"
#include "port/win32/com_port_link.h"
#include "port/win32/port_open.h"
#include "port/win32/port_opener.h"
#include "port/win32/system_clock.h"
#include "port/win32/usb_pipe_link.h"

namespace {

using norvane::Link;

int failures = 0;

// Ends the line the caller printed with its verdict.
void Verdict(bool ok) {
    std::printf(" %s\n", ok ? "ok" : "FAIL");
    failures += ok ? 0 : 1;
}

// Times with the performance counter: Wine's tick count can stall and jump by
// hundreds of milliseconds when the machine is busy.
double NowUs() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

// The pipe link on `port`, opened for overlapped I/O as the PLC's USB pipe is.
HANDLE OpenOverlapped(const std::string& port) {
    return CreateFileA(("\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

// Times one read of a 19-character reply and checks it came back empty
// within [lowMs, highMs].
void TimedRead(Link& link, const char* what, double lowMs, double highMs) {
    std::uint8_t reply[19];
    const double start = NowUs();
    const std::size_t got = link.Read(reply, sizeof reply);
    const double took = (NowUs() - start) / 1000;
    std::printf("%s: %zu bytes after %.0f ms (expected 0 after %.0f..%.0f ms)", what, got, took,
                lowMs, highMs);
    Verdict(got == 0 && took >= lowMs && took <= highMs);
}

void CheckWrite(Link& link, const char* what) {
    static const std::uint8_t wake[] = {':', '0', '0', '7', 'F', '8', '1', '\r', '\n'};
    const std::size_t sent = link.Write(wake, sizeof wake);
    std::printf("%s: wrote %zu of %zu bytes", what, sent, sizeof wake);
    Verdict(sent == sizeof wake);
}

int Silent(const std::string& port) {
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
    // The port is told to wait forever after each record, so only the link's
    // own waits end the reads.
    HANDLE handle = OpenOverlapped(port);
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
    return 0;
}

// The mode query (unit byte 0x59) and the length of the PLC's answer to it.
const std::uint8_t kModeQuery[] = ":006401590141\r\n";
constexpr std::size_t kModeReplyLength = 19;

enum class Drop { Nothing, DiscardInput, DrainOnly };

// Asks the PLC its mode, lets the answer arrive unread, drops it as `drop`
// says, and returns what a read under the 200 ms wake time-outs then finds.
std::size_t LeftAfter(Link& link, Drop drop, std::size_t& drained) {
    link.ApplyLineSettings(norvane::kApplicationLineSettings);
    link.SetTimeouts(norvane::kExchangeTimeouts);
    link.Write(kModeQuery, sizeof kModeQuery - 1);
    Sleep(500);  // the PLC answers at once; the answer waits in the port
    drained = 0;
    if (drop == Drop::DiscardInput) {
        link.DiscardInput();
    } else if (drop == Drop::DrainOnly) {
        drained = static_cast<norvane::UsbPipeLink&>(link).DrainInput();
    }
    link.SetTimeouts(norvane::kWakeTimeouts);
    std::uint8_t reply[64];
    const std::size_t got = link.Read(reply, kModeReplyLength);
    // The PLC's answer starts like the request it answers.
    if (got == kModeReplyLength && std::memcmp(reply, ":0064015905", 11) != 0) {
        std::printf("unexpected answer: %.*s\n", static_cast<int>(got), reply);
        return 0;
    }
    return got;
}

// Microseconds per DiscardInput on a line with nothing waiting, the transfer
// calls it once before every block: the best and the middle of `rounds`
// rounds of `calls` calls, since Wine's timing varies with the machine's load.
void PrintDiscardCost(Link& link, const char* what, int rounds, int calls) {
    link.SetTimeouts(norvane::kExchangeTimeouts);
    std::vector<double> perCall;
    for (int r = 0; r < rounds; ++r) {
        const double start = NowUs();
        for (int i = 0; i < calls; ++i) {
            link.DiscardInput();
        }
        perCall.push_back((NowUs() - start) / calls);
    }
    std::sort(perCall.begin(), perCall.end());
    std::printf(
        "%s: DiscardInput on an idle line takes %.1f us per call (best round), %.1f us "
        "(median round), %d rounds of %d calls\n",
        what, perCall.front(), perCall[perCall.size() / 2], rounds, calls);
}

norvane::LinkPtr OpenLink(const std::string& port, bool pipe) {
    if (!pipe) {
        return norvane::OpenComPortLink(port.c_str());
    }
    HANDLE handle = OpenOverlapped(port);
    return handle == INVALID_HANDLE_VALUE ? nullptr
                                          : std::make_unique<norvane::UsbPipeLink>(handle);
}

int Answering(const std::string& port) {
    struct Case {
        Drop drop;
        std::size_t left;     // bytes the read after the drop finds
        std::size_t drained;  // bytes DrainInput reports
        const char* what;
    };
    // Without a drop the read gets the whole answer: that proves the bytes
    // were there for each drop to take. Draining alone proves the pipe link
    // empties the line even where the driver ignores PurgeComm.
    const std::vector<Case> comCases = {
        {Drop::Nothing, kModeReplyLength, 0, "COM link, nothing dropped"},
        {Drop::DiscardInput, 0, 0, "COM link, DiscardInput"},
    };
    const std::vector<Case> pipeCases = {
        {Drop::Nothing, kModeReplyLength, 0, "pipe link, nothing dropped"},
        {Drop::DiscardInput, 0, 0, "pipe link, DiscardInput"},
        {Drop::DrainOnly, 0, kModeReplyLength, "pipe link, drain without PurgeComm"},
    };
    for (const bool pipe : {false, true}) {
        if (pipe) {
            // The simulated PLC tells one opening of its port from the next by
            // the close and the open; a request that reaches it before it has
            // seen the close is taken as the old opening's last words, and its
            // answer goes with that opening. Let it see the close first.
            Sleep(500);
        }
        norvane::LinkPtr link = OpenLink(port, pipe);
        if (!link) {
            std::printf("FAIL: cannot open %s\n", port.c_str());
            return 1;
        }
        // One whole exchange first, so the PLC is known to be listening on
        // this opening of the port before anything is left unread.
        link->ApplyLineSettings(norvane::kApplicationLineSettings);
        link->SetTimeouts(norvane::kExchangeTimeouts);
        link->Write(kModeQuery, sizeof kModeQuery - 1);
        std::uint8_t reply[kModeReplyLength];
        const std::size_t got = link->Read(reply, sizeof reply);
        std::printf("%s link: the PLC answers a mode query with %zu bytes", pipe ? "pipe" : "COM",
                    got);
        Verdict(got == kModeReplyLength);

        for (const Case& c : pipe ? pipeCases : comCases) {
            std::size_t drained = 0;
            const std::size_t left = LeftAfter(*link, c.drop, drained);
            std::printf("%s: %zu bytes of the answer to a mode query left (expected %zu)", c.what,
                        left, c.left);
            if (c.drop == Drop::DrainOnly) {
                std::printf(", %zu drained (expected %zu)", drained, c.drained);
            }
            Verdict(left == c.left && drained == c.drained);
        }
        PrintDiscardCost(*link, pipe ? "pipe link" : "COM link", 9, 300);
    }
    return 0;
}

bool LoadFile(const char* path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

int Transfer(const std::string& port, const char* imagePath) {
    std::vector<std::uint8_t> image;
    if (!LoadFile(imagePath, image) || image.empty()) {
        std::printf("FAIL: cannot read %s\n", imagePath);
        return 1;
    }
    norvane::SelectModel(norvane::FindModel("NT4"));
    norvane::SetLoadedImage({image.data(), static_cast<std::uint32_t>(image.size())});
    HANDLE handle = OpenOverlapped(port);
    if (handle == INVALID_HANDLE_VALUE) {
        std::printf("FAIL: cannot open %s for overlapped I/O\n", port.c_str());
        return 1;
    }
    norvane::UsbPipeLink link(handle);
    link.ApplyLineSettings(norvane::kApplicationLineSettings);
    const norvane::ExchangeContext plc = norvane::SelectedPlc(link);
    const std::uint32_t length = norvane::fileLength;
    const bool erased = norvane::SendErase_B(plc, length) == norvane::BootResult::Ok;
    const bool updated = erased && norvane::SendUpdate(plc) == norvane::BootResult::Ok;
    const double start = NowUs();
    const norvane::ExchangeResult sent =
        updated ? norvane::ResultCode(norvane::SendFW(plc, length, norvane::FileRead)) : 0xFF;
    const double tookMs = (NowUs() - start) / 1000;
    norvane::CloseFile();
    std::printf("pipe link: erase %s, UPDATE %s, transfer result %u in %.0f ms",
                erased ? "ok" : "failed", updated ? "ok" : "failed", static_cast<unsigned>(sent),
                tookMs);
    Verdict(erased && updated && sent == 0);
    return 0;
}

// The speed a fresh open of `port` finds; 0 when it cannot be read.
DWORD PortSpeed(const std::string& port) {
    HANDLE handle = norvane::OpenComPort(port.c_str());
    DCB state{};
    state.DCBlength = sizeof state;
    const bool read = handle != INVALID_HANDLE_VALUE && GetCommState(handle, &state);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    return read ? state.BaudRate : 0;
}

int LetGo(const std::string& port) {
    const DWORD own = PortSpeed(port);
    norvane::PortOpener opener(port, std::chrono::seconds(1));
    norvane::LinkPtr link = opener.OpenSerial(port);
    if (!link) {
        std::printf("cannot open %s\n", port.c_str());
        return 2;
    }
    link->ApplyLineSettings(norvane::kTransferLineSettings);
    link.reset();  // the close before a prompt
    const DWORD atPrompt = PortSpeed(port);
    link = opener.OpenSerial(port);
    opener.LetGo();
    link.reset();
    const DWORD letGo = PortSpeed(port);
    std::printf("COM link: %lu baud of its own, %lu at a prompt, %lu once let go",
                static_cast<unsigned long>(own), static_cast<unsigned long>(atPrompt),
                static_cast<unsigned long>(letGo));
    Verdict(own != 0 && own != norvane::kTransferLineSettings.baudRate &&
            atPrompt == norvane::kTransferLineSettings.baudRate && letGo == own);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string mode = argc >= 2 ? argv[1] : "";
    int status = 2;
    if (mode == "silent" && argc == 3) {
        status = Silent(argv[2]);
    } else if (mode == "answering" && argc == 3) {
        status = Answering(argv[2]);
    } else if (mode == "transfer" && argc == 4) {
        status = Transfer(argv[2], argv[3]);
    } else if (mode == "letgo" && argc == 3) {
        status = LetGo(argv[2]);
    } else {
        std::printf(
            "usage: wine_link_check silent PORT | answering PORT | transfer PORT IMAGE | letgo "
            "PORT\n");
        return 2;
    }
    if (status != 0) {
        return status;
    }
    std::printf("%s\n", failures == 0 ? "all link checks passed" : "link checks FAILED");
    return failures == 0 ? 0 : 1;
}
