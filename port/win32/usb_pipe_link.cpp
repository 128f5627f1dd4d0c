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
