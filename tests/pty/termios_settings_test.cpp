// The terminal record built from the two line-settings records the tool uses.
// Checked on the record: a pseudo-terminal cannot show data bits or parity.
#include "port/posix/termios_settings.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

namespace norvane::posix {
namespace {

// A port as it might be found: cooked, with flow control and odd settings.
termios FoundPort() {
    termios record{};
    record.c_iflag = ICRNL | IXON | IXOFF | ISTRIP | INPCK;
    record.c_oflag = OPOST | ONLCR;
    record.c_cflag = CS6 | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL;
    record.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
#ifdef CMSPAR
    record.c_cflag |= CMSPAR;  // left with mark or space parity by another program
#endif
    cfsetispeed(&record, B38400);
    cfsetospeed(&record, B38400);
    return record;
}

TEST(TermiosSettingsTest, RecordMatchesTheLineSettings) {
    struct Case {
        const char* name;
        LineSettings settings;
        speed_t speed;
        tcflag_t size;
        tcflag_t parity;  // PARENB | PARODD bits expected
        bool twoStopBits;
    };
    const Case cases[] = {
        {"9600 7E1", {9600, 7, Parity::Even, 1, true, true}, B9600, CS7, PARENB, false},
        {"115200 8N1", {115200, 8, Parity::None, 1, true, true}, B115200, CS8, 0, false},
        {"19200 8O2", {19200, 8, Parity::Odd, 2, false, false}, B19200, CS8, PARENB | PARODD, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const termios record = BuildTermios(FoundPort(), c.settings);
        EXPECT_EQ(cfgetispeed(&record), c.speed);
        EXPECT_EQ(cfgetospeed(&record), c.speed);
        EXPECT_EQ(record.c_cflag & CSIZE, c.size);
        EXPECT_EQ(record.c_cflag & (PARENB | PARODD), c.parity);
        EXPECT_EQ((record.c_cflag & CSTOPB) != 0, c.twoStopBits);

        // A plain byte stream without flow control.
        EXPECT_EQ(record.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(record.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
        EXPECT_EQ(record.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(record.c_oflag & OPOST, 0u);
        EXPECT_EQ(record.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(record.c_cc[VMIN], 1);
        EXPECT_EQ(record.c_cc[VTIME], 0);
        // What the tool does not set stays as the port has it; mark or space
        // parity, which the port may have been left with, never does.
        EXPECT_NE(record.c_cflag & HUPCL, 0u);
#ifdef CMSPAR
        EXPECT_EQ(record.c_cflag & CMSPAR, 0u);
#endif

        const ModemLineChange lines = ModemLinesFor(c.settings);
        EXPECT_EQ(lines.clear, c.settings.dtrDisabled ? TIOCM_DTR | TIOCM_RTS : 0);
    }
}

TEST(TermiosSettingsTest, WhatThePlatformCannotExpressIsLeftAsFound) {
    const termios record = BuildTermios(FoundPort(), {12345, 9, Parity::None, 3, true, true});
    EXPECT_EQ(cfgetospeed(&record), static_cast<speed_t>(B38400));
    EXPECT_EQ(record.c_cflag & CSIZE, static_cast<tcflag_t>(CS6));
    EXPECT_NE(record.c_cflag & CSTOPB, 0u);
}

}  // namespace
}  // namespace norvane::posix
