// The device control block the links write: the six fields the tool sets, and
// everything else as the port had it.
#include "port/win32/line_settings.h"

#include "link/link.h"
#include "tests/win32/check.h"

namespace norvane {
namespace {

DCB PortAsFound() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = ODDPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutX = TRUE;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.XonLim = 2048;
    dcb.XonChar = 0x11;
    return dcb;
}

TEST_CASE(LineRecordsChangeOnlyTheirSixFields) {
    struct Case {
        LineSettings settings;
        DWORD baud;
        BYTE dataBits;
        BYTE parity;
    };
    const Case cases[] = {{kApplicationLineSettings, 9600, 7, EVENPARITY},
                          {kTransferLineSettings, 115200, 8, NOPARITY}};
    for (const Case& c : cases) {
        const DCB found = PortAsFound();
        const DCB dcb = DcbWith(found, c.settings);
        CHECK_EQ(dcb.BaudRate, c.baud);
        CHECK_EQ(dcb.ByteSize, c.dataBits);
        CHECK_EQ(dcb.Parity, c.parity);
        CHECK_EQ(dcb.StopBits, ONESTOPBIT);
        CHECK_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
        CHECK_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
        // Flow control and the rest stay as the port has them.
        CHECK_EQ(dcb.DCBlength, found.DCBlength);
        CHECK_EQ(dcb.fBinary, found.fBinary);
        CHECK_EQ(dcb.fOutxCtsFlow, found.fOutxCtsFlow);
        CHECK_EQ(dcb.fOutX, found.fOutX);
        CHECK_EQ(dcb.XonLim, found.XonLim);
        CHECK_EQ(dcb.XonChar, found.XonChar);
    }
}

// The wake and exchange time-outs as the port is given them: a read returns once
// all asked for is there and waits for nothing beyond its total; no multipliers.
TEST_CASE(TimeoutRecordsAreTheTotalsWithoutMultipliers) {
    const struct {
        LinkTimeouts timeouts;
        DWORD total;
    } cases[] = {{kWakeTimeouts, 200}, {kExchangeTimeouts, 3000}};
    for (const auto& c : cases) {
        const COMMTIMEOUTS record = CommTimeoutsFor(c.timeouts);
        CHECK_EQ(record.ReadIntervalTimeout, static_cast<DWORD>(MAXDWORD));
        CHECK_EQ(record.ReadTotalTimeoutMultiplier, 0u);
        CHECK_EQ(record.ReadTotalTimeoutConstant, c.total);
        CHECK_EQ(record.WriteTotalTimeoutMultiplier, 0u);
        CHECK_EQ(record.WriteTotalTimeoutConstant, c.total);
    }
}

}  // namespace
}  // namespace norvane
