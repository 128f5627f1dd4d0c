#include "burn/catalogue.h"
#include "burn/shared_values.h"
#include "ui/win32/commands.h"
#include "ui/win32/main_window.h"
#include "ui/win32/port_list.h"

namespace norvane {

void OnPortPicked(HWND portList) {
    const LRESULT picked = SendMessageA(portList, CB_GETCURSEL, 0, 0);
    ComSelidx = static_cast<int>(picked);
    selectedComPort.Set(ComboText(portList, picked));
}

// The model list is locked for the whole run, so this only follows a change
// that some other program forces on the list.
void OnModelChanged(HWND modelList) {
    if (BurnRunning()) {
        return;  // the worker reads the selection throughout a burn
    }
    const LRESULT picked = SendMessageA(modelList, CB_GETCURSEL, 0, 0);
    const int index = FindModel(ComboText(modelList, picked).c_str());
    if (index < 0) {
        return;
    }
    SelectModel(index);
    if (SelectedModel().linkKind == LinkKind::Usb) {
        EnumUSBPort(hComPortList);
    } else {
        EnumComPort(hComPortList);
        SendMessageA(hComPortList, CB_SETCURSEL, static_cast<WPARAM>(ComSelidx), 0);
    }
}

}  // namespace norvane
