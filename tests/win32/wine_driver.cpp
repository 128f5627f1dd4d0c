// Drives the firmware update program from beside it, in the same Wine prefix
// and display: finds its window and controls, presses the button, answers
// message boxes, and holds the window and a screenshot of it against the
// values the window is made with. Every expected value is written here;
// nothing of the program's own code is used to compare with.
//
// Every command prints what it saw and exits non-zero when it is not what the
// caller expects; the window checks print one PASS or FAIL line per check.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// --------------------------------------------------------- the window's values

constexpr char kClassName[] = "WindowsApp";
constexpr char kTitle[] = "Norvane PLC Firmware Update Program";
constexpr int kStartBurnId = 2;
constexpr int kOuterWidth = 544;
constexpr int kOuterHeight = 205;
// A title bar with system menu and minimise box; the platform adds that the
// window is visible and clips its siblings.
constexpr LONG kWindowStyle = 0x00CA0000;
constexpr LONG kShownWindowStyle = kWindowStyle | WS_VISIBLE | WS_CLIPSIBLINGS;

struct ExpectedControl {
    const char* what;
    const char* className;
    int id;
    int x, y, width, height;  // client coordinates; a list's height includes its drop-down
    LONG style;
};

// In creation order, which is the Tab order. The model list is disabled once
// the served model is selected.
const ExpectedControl kControls[] = {
    {"Start Burn button", "BUTTON", 2, 10, 60, 100, 30, 0x50010001},
    {"model list", "COMBOBOX", 8, 10, 20, 120, 200, 0x50210343 | WS_DISABLED},
    {"port list", "COMBOBOX", 7, 160, 20, 100, 200, 0x50210303},
};

// The check's prefix gives system colour 0 (COLOR_SCROLLBAR) the colour
// Windows gives it; the window's background and every erased area have it.
constexpr COLORREF kBackground = RGB(200, 200, 200);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);  // a device context's default text colour

// A rectangle in client coordinates, right and bottom exclusive.
struct Box {
    int left, top, right, bottom;
};

constexpr Box kBar{10, 105, 520, 125};
constexpr Box kLogo{435, 15, 435 + 87, 15 + 28};
constexpr int kLogoResource = 12;

struct PlacedText {
    int x, y;
    std::string text;
};

// ------------------------------------------------------------------ the checks

int failures = 0;

void Verdict(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what.c_str());
    failures += ok ? 0 : 1;
}

// Every caller hands a literal format for one long ("%ld", "%3ld", "0x%lX"),
// which the compiler cannot see through the parameter.
std::string Format(const char* format, long a) {
    char text[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(text, sizeof text, format, a);
#pragma GCC diagnostic pop
    return text;
}

std::string Hex(LONG value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

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
    return FindWindowA(kClassName, kTitle);
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

// The main window's own children, front to back: the order they were created
// in, which the keyboard's Tab follows.
std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

HWND Control(HWND parent, int id) {
    for (HWND child : Children(parent)) {
        if (GetDlgCtrlID(child) == id) {
            return child;
        }
    }
    return nullptr;
}

// A window's rectangle in the main window's client coordinates.
RECT ClientRectOf(HWND main, HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
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
        return Fail(std::string("no window of class ") + kClassName + " titled \"" + kTitle + "\"");
    }
    // The first tick of the repaint timer draws the logo; give it a few.
    Sleep(500);
    RECT client{};
    GetClientRect(main, &client);
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    RECT outer{};
    GetWindowRect(main, &outer);
    std::printf("outer %ld %ld %ld %ld\n", outer.left, outer.top, outer.right - outer.left,
                outer.bottom - outer.top);
    std::printf("client %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    return 0;
}

// expect-window MODEL PORT: the window, its class and its three controls as
// they are made, with the model list showing MODEL and the port list PORT.
int ExpectWindowCommand(const char* model, const char* port) {
    HWND main = RequireMain();
    const std::string title = TextOf(main);
    Verdict(title == kTitle, "window title \"" + title + "\"");
    RECT outer{};
    GetWindowRect(main, &outer);
    const long width = outer.right - outer.left;
    const long height = outer.bottom - outer.top;
    Verdict(width == kOuterWidth && height == kOuterHeight, "outer size " + Format("%ld", width) +
                                                                " x " + Format("%ld", height) +
                                                                " (expected 544 x 205)");
    const LONG style = GetWindowLongA(main, GWL_STYLE);
    const LONG exStyle = GetWindowLongA(main, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE;
    Verdict(style == kShownWindowStyle && exStyle == 0,
            "window style " + Hex(style) + " (expected " + Hex(kWindowStyle) +
                ", shown and clipping its siblings), extended style " + Hex(exStyle) +
                " beside the edge the caption brings");
    // Wine keeps a class's background brush with the process that registered
    // it, so from here only the class style can be read; the background's
    // colour is held by the panel's pixels instead.
    const auto classStyle = static_cast<long>(GetClassLongPtrA(main, GCL_STYLE));
    Verdict(classStyle == CS_DBLCLKS, "class " + ClassOf(main) + ": style " +
                                          Format("0x%lX", classStyle) + " (expected CS_DBLCLKS)");

    const std::vector<HWND> children = Children(main);
    std::string order;
    for (HWND child : children) {
        order += (order.empty() ? "" : ", ") + Format("%ld", GetDlgCtrlID(child));
    }
    bool inOrder = children.size() == sizeof kControls / sizeof kControls[0];
    for (std::size_t i = 0; inOrder && i < children.size(); ++i) {
        inOrder = GetDlgCtrlID(children[i]) == kControls[i].id;
    }
    Verdict(inOrder, "controls in creation and Tab order: " + order + " (expected 2, 8, 7)");
    // Tab passes over the disabled model list: from the button to the port list and back.
    HWND button = Control(main, 2);
    HWND portList = Control(main, 7);
    Verdict(button != nullptr && portList != nullptr &&
                GetNextDlgTabItem(main, button, FALSE) == portList &&
                GetNextDlgTabItem(main, portList, FALSE) == button,
            "Tab goes from the button to the port list and back");

    for (const ExpectedControl& d : kControls) {
        HWND control = Control(main, d.id);
        if (control == nullptr) {
            Verdict(false, std::string(d.what) + ": no control " + Format("%ld", d.id));
            continue;
        }
        const std::string text = TextOf(control);
        const std::string expectedText = d.id == kStartBurnId ? "Start Burn"
                                         : d.id == 8          ? std::string(model)
                                                              : port;
        const RECT rect = ClientRectOf(main, control);
        long shownHeight = rect.bottom - rect.top;
        LONG expectedStyle = d.style;
        if (_stricmp(d.className, "COMBOBOX") == 0) {
            // A drop-down list is only as high as its selection field; the rest
            // of the height it was created with goes to the list that drops
            // down, whose height Wine reports for CB_GETDROPPEDCONTROLRECT.
            RECT dropped{};
            SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            shownHeight += dropped.bottom - dropped.top;
            // The platform hands a combo box's scroll-bar bit to that list,
            // which shows a scroll bar when its entries need one.
            expectedStyle &= ~WS_VSCROLL;
        }
        const LONG controlStyle = GetWindowLongA(control, GWL_STYLE);
        const LONG controlExStyle = GetWindowLongA(control, GWL_EXSTYLE);
        const bool ok = _stricmp(ClassOf(control).c_str(), d.className) == 0 &&
                        text == expectedText && rect.left == d.x && rect.top == d.y &&
                        rect.right - rect.left == d.width && shownHeight == d.height &&
                        controlStyle == expectedStyle && controlExStyle == 0;
        Verdict(ok, std::string(d.what) + ": " + ClassOf(control) + " " + Format("%ld", d.id) +
                        " \"" + text + "\" at " + Format("%ld", rect.left) + "," +
                        Format("%ld", rect.top) + " " + Format("%ld", rect.right - rect.left) +
                        " x " + Format("%ld", shownHeight) + " style " + Hex(controlStyle) +
                        " extended " + Hex(controlExStyle) + " (expected " + d.className + " \"" +
                        expectedText + "\" at " + Format("%ld", d.x) + "," + Format("%ld", d.y) +
                        " " + Format("%ld", d.width) + " x " + Format("%ld", d.height) + " style " +
                        Hex(d.style) + (expectedStyle != d.style ? " less WS_VSCROLL" : "") + ")");
    }
    return failures == 0 ? 0 : 1;
}

// ------------------------------------------------------------------ the pixels

// A screenshot of the whole display (binary PPM), read in client coordinates.
class Shot {
  public:
    bool Load(const char* path, POINT origin) {
        origin_ = origin;
        FILE* in = std::fopen(path, "rb");
        if (in == nullptr) {
            return false;
        }
        int maxValue = 0;
        const bool header = std::fscanf(in, "P6 %d %d %d", &width_, &height_, &maxValue) == 3 &&
                            maxValue == 255 && std::fgetc(in) != EOF;
        const std::size_t size = static_cast<std::size_t>(width_) * height_ * 3;
        bytes_.resize(header ? size : 0);
        const bool read = header && std::fread(bytes_.data(), 1, size, in) == size;
        std::fclose(in);
        return read;
    }
    COLORREF At(int x, int y) const {
        const int sx = origin_.x + x;
        const int sy = origin_.y + y;
        if (sx < 0 || sy < 0 || sx >= width_ || sy >= height_) {
            return CLR_INVALID;
        }
        const std::uint8_t* p = &bytes_[(static_cast<std::size_t>(sy) * width_ + sx) * 3];
        return RGB(p[0], p[1], p[2]);
    }

  private:
    POINT origin_{};
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// A client-sized picture drawn here with the platform alone: the background
// colour, then each text with a transparent background in a fresh context's
// default font and text colour.
class Picture {
  public:
    Picture(int width, int height, const std::vector<PlacedText>& texts)
        : width_(width), height_(height) {
        HDC memory = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HBITMAP surface = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ previous = SelectObject(memory, surface);
        HBRUSH background = CreateSolidBrush(kBackground);
        const RECT all{0, 0, width, height};
        FillRect(memory, &all, background);
        DeleteObject(background);
        SetBkMode(memory, TRANSPARENT);
        for (const PlacedText& t : texts) {
            TextOutA(memory, t.x, t.y, t.text.data(), static_cast<int>(t.text.size()));
        }
        GdiFlush();
        const auto* pixels = static_cast<const std::uint32_t*>(bits);
        pixels_.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
        SelectObject(memory, previous);
        DeleteObject(surface);
        DeleteDC(memory);
    }
    COLORREF At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) {
            return CLR_INVALID;
        }
        const std::uint32_t p = pixels_[static_cast<std::size_t>(y) * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

  private:
    int width_;
    int height_;
    std::vector<std::uint32_t> pixels_;
};

std::string Colour(COLORREF c) {
    if (c == CLR_INVALID) {
        return "off the screen";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%d,%d,%d", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

std::string Where(const Box& b) {
    char text[64];
    std::snprintf(text, sizeof text, "(%d,%d)-(%d,%d)", b.left, b.top, b.right, b.bottom);
    return text;
}

// Counts the pixels of `box` for which `wrong(x, y, why)` holds and names the
// first, with what `wrong` put in `why`.
template <typename Wrong>
int CountWrong(const Box& box, std::string& first, Wrong wrong) {
    int count = 0;
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            std::string why;
            if (wrong(x, y, why)) {
                if (count++ == 0) {
                    first = " first at (" + Format("%ld", x) + "," + Format("%ld", y) + "): " + why;
                }
            }
        }
    }
    return count;
}

void ExpectColour(const Shot& shot, const Box& box, COLORREF colour, const std::string& what) {
    std::string first;
    const int wrong = CountWrong(box, first, [&](int x, int y, std::string& why) {
        why = Colour(shot.At(x, y));
        return shot.At(x, y) != colour;
    });
    Verdict(wrong == 0, what + " " + Where(box) + " is " + Colour(colour) + ": " +
                            Format("%ld", wrong) + " pixels differ" + first);
}

// Text drawn transparently in black over the background leaves the background
// and, where it smooths a glyph's edge, greys between the two.
bool IsInk(COLORREF c) {
    return c != kBackground && GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c) &&
           GetRValue(c) < GetRValue(kBackground);
}

struct TextBox {
    const char* what;
    Box box;  // erased with the background before each drawing
    std::vector<PlacedText> texts;
};

// What the panel should show.
struct PanelState {
    long elapsedLow, elapsedHigh;  // the elapsed seconds lie in this range
    long progress;
    std::string phase;
    long errors, total;
};

std::string Number(long value) {
    return Format("%3ld", value);  // right-aligned in at least three places
}

std::vector<TextBox> TextBoxes(const PanelState& s, long elapsed, int clientWidth) {
    return {
        {"elapsed time",
         {160, 70, 335, 90},
         {{160, 70, "Elapsed Time:              sec"}, {270, 70, Number(elapsed)}}},
        {"progress text",
         {10, 140, 130, 160},
         {{10, 140, "Progress:            %"}, {85, 140, Number(s.progress)}}},
        {"phase", {160, 140, 300, 160}, {{160, 140, "Status: "}, {209, 140, s.phase}}},
        // The erased area reaches x 540, past the client area's right edge.
        {"retry counters",
         {320, 140, std::min(540, clientWidth), 160},
         {{320, 140,
           "# of Error/Total Error: " + Format("%ld", s.errors) + "/" + Format("%ld", s.total)}}},
    };
}

const PlacedText kDate{300, 25, "Date: 2022/06/13"};

// The logo as the platform loads bitmap 12 of `program` at 87 x 28.
bool LoadLogo(const char* program, std::vector<COLORREF>& pixels) {
    HMODULE module =
        LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        return false;
    }
    const int width = kLogo.right - kLogo.left;
    const int height = kLogo.bottom - kLogo.top;
    HANDLE image = LoadImageA(module, MAKEINTRESOURCEA(kLogoResource), IMAGE_BITMAP, width, height,
                              LR_DEFAULTCOLOR);
    bool ok = false;
    if (image != nullptr) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        std::vector<std::uint32_t> bits(static_cast<std::size_t>(width) * height);
        HDC screen = GetDC(nullptr);
        ok = GetDIBits(screen, static_cast<HBITMAP>(image), 0, static_cast<UINT>(height),
                       bits.data(), &info, DIB_RGB_COLORS) == height;
        ReleaseDC(nullptr, screen);
        DeleteObject(image);
        pixels.clear();
        for (std::uint32_t p : bits) {
            pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
        }
    }
    FreeLibrary(module);
    return ok;
}

// expect-panel SHOT.ppm PROGRAM ELAPSED_LOW ELAPSED_HIGH PROGRESS PHASE ERRORS TOTAL:
// the status panel in the screenshot, pixel by pixel where its values say.
int ExpectPanelCommand(const char* shotPath, const char* program, const PanelState& state) {
    HWND main = RequireMain();
    RECT client{};
    GetClientRect(main, &client);
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    Shot shot;
    if (!shot.Load(shotPath, origin)) {
        return Fail(std::string("cannot read the screenshot ") + shotPath);
    }
    Verdict(GetSysColor(COLOR_SCROLLBAR) == kBackground,
            "system colour 0 is " + Colour(GetSysColor(COLOR_SCROLLBAR)) + " (the prefix sets " +
                Colour(kBackground) + ")");

    // The bar: red from x 10 to its edge, white from there to x 519, on rows
    // 105 to 124, and nothing drawn around it.
    const long edge = kBar.left + state.progress * 510 / 100;
    ExpectColour(shot, {kBar.left, kBar.top, static_cast<int>(edge), kBar.bottom}, kRed,
                 "bar at " + Format("%ld", state.progress) + " %: red part");
    ExpectColour(shot, {static_cast<int>(edge), kBar.top, kBar.right, kBar.bottom}, kWhite,
                 "bar: white part");
    for (const Box& around : {Box{kBar.left - 2, kBar.top - 2, kBar.right + 2, kBar.top},
                              Box{kBar.left - 2, kBar.bottom, kBar.right + 2, kBar.bottom + 2},
                              Box{kBar.left - 2, kBar.top, kBar.left, kBar.bottom},
                              Box{kBar.right, kBar.top, kBar.right + 2, kBar.bottom}}) {
        ExpectColour(shot, around, kBackground, "around the bar");
    }

    // The logo: bitmap 12 as the platform scales it, copied unchanged to
    // (435, 15) and covering exactly 87 x 28 pixels.
    std::vector<COLORREF> logo;
    if (!LoadLogo(program, logo)) {
        Verdict(false, std::string("bitmap 12 of ") + program + " cannot be loaded at 87 x 28");
    } else {
        std::string first;
        const int wrong = CountWrong(kLogo, first, [&](int x, int y, std::string& why) {
            const COLORREF want =
                logo[static_cast<std::size_t>(y - kLogo.top) * (kLogo.right - kLogo.left) +
                     (x - kLogo.left)];
            why = Colour(shot.At(x, y)) + " for " + Colour(want);
            return shot.At(x, y) != want;
        });
        Verdict(wrong == 0, "logo at " + Where(kLogo) + " is bitmap 12 at 87 x 28: " +
                                Format("%ld", wrong) + " pixels differ" + first);
    }
    for (const Box& around : {Box{kLogo.left - 2, kLogo.top - 2, kLogo.right + 2, kLogo.top},
                              Box{kLogo.left - 2, kLogo.bottom, kLogo.right + 2, kLogo.bottom + 2},
                              Box{kLogo.left - 2, kLogo.top, kLogo.left, kLogo.bottom},
                              Box{kLogo.right, kLogo.top, kLogo.right + 2, kLogo.bottom}}) {
        ExpectColour(shot, around, kBackground, "around the logo");
    }

    // Each text box is erased with the background and its texts drawn over it
    // transparently in the default text colour.
    const std::vector<TextBox> boxes =
        TextBoxes(state, state.elapsedLow, static_cast<int>(client.right));
    for (const TextBox& t : boxes) {
        std::string first;
        int background = 0;
        int black = 0;
        const int wrong = CountWrong(t.box, first, [&](int x, int y, std::string& why) {
            const COLORREF c = shot.At(x, y);
            background += c == kBackground ? 1 : 0;
            black += c == kBlack ? 1 : 0;
            why = Colour(c);
            return c != kBackground && !IsInk(c);
        });
        const int area = (t.box.right - t.box.left) * (t.box.bottom - t.box.top);
        Verdict(wrong == 0 && black > 0 && background * 2 > area,
                std::string(t.what) + " box " + Where(t.box) + ": " + Format("%ld", background) +
                    " background pixels, " + Format("%ld", black) + " black, " +
                    Format("%ld", wrong) + " neither background nor text" + first);
    }
    // ... and shows what the panel holds, as the same texts drawn here show it.
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const bool elapsed = i == 0;  // the one box whose number the check knows within a range
        std::string first;
        std::string shown;
        int wrong = 0;
        for (long e = state.elapsedLow; e <= (elapsed ? state.elapsedHigh : state.elapsedLow);
             ++e) {
            const TextBox t = TextBoxes(state, e, static_cast<int>(client.right))[i];
            const Picture picture(client.right, client.bottom, t.texts);
            first.clear();
            wrong = CountWrong(t.box, first, [&](int x, int y, std::string& why) {
                why = Colour(shot.At(x, y)) + " for " + Colour(picture.At(x, y));
                return shot.At(x, y) != picture.At(x, y);
            });
            shown.clear();
            for (const PlacedText& p : t.texts) {
                shown += (shown.empty() ? "\"" : ", \"") + p.text + "\"";
            }
            if (wrong == 0) {
                break;
            }
        }
        Verdict(wrong == 0, std::string(boxes[i].what) + " box shows " + shown + ": " +
                                Format("%ld", wrong) + " pixels differ" + first);
    }

    // Outside the boxes, the bar, the logo and the controls, the date and the
    // ends of labels longer than their boxes are drawn again every tick
    // without being erased; each pass darkens the smoothed edges, so there
    // only where text is, not how dark, can be compared.
    std::vector<PlacedText> all{kDate};
    for (const TextBox& t : boxes) {
        all.insert(all.end(), t.texts.begin(), t.texts.end());
    }
    const Picture picture(client.right, client.bottom, all);
    std::vector<Box> skip{kBar, kLogo};
    for (const TextBox& t : boxes) {
        skip.push_back(t.box);
    }
    for (HWND child : Children(main)) {
        const RECT r = ClientRectOf(main, child);
        skip.push_back({r.left, r.top, r.right, r.bottom});
    }
    std::string first;
    const int wrong =
        CountWrong({0, 0, static_cast<int>(client.right), static_cast<int>(client.bottom)}, first,
                   [&](int x, int y, std::string& why) {
                       for (const Box& b : skip) {
                           if (x >= b.left && x < b.right && y >= b.top && y < b.bottom) {
                               return false;
                           }
                       }
                       const COLORREF c = shot.At(x, y);
                       why = Colour(c) + " for " + Colour(picture.At(x, y));
                       return (c != kBackground && !IsInk(c)) ||
                              (c == kBackground) != (picture.At(x, y) == kBackground);
                   });
    Verdict(wrong == 0,
            "the rest of the client area: background, with text only where the "
            "date and the labels' ends are: " +
                Format("%ld", wrong) + " pixels differ" + first);
    return failures == 0 ? 0 : 1;
}

// expect-lists: the disabled model list shows its text greyed, the port list
// in black (the platform draws both; a disabled list must look disabled).
int ExpectListsCommand(const char* shotPath) {
    HWND main = RequireMain();
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    Shot shot;
    if (!shot.Load(shotPath, origin)) {
        return Fail(std::string("cannot read the screenshot ") + shotPath);
    }
    struct List {
        const char* what;
        Box text;  // inside the frame, left of the arrow button
        bool greyed;
    };
    for (const List& list : {List{"model list", {13, 24, 113, 40}, true},
                             List{"port list", {163, 24, 243, 40}, false}}) {
        int dark = 0;
        int grey = 0;
        for (int y = list.text.top; y < list.text.bottom; ++y) {
            for (int x = list.text.left; x < list.text.right; ++x) {
                const COLORREF c = shot.At(x, y);
                const int r = GetRValue(c);
                dark += r < 64 && GetGValue(c) < 64 && GetBValue(c) < 64 ? 1 : 0;
                grey += r == GetGValue(c) && r == GetBValue(c) && r >= 100 && r <= 200 ? 1 : 0;
            }
        }
        const bool ok = list.greyed ? dark == 0 && grey > 20 : dark > 20;
        Verdict(ok, std::string(list.what) + " text " + (list.greyed ? "greyed" : "black") + ": " +
                        Format("%ld", dark) + " dark, " + Format("%ld", grey) + " grey pixels");
    }
    return failures == 0 ? 0 : 1;
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
    HWND button = Control(main, kStartBurnId);
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
    for (const char* key :
         {"FileVersion", "ProductVersion", "ProductName", "ServedModel", "FirmwareImage"}) {
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
        "  expect-window MODEL PORT\n"
        "  expect-panel SHOT.ppm PROGRAM ELAPSED_LOW ELAPSED_HIGH PROGRESS PHASE ERRORS TOTAL\n"
        "  expect-lists SHOT.ppm\n"
        "  expect-control ID CLASS TEXT ENABLED\n"
        "  click ID | key VK | close\n"
        "  wait-enabled ID ENABLED TIMEOUT_MS\n"
        "  answer-box CAPTION TEXT TIMEOUT_MS | cancel-box CAPTION TIMEOUT_MS\n"
        "  no-box CAPTION MS\n"
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
    if (command == "expect-window" && argc == 4) {
        return ExpectWindowCommand(argv[2], argv[3]);
    }
    if (command == "expect-panel" && argc == 10) {
        const PanelState state{number(4), number(5), number(6), argv[7], number(8), number(9)};
        return ExpectPanelCommand(argv[2], argv[3], state);
    }
    if (command == "expect-lists" && argc == 3) {
        return ExpectListsCommand(argv[2]);
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
    if (command == "dump-image" && argc == 4) {
        return DumpImageCommand(argv[2], argv[3]);
    }
    if (command == "version" && argc == 3) {
        return VersionCommand(argv[2]);
    }
    return Usage();
}
