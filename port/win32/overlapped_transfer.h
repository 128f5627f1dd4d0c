// A read or write on the PLC's USB pipe: overlapped requests, each bounded by a
// wait of its own, since COM time-outs may mean nothing to the driver behind it.
//
// `pipe` makes the platform calls on the pipe (the link's own, or a test's
// script): Request() a fresh OVERLAPPED on the pipe's event; LastError();
// Wait(ms), whether the request ended within `ms`; Cancel(overlapped);
// Collect(overlapped, &moved), which waits until the request is finished or
// cancelled, as GetOverlappedResult does.
#pragma once

#include "port/win32/transfer_loop.h"
#include "port/win32/win32_headers.h"

namespace norvane {

// What one request that `started` (the result of ReadFile or WriteFile) set
// going came to. A request still running after `timeoutMs` is cancelled; it is
// collected either way, so the platform is done with the buffer before it is
// used again and the bytes it moved before a cancel count. A cancel is a
// time-out, not a failure.
template <typename Pipe>
TransferStep FinishOverlapped(Pipe& pipe, BOOL started, OVERLAPPED& overlapped,
                              std::uint32_t timeoutMs) {
    if (!started && pipe.LastError() != ERROR_IO_PENDING) {
        return TransferStep{0, true};
    }
    if (!started && !pipe.Wait(timeoutMs)) {
        pipe.Cancel(overlapped);
    }
    DWORD moved = 0;
    if (pipe.Collect(overlapped, &moved)) {
        return TransferStep{moved, false};
    }
    return TransferStep{moved, pipe.LastError() != ERROR_OPERATION_ABORTED};
}

// Moves `count` bytes with `file` (a FileTransfer, or a test's stand-in) within
// `totalMs`; returns how many moved.
template <typename Pipe, typename File>
std::size_t OverlappedTransfer(Pipe& pipe, const File& file, std::size_t count,
                               std::uint32_t totalMs, TransferClock& clock) {
    return TransferUntil(
        count, totalMs, clock, [&](std::size_t offset, std::size_t remaining, std::uint32_t ms) {
            OVERLAPPED overlapped = pipe.Request();
            const BOOL started = file.Call(offset, remaining, nullptr, &overlapped);
            return FinishOverlapped(pipe, started, overlapped, ms);
        });
}

}  // namespace norvane
