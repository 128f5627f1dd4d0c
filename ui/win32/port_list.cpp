#include "ui/win32/port_list.h"

#include <optional>
#include <string>
#include <vector>

#include "port/win32/port_listing.h"

namespace norvane {

int totalComPort = 0;

namespace {

void EmptyPortList(HWND list) {
    for (int i = 0; i < totalComPort; ++i) {
        SendMessageA(list, CB_DELETESTRING, 0, 0);
    }
    totalComPort = 0;
}

void AddPort(HWND list, const char* name) {
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    ++totalComPort;
}

}  // namespace

void EnumComPort(HWND hComPortList) {
    const std::optional<std::vector<std::string>> names = ComPortNames();
    if (!names) {
        return;
    }
    EmptyPortList(hComPortList);
    for (const std::string& name : *names) {
        AddPort(hComPortList, name.c_str());
    }
}

void EnumUSBPort(HWND hComPortList) {
    EmptyPortList(hComPortList);
    SendMessageA(hComPortList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("USB"));
    SendMessageA(hComPortList, CB_SETCURSEL, 0, 0);
    totalComPort = 1;
}

}  // namespace norvane
