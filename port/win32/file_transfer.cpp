#include "port/win32/file_transfer.h"

#include <algorithm>

namespace norvane {
namespace {

DWORD ClampToDword(std::size_t count) {
    return static_cast<DWORD>(std::min<std::size_t>(count, 0xFFFFFFFFu));
}

}  // namespace

BOOL FileTransfer::Call(std::size_t offset, std::size_t remaining, DWORD* moved,
                        OVERLAPPED* overlapped) const {
    if (reads_) {
        return ReadFile(handle_, into_ + offset, ClampToDword(remaining), moved, overlapped);
    }
    return WriteFile(handle_, from_ + offset, ClampToDword(remaining), moved, overlapped);
}

}  // namespace norvane
