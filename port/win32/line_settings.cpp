#include "port/win32/line_settings.h"

namespace norvane {

DCB DcbWith(const DCB& current, const LineSettings& settings) {
    DCB dcb = current;
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = settings.dataBits;
    switch (settings.parity) {
        case Parity::None:
            dcb.Parity = NOPARITY;
            break;
        case Parity::Odd:
            dcb.Parity = ODDPARITY;
            break;
        case Parity::Even:
            dcb.Parity = EVENPARITY;
            break;
    }
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    if (settings.dtrDisabled) {
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
    } else {
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
    }
    if (settings.rtsDisabled) {
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
    } else {
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    }
    return dcb;
}

void ApplyLineSettingsTo(HANDLE handle, const LineSettings& settings) {
    DCB current{};
    current.DCBlength = sizeof current;
    if (!GetCommState(handle, &current)) {
        return;
    }
    DCB wanted = DcbWith(current, settings);
    SetCommState(handle, &wanted);
}

COMMTIMEOUTS CommTimeoutsFor(const LinkTimeouts& timeouts) {
    COMMTIMEOUTS record{};
    record.ReadIntervalTimeout = MAXDWORD;
    record.ReadTotalTimeoutConstant = timeouts.readMs;
    record.WriteTotalTimeoutConstant = timeouts.writeMs;
    return record;
}

}  // namespace norvane
