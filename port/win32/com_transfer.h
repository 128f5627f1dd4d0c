// A read or write on a COM port: synchronous calls, each bounded by the port's
// time-out record.
#pragma once

#include "port/win32/transfer_loop.h"
#include "port/win32/win32_headers.h"

namespace norvane {

// Moves `count` bytes with `file` (a FileTransfer, or a test's stand-in) under
// `record`, the exchange's time-out record, and returns how many moved. The
// first call runs on the record. Real ports may hand back what was buffered
// early; every further call may only wait for what is left of the record's
// deadline, so it runs on that remainder alone. `apply(record)` hands the port
// a record; the port has the exchange's record again at the end.
template <typename File, typename Apply>
std::size_t ComTransfer(const File& file, const COMMTIMEOUTS& record, std::size_t count,
                        TransferClock& clock, Apply&& apply) {
    DWORD COMMTIMEOUTS::*const multiplier = file.Reads()
                                                ? &COMMTIMEOUTS::ReadTotalTimeoutMultiplier
                                                : &COMMTIMEOUTS::WriteTotalTimeoutMultiplier;
    DWORD COMMTIMEOUTS::*const constant = file.Reads() ? &COMMTIMEOUTS::ReadTotalTimeoutConstant
                                                       : &COMMTIMEOUTS::WriteTotalTimeoutConstant;
    const std::uint32_t total = TotalTimeoutMs(record.*multiplier, record.*constant, count);
    const std::size_t done = TransferUntil(
        count, total, clock, [&](std::size_t offset, std::size_t remaining, std::uint32_t ms) {
            COMMTIMEOUTS wanted = record;
            if (offset != 0) {
                wanted.*multiplier = 0;
                wanted.*constant = ms;
            }
            apply(wanted);
            DWORD moved = 0;
            const BOOL ok = file.Call(offset, remaining, &moved, nullptr);
            return TransferStep{moved, ok == FALSE};
        });
    apply(record);
    return done;
}

}  // namespace norvane
