#include "port/win32/com_port_link.h"

#include <cstring>

#include "port/win32/com_transfer.h"
#include "port/win32/file_transfer.h"
#include "port/win32/line_settings.h"

namespace norvane {

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

std::size_t ComPortLink::Read(std::uint8_t* data, std::size_t count) {
    return Transfer(FileTransfer::Reading(handle_, data), count);
}

std::size_t ComPortLink::Write(const std::uint8_t* data, std::size_t count) {
    return Transfer(FileTransfer::Writing(handle_, data), count);
}

std::size_t ComPortLink::Transfer(const FileTransfer& file, std::size_t count) {
    return ComTransfer(file, record_, count, clock_,
                       [this](const COMMTIMEOUTS& wanted) { Apply(wanted); });
}

// The driver's receive buffer holds what came unasked; clearing it is one call.
void ComPortLink::DiscardInput() {
    PurgeComm(handle_, PURGE_RXCLEAR);
}

void ComPortLink::ApplyLineSettings(const LineSettings& settings) {
    ApplyLineSettingsTo(handle_, settings);
}

}  // namespace norvane
