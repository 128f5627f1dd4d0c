#include "ui/win32/main_window.h"

#include <cstring>

#include "burn/catalogue.h"
#include "burn/image.h"
#include "burn/shared_values.h"
#include "ui/win32/port_list.h"

namespace norvane {

ParamStruct paramStruct{};
HWND hComPortList = nullptr;
int ComSelidx = 0;

namespace {

constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr DWORD kModelListStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP |
                                  CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | CBS_SORT | CBS_HASSTRINGS;
constexpr DWORD kPortListStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS;

static_assert(kWindowStyle == 0x00CA0000, "a title bar, system menu and minimise box only");
static_assert(kButtonStyle == 0x50010001, "the default push button");
static_assert(kModelListStyle == 0x50210343, "a sorted drop-down list");
static_assert(kPortListStyle == 0x50210303, "a sorted drop-down list");

HWND CreateChild(HWND parent, const char* className, const char* text, DWORD style, int x, int y,
                 int width, int height, int id, HINSTANCE instance) {
    return CreateWindowExA(0, className, text, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

// Selects the served model in the list and makes it the selection of the run.
// The list's search ignores letter case; the model is then taken from the
// entry that was found, so the selection always names a catalogue model.
void SelectServedModel(HWND modelList) {
    const std::string served = ServedModelName(EmbeddedImageName());
    LRESULT entry = CB_ERR;
    if (!served.empty()) {
        entry = SendMessageA(modelList, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(served.c_str()));
    }
    if (entry == CB_ERR) {
        entry = 0;
    }
    SendMessageA(modelList, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    const int index = FindModel(ComboText(modelList, entry).c_str());
    if (index >= 0) {
        SelectModel(index);
    }
}

}  // namespace

std::string ComboText(HWND combo, LRESULT index) {
    if (index < 0) {
        return std::string();
    }
    const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied = SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

HWND CreateMainWindow(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_SCROLLBAR + 1));
    windowClass.lpszClassName = szClassName;
    if (!RegisterClassExA(&windowClass)) {
        return nullptr;
    }

    HWND window =
        CreateWindowExA(0, szClassName, kWindowTitle, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        544, 205, HWND_DESKTOP, nullptr, instance, nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    CreateChild(window, "BUTTON", "Start Burn", kButtonStyle, 10, 60, 100, 30, kStartBurnId,
                instance);
    HWND modelList = CreateChild(window, "COMBOBOX", "", kModelListStyle, 10, 20, 120, 200,
                                 kModelListId, instance);
    for (int i = 0; i < kModelCount; ++i) {
        SendMessageA(modelList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(plcList[i]));
    }
    SelectServedModel(modelList);
    EnableWindow(modelList, FALSE);

    hComPortList = CreateChild(window, "COMBOBOX", "", kPortListStyle, 160, 20, 100, 200,
                               kPortListId, instance);
    if (SelectedModel().linkKind == LinkKind::Usb) {
        EnumUSBPort(hComPortList);
    } else {
        EnumComPort(hComPortList);
    }
    SendMessageA(hComPortList, CB_SETCURSEL, 0, 0);
    const LRESULT selected = SendMessageA(hComPortList, CB_GETCURSEL, 0, 0);
    if (selected != CB_ERR) {
        selectedComPort.Set(ComboText(hComPortList, selected));
    }
    return window;
}

int RunMainWindow(HWND window, int showCommand) {
    SetTimer(window, kRepaintTimerId, 100, nullptr);
    ShowWindow(window, showCommand);
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

}  // namespace norvane
