// Drives the firmware update program from beside it, in the same Wine prefix
// and display: finds its window and controls, reads their texts, presses the
// button, answers message boxes and draws the panel the window should show.
// Every command prints what it saw and exits non-zero when it is not what the
// caller expects.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "burn/shared_values.h"
#include "ui/panel/status_panel.h"
#include "ui/win32/gdi_canvas.h"
#include "ui/win32/main_window.h"

namespace {

using norvane::kWindowTitle;
using norvane::szClassName;

constexpr UINT kTextTimeoutMs = 2000;

std::string TextOf(HWND window) {
    char text[512] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied)) {
        return "<no answer>";
    }
    return std::string(text);
}

std::string ClassOf(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND MainWindow() {
    return FindWindowA(szClassName, kWindowTitle);
}

// Polls every 50 ms for up to `timeoutMs` until `found` yields a window.
template <typename Find>
HWND WaitFor(DWORD timeoutMs, Find found) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        HWND window = found();
        if (window != nullptr || GetTickCount64() >= deadline) {
            return window;
        }
        Sleep(50);
    }
}

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<ChildSearch*>(context);
    if (GetDlgCtrlID(child) == search->id) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND Control(HWND parent, int id) {
    ChildSearch search{id, nullptr};
    EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct BoxSearch {
    const char* caption;
    DWORD process;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    if (process == search->process && ClassOf(window) == "#32770" &&
        std::strcmp(title, search->caption) == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A message box of the program with the given caption.
HWND MessageBoxWindow(HWND main, const char* caption) {
    BoxSearch search{caption, 0, nullptr};
    GetWindowThreadProcessId(main, &search.process);
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int Fail(const std::string& what) {
    std::printf("FAIL: %s\n", what.c_str());
    return 1;
}

HWND RequireMain() {
    HWND main = MainWindow();
    if (main == nullptr) {
        std::printf("FAIL: the program's window is not there\n");
        std::exit(1);
    }
    return main;
}

// find-window TIMEOUT_MS: prints the client area's screen position and size.
int FindWindowCommand(DWORD timeoutMs) {
    HWND main = WaitFor(timeoutMs, MainWindow);
    if (main == nullptr) {
        return Fail("no window of class WindowsApp titled \"" + std::string(kWindowTitle) + "\"");
    }
    // The first tick of the repaint timer draws the logo; give it a few.
    Sleep(500);
    RECT client{};
    GetClientRect(main, &client);
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    char title[256] = {};
    GetWindowTextA(main, title, sizeof title);
    RECT outer{};
    GetWindowRect(main, &outer);
    std::printf("title=%s\n", title);
    std::printf("outer %ld %ld %ld %ld\n", outer.left, outer.top, outer.right - outer.left,
                outer.bottom - outer.top);
    std::printf("client %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    return 0;
}

// expect-control ID CLASS TEXT ENABLED
int ExpectControlCommand(int id, const char* className, const char* text, int enabled) {
    HWND control = Control(RequireMain(), id);
    if (control == nullptr) {
        return Fail("no control " + std::to_string(id));
    }
    const std::string actualClass = ClassOf(control);
    const std::string actualText = TextOf(control);
    const int actualEnabled = IsWindowEnabled(control) ? 1 : 0;
    std::printf("control %d: class=%s text=\"%s\" enabled=%d\n", id, actualClass.c_str(),
                actualText.c_str(), actualEnabled);
    if (_stricmp(actualClass.c_str(), className) != 0 || actualText != text ||
        actualEnabled != enabled) {
        return Fail("control " + std::to_string(id) + " is not " + className + " \"" + text +
                    "\" enabled=" + std::to_string(enabled));
    }
    return 0;
}

// click ID: posted, since a sent click would wait on the modal box it opens.
int ClickCommand(int id) {
    HWND control = Control(RequireMain(), id);
    if (control == nullptr) {
        return Fail("no control " + std::to_string(id));
    }
    PostMessageA(control, BM_CLICK, 0, 0);
    return 0;
}

// key VK: a key press as the keyboard would deliver it to the focused control.
int KeyCommand(int virtualKey) {
    HWND main = RequireMain();
    HWND button = Control(main, norvane::kStartBurnId);
    HWND target = button != nullptr ? button : main;
    PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 1);
    PostMessageA(target, WM_KEYUP, static_cast<WPARAM>(virtualKey), 0xC0000001);
    return 0;
}

// wait-enabled ID ENABLED TIMEOUT_MS
int WaitEnabledCommand(int id, int enabled, DWORD timeoutMs) {
    HWND control = Control(RequireMain(), id);
    if (control == nullptr) {
        return Fail("no control " + std::to_string(id));
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while ((IsWindowEnabled(control) ? 1 : 0) != enabled) {
        if (GetTickCount64() >= deadline) {
            return Fail("control " + std::to_string(id) +
                        " did not become enabled=" + std::to_string(enabled));
        }
        Sleep(50);
    }
    std::printf("control %d enabled=%d\n", id, enabled);
    return 0;
}

// answer-box CAPTION TEXT TIMEOUT_MS: waits for the box, checks its text, presses OK.
int AnswerBoxCommand(const char* caption, const char* text, DWORD timeoutMs) {
    HWND main = RequireMain();
    HWND box = WaitFor(timeoutMs, [&] { return MessageBoxWindow(main, caption); });
    if (box == nullptr) {
        return Fail(std::string("no message box \"") + caption + "\"");
    }
    // The box may be found while it is still being filled in.
    std::string shown;
    const ULONGLONG filled = GetTickCount64() + 3000;
    do {
        HWND label = GetDlgItem(box, 0xFFFF);
        shown = label != nullptr ? TextOf(label) : "<no text>";
        if (shown == text) {
            break;
        }
        Sleep(50);
    } while (GetTickCount64() < filled);
    std::printf("box \"%s\": %s\n", caption, shown.c_str());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (IsWindow(box) && GetTickCount64() < deadline) {
        Sleep(50);
    }
    if (shown != text) {
        return Fail(std::string("expected \"") + text + "\"");
    }
    return IsWindow(box) ? Fail("the box did not close") : 0;
}

// cancel-box CAPTION TIMEOUT_MS: waits for a dialog of the program and cancels it.
int CancelBoxCommand(const char* caption, DWORD timeoutMs) {
    HWND main = RequireMain();
    HWND box = WaitFor(timeoutMs, [&] { return MessageBoxWindow(main, caption); });
    if (box == nullptr) {
        return Fail(std::string("no dialog \"") + caption + "\"");
    }
    std::printf("dialog \"%s\" is open\n", caption);
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (IsWindow(box) && GetTickCount64() < deadline) {
        Sleep(50);
    }
    return IsWindow(box) ? Fail("the dialog did not close") : 0;
}

// no-box CAPTION MS: no box with that caption appears within the time.
int NoBoxCommand(const char* caption, DWORD ms) {
    HWND main = RequireMain();
    HWND box = WaitFor(ms, [&] { return MessageBoxWindow(main, caption); });
    if (box != nullptr) {
        HWND label = GetDlgItem(box, 0xFFFF);
        return Fail(std::string("unexpected box \"") + caption +
                    "\": " + (label != nullptr ? TextOf(label) : ""));
    }
    return 0;
}

int CloseCommand() {
    HWND main = MainWindow();
    if (main != nullptr) {
        PostMessageA(main, WM_CLOSE, 0, 0);
    }
    return 0;
}

bool WriteBitmap(const char* path, int width, int height, const void* bits) {
    const DWORD rowBytes = static_cast<DWORD>((width * 3 + 3) / 4 * 4);
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = imageBytes;
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        return false;
    }
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(bits, imageBytes, 1, out) == 1;
    return std::fclose(out) == 0 && ok;
}

// render-panel PROGRAM OUT.bmp WIDTH HEIGHT ELAPSED PROGRESS STATUS ERRORS TOTAL: the
// panel as the program draws it for those values, on the window's background,
// with the logo from PROGRAM's resources.
int RenderPanelCommand(const char* program, const char* path, int width, int height,
                       const std::vector<int>& values) {
    HMODULE resources =
        LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (resources == nullptr) {
        return Fail(std::string("cannot read the resources of ") + program);
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP surface = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, surface);
    const RECT all{0, 0, width, height};
    FillRect(memory, &all, GetSysColorBrush(COLOR_SCROLLBAR));

    norvane::elapsedTime = values[0];
    norvane::progress = values[1];
    norvane::flashStatus = values[2];
    norvane::errCounter = values[3];
    norvane::totalErrCounter = values[4];
    norvane::GdiCanvas canvas(memory, resources);
    norvane::RefreshStatusPanel(canvas);
    GdiFlush();

    const bool written = WriteBitmap(path, width, height, bits);
    SelectObject(memory, previous);
    DeleteObject(surface);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    FreeLibrary(resources);
    return written ? 0 : Fail(std::string("cannot write ") + path);
}

// dump-image PROGRAM OUT: writes PROGRAM's image resource (BIN 8) to OUT.
int DumpImageCommand(const char* program, const char* path) {
    HMODULE module =
        LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC resource =
        module != nullptr ? FindResourceA(module, MAKEINTRESOURCEA(8), "BIN") : nullptr;
    HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return Fail(std::string("no image resource in ") + program);
    }
    const DWORD size = SizeofResource(module, resource);
    std::printf("image resource: %lu bytes\n", static_cast<unsigned long>(size));
    FILE* out = std::fopen(path, "wb");
    const bool written = out != nullptr && std::fwrite(bytes, 1, size, out) == size;
    if (out != nullptr) {
        std::fclose(out);
    }
    FreeLibrary(module);
    return written ? 0 : Fail(std::string("cannot write ") + path);
}

// version PROGRAM: prints the version record's texts that name the build.
int VersionCommand(const char* program) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program, &ignored);
    std::vector<char> data(size);
    if (size == 0 || !GetFileVersionInfoA(program, 0, size, data.data())) {
        return Fail(std::string("no version record in ") + program);
    }
    for (const char* key : {"FileVersion", "ProductName", "ServedModel", "FirmwareImage"}) {
        const std::string query = std::string("\\StringFileInfo\\040904B0\\") + key;
        char* value = nullptr;
        UINT length = 0;
        if (VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) &&
            value != nullptr) {
            std::printf("%s=%s\n", key, value);
        } else {
            std::printf("%s is missing\n", key);
        }
    }
    return 0;
}

int Usage() {
    std::printf(
        "usage: wine_driver COMMAND ...\n"
        "  find-window TIMEOUT_MS\n"
        "  expect-control ID CLASS TEXT ENABLED\n"
        "  click ID | key VK | close\n"
        "  wait-enabled ID ENABLED TIMEOUT_MS\n"
        "  answer-box CAPTION TEXT TIMEOUT_MS | cancel-box CAPTION TIMEOUT_MS\n"
        "  no-box CAPTION MS\n"
        "  render-panel PROGRAM OUT.bmp WIDTH HEIGHT ELAPSED PROGRESS STATUS ERRORS TOTAL\n"
        "  dump-image PROGRAM OUT | version PROGRAM\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        return Usage();
    }
    const std::string command = argv[1];
    auto number = [&](int i) { return static_cast<int>(std::strtol(argv[i], nullptr, 0)); };
    auto ms = [&](int i) { return static_cast<DWORD>(std::strtoul(argv[i], nullptr, 10)); };
    if (command == "find-window" && argc == 3) {
        return FindWindowCommand(ms(2));
    }
    if (command == "expect-control" && argc == 6) {
        return ExpectControlCommand(number(2), argv[3], argv[4], number(5));
    }
    if (command == "click" && argc == 3) {
        return ClickCommand(number(2));
    }
    if (command == "key" && argc == 3) {
        return KeyCommand(number(2));
    }
    if (command == "wait-enabled" && argc == 5) {
        return WaitEnabledCommand(number(2), number(3), ms(4));
    }
    if (command == "answer-box" && argc == 5) {
        return AnswerBoxCommand(argv[2], argv[3], ms(4));
    }
    if (command == "cancel-box" && argc == 4) {
        return CancelBoxCommand(argv[2], ms(3));
    }
    if (command == "no-box" && argc == 4) {
        return NoBoxCommand(argv[2], ms(3));
    }
    if (command == "close" && argc == 2) {
        return CloseCommand();
    }
    if (command == "render-panel" && argc == 11) {
        std::vector<int> values;
        for (int i = 6; i < 11; ++i) {
            values.push_back(number(i));
        }
        return RenderPanelCommand(argv[2], argv[3], number(4), number(5), values);
    }
    if (command == "dump-image" && argc == 4) {
        return DumpImageCommand(argv[2], argv[3]);
    }
    if (command == "version" && argc == 3) {
        return VersionCommand(argv[2]);
    }
    return Usage();
}
