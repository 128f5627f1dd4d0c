#include "port/win32/usb_pipe_link.h"

#include "port/win32/file_transfer.h"
#include "port/win32/line_settings.h"
#include "port/win32/overlapped_transfer.h"

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

// One drain read asks for a whole multiple of a USB packet, so the pipe can hand
// over a full transfer. At most this many reads run per drain: a line that keeps
// streaming noise cannot hold the burn here.
constexpr DWORD kDrainReadBytes = 1024;
constexpr int kMaxDrainReads = 16;

// The platform's calls for overlapped requests on the pipe, all signalled
// through the link's one event.
struct PipeCalls {
    HANDLE handle;
    HANDLE event;

    OVERLAPPED Request() const {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        ResetEvent(event);
        return overlapped;
    }
    DWORD LastError() const { return GetLastError(); }
    bool Wait(std::uint32_t ms) const { return WaitForSingleObject(event, ms) == WAIT_OBJECT_0; }
    void Cancel(OVERLAPPED& overlapped) const { CancelIoEx(handle, &overlapped); }
    BOOL Collect(OVERLAPPED& overlapped, DWORD* moved) const {
        return GetOverlappedResult(handle, &overlapped, moved, TRUE);
    }
};

}  // namespace

std::size_t UsbPipeLink::Read(std::uint8_t* data, std::size_t count) {
    return Transfer(FileTransfer::Reading(handle_, data), count, timeouts_.readMs);
}

std::size_t UsbPipeLink::Write(const std::uint8_t* data, std::size_t count) {
    return Transfer(FileTransfer::Writing(handle_, data), count, timeouts_.writeMs);
}

// Without its event the link can bound no request, so it starts none.
std::size_t UsbPipeLink::Transfer(const FileTransfer& file, std::size_t count,
                                  std::uint32_t totalMs) {
    if (event_ == nullptr) {
        return 0;
    }
    PipeCalls pipe{handle_, event_};
    return OverlappedTransfer(pipe, file, count, totalMs, clock_);
}

void UsbPipeLink::DiscardInput() {
    // The result is not looked at: a driver may refuse the request, and the
    // drain below empties the pipe either way.
    PurgeComm(handle_, PURGE_RXCLEAR);
    DrainInput();
}

// Each read is given no time at all: it hands over what is buffered and is
// cancelled at once if it would wait. It is collected before the buffer is
// used again, so a cancelled read cannot write into the next one's bytes.
std::size_t UsbPipeLink::DrainInput() {
    if (event_ == nullptr) {
        return 0;
    }
    std::uint8_t scratch[kDrainReadBytes];
    const FileTransfer drain = FileTransfer::Reading(handle_, scratch);
    PipeCalls pipe{handle_, event_};
    std::size_t drained = 0;
    for (int i = 0; i < kMaxDrainReads; ++i) {
        OVERLAPPED overlapped = pipe.Request();
        const BOOL started = drain.Call(0, sizeof scratch, nullptr, &overlapped);
        const TransferStep step = FinishOverlapped(pipe, started, overlapped, 0);
        drained += step.bytes;
        if (step.failed || step.bytes == 0) {
            break;
        }
    }
    return drained;
}

}  // namespace norvane
