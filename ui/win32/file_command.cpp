// clang-format off
#include "port/win32/win32_headers.h"
#include <commdlg.h>
// clang-format on

#include <cstring>

#include "burn/image.h"
#include "ui/win32/commands.h"

namespace norvane {

OPENFILENAMEA ofn;
char szFile[260];

// The chosen file is never burnt: every burn takes the built-in image. Its
// size is kept only between burns, since a running burn plans its erase and
// its blocks from fileLength.
void OnChooseFile(HWND window) {
    char previous[sizeof szFile];
    std::memcpy(previous, szFile, sizeof szFile);

    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = window;
    ofn.lpstrFile = szFile;
    szFile[0] = '\0';
    ofn.nMaxFile = sizeof szFile;
    ofn.lpstrFilter = "Binary File (*.bin)\0*.bin\0All (*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

    if (!GetOpenFileNameA(&ofn)) {
        std::memcpy(szFile, previous, sizeof szFile);
        return;
    }
    HANDLE file = CreateFileA(szFile, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);
    if (!BurnRunning()) {
        fileLength.store(size, std::memory_order_relaxed);
    }
}

}  // namespace norvane
