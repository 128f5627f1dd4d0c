#include "port/win32/com_port_link.h"

#include <algorithm>
#include <cstring>

#include "port/win32/line_settings.h"

namespace norvane {
namespace {

DWORD ClampToDword(std::size_t count) {
    return static_cast<DWORD>(std::min<std::size_t>(count, 0xFFFFFFFFu));
}

}  // namespace

// Until an exchange sets its record, a read or write still ends: the port is
// given the exchange time-outs rather than the platform's "wait forever".
ComPortLink::ComPortLink(HANDLE handle, std::shared_ptr<PortRelease> release)
    : handle_(handle), release_(std::move(release)), record_(CommTimeoutsFor(kExchangeTimeouts)) {}

ComPortLink::~ComPortLink() {
    if (release_) {
        release_->Closing(handle_);
    }
    CloseHandle(handle_);
}

void ComPortLink::SetTimeouts(const LinkTimeouts& timeouts) {
    record_ = CommTimeoutsFor(timeouts);
    applied_ = record_;
    appliedKnown_ = true;
    SetCommTimeouts(handle_, &applied_);
}

void ComPortLink::Apply(const COMMTIMEOUTS& wanted) {
    if (appliedKnown_ && std::memcmp(&wanted, &applied_, sizeof wanted) == 0) {
        return;
    }
    applied_ = wanted;
    appliedKnown_ = true;
    SetCommTimeouts(handle_, &applied_);
}

// The first request runs on the exchange's record. Real ports may hand back
// what was buffered early; every further request may only wait for what is
// left of the deadline, so it runs on that remainder alone.
std::size_t ComPortLink::Read(std::uint8_t* data, std::size_t count) {
    const std::uint32_t total =
        TotalTimeoutMs(record_.ReadTotalTimeoutMultiplier, record_.ReadTotalTimeoutConstant, count);
    const std::size_t got = TransferUntil(
        count, total, clock_, [&](std::size_t offset, std::size_t remaining, std::uint32_t ms) {
            COMMTIMEOUTS wanted = record_;
            if (offset != 0) {
                wanted.ReadTotalTimeoutMultiplier = 0;
                wanted.ReadTotalTimeoutConstant = ms;
            }
            Apply(wanted);
            DWORD moved = 0;
            const BOOL ok =
                ReadFile(handle_, data + offset, ClampToDword(remaining), &moved, nullptr);
            return TransferStep{moved, ok == FALSE};
        });
    Apply(record_);
    return got;
}

std::size_t ComPortLink::Write(const std::uint8_t* data, std::size_t count) {
    const std::uint32_t total = TotalTimeoutMs(record_.WriteTotalTimeoutMultiplier,
                                               record_.WriteTotalTimeoutConstant, count);
    const std::size_t sent = TransferUntil(
        count, total, clock_, [&](std::size_t offset, std::size_t remaining, std::uint32_t ms) {
            COMMTIMEOUTS wanted = record_;
            if (offset != 0) {
                wanted.WriteTotalTimeoutMultiplier = 0;
                wanted.WriteTotalTimeoutConstant = ms;
            }
            Apply(wanted);
            DWORD moved = 0;
            const BOOL ok =
                WriteFile(handle_, data + offset, ClampToDword(remaining), &moved, nullptr);
            return TransferStep{moved, ok == FALSE};
        });
    Apply(record_);
    return sent;
}

// The driver's receive buffer holds what came unasked; clearing it is one call.
void ComPortLink::DiscardInput() {
    PurgeComm(handle_, PURGE_RXCLEAR);
}

void ComPortLink::ApplyLineSettings(const LineSettings& settings) {
    ApplyLineSettingsTo(handle_, settings);
}

}  // namespace norvane
