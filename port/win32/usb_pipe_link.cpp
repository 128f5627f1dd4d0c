#include "port/win32/usb_pipe_link.h"

#include <algorithm>

#include "port/win32/line_settings.h"

namespace norvane {

UsbPipeLink::UsbPipeLink(HANDLE handle)
    : handle_(handle),
      event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      timeouts_(kExchangeTimeouts) {}

UsbPipeLink::~UsbPipeLink() {
    CloseHandle(handle_);
    if (event_ != nullptr) {
        CloseHandle(event_);
    }
}

void UsbPipeLink::SetTimeouts(const LinkTimeouts& timeouts) {
    timeouts_ = timeouts;
    // The driver may honour the record; the waits below hold the deadline either way.
    COMMTIMEOUTS record = CommTimeoutsFor(timeouts);
    SetCommTimeouts(handle_, &record);
}

void UsbPipeLink::ApplyLineSettings(const LineSettings& settings) {
    ApplyLineSettingsTo(handle_, settings);
}

namespace {

DWORD ClampToDword(std::size_t count) {
    return static_cast<DWORD>(std::min<std::size_t>(count, 0xFFFFFFFFu));
}

// One drain read asks for a whole multiple of a USB packet, so the pipe can hand
// over a full transfer. At most this many reads run per drain: a line that keeps
// streaming noise cannot hold the burn here.
constexpr DWORD kDrainReadBytes = 1024;
constexpr int kMaxDrainReads = 16;

}  // namespace

TransferStep UsbPipeLink::Finish(BOOL started, OVERLAPPED& overlapped, std::uint32_t timeoutMs) {
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return TransferStep{0, true};
    }
    if (!started && WaitForSingleObject(event_, timeoutMs) != WAIT_OBJECT_0) {
        CancelIoEx(handle_, &overlapped);
    }
    // Waits for the request to be finished or cancelled, so the buffer is free
    // again, and collects whatever bytes it moved before a cancel.
    DWORD moved = 0;
    if (GetOverlappedResult(handle_, &overlapped, &moved, TRUE)) {
        return TransferStep{moved, false};
    }
    return TransferStep{moved, GetLastError() != ERROR_OPERATION_ABORTED};
}

std::size_t UsbPipeLink::Read(std::uint8_t* data, std::size_t count) {
    const std::uint32_t total = timeouts_.readMs;
    return TransferUntil(
        count, total, clock_, [&](std::size_t offset, std::size_t remaining, std::uint32_t ms) {
            if (event_ == nullptr) {
                return TransferStep{0, true};
            }
            OVERLAPPED overlapped{};
            overlapped.hEvent = event_;
            ResetEvent(event_);
            const BOOL started =
                ReadFile(handle_, data + offset, ClampToDword(remaining), nullptr, &overlapped);
            return Finish(started, overlapped, ms);
        });
}

void UsbPipeLink::DiscardInput() {
    // The result is not looked at: a driver may refuse the request, and the
    // drain below empties the pipe either way.
    PurgeComm(handle_, PURGE_RXCLEAR);
    DrainInput();
}

// Each read is given no time at all: it hands over what is buffered and is
// cancelled at once if it would wait. Finish collects it before the buffer is
// used again, so a cancelled read cannot write into the next one's bytes.
std::size_t UsbPipeLink::DrainInput() {
    if (event_ == nullptr) {
        return 0;
    }
    std::uint8_t scratch[kDrainReadBytes];
    std::size_t drained = 0;
    for (int i = 0; i < kMaxDrainReads; ++i) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_;
        ResetEvent(event_);
        const BOOL started = ReadFile(handle_, scratch, sizeof scratch, nullptr, &overlapped);
        const TransferStep step = Finish(started, overlapped, 0);
        drained += step.bytes;
        if (step.failed || step.bytes == 0) {
            break;
        }
    }
    return drained;
}

std::size_t UsbPipeLink::Write(const std::uint8_t* data, std::size_t count) {
    const std::uint32_t total = timeouts_.writeMs;
    return TransferUntil(
        count, total, clock_, [&](std::size_t offset, std::size_t remaining, std::uint32_t ms) {
            if (event_ == nullptr) {
                return TransferStep{0, true};
            }
            OVERLAPPED overlapped{};
            overlapped.hEvent = event_;
            ResetEvent(event_);
            const BOOL started =
                WriteFile(handle_, data + offset, ClampToDword(remaining), nullptr, &overlapped);
            return Finish(started, overlapped, ms);
        });
}

}  // namespace norvane
