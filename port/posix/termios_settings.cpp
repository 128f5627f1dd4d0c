#include "port/posix/termios_settings.h"

#include <sys/ioctl.h>

namespace norvane::posix {

std::optional<speed_t> SpeedForBaud(std::uint32_t baudRate) {
    struct Rate {
        std::uint32_t baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},
#ifdef __linux__
        {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
        {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
        {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
    };
    for (const Rate& rate : kRates) {
        if (rate.baud == baudRate) {
            return rate.speed;
        }
    }
    return std::nullopt;
}

void MakeRaw(termios& record) {
    // Parity errors are not checked by the line: a damaged byte still arrives
    // and the frame's own check rejects the reply, which the exchange retries.
    record.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                             ICRNL | IXON | IXOFF | IXANY | INPCK | IMAXBEL);
    record.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    record.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG |
                                             IEXTEN | ECHOCTL | ECHOKE);
    record.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    record.c_cflag |= CLOCAL | CREAD;
    // With VMIN 0 an empty non-blocking read returns 0, which could not be told
    // apart from a hung-up line; VMIN 1 makes it fail with EAGAIN instead.
    record.c_cc[VMIN] = 1;
    record.c_cc[VTIME] = 0;
}

termios BuildTermios(const termios& current, const LineSettings& settings) {
    termios record = current;
    MakeRaw(record);

    if (const auto speed = SpeedForBaud(settings.baudRate)) {
        cfsetispeed(&record, *speed);
        cfsetospeed(&record, *speed);
    }

    tcflag_t size = 0;
    switch (settings.dataBits) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            size = record.c_cflag & CSIZE;
            break;
    }
    record.c_cflag = (record.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | size;

    record.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
#ifdef CMSPAR
    record.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);  // no mark or space parity
#endif
    switch (settings.parity) {
        case Parity::None:
            break;
        case Parity::Odd:
            record.c_cflag |= PARENB | PARODD;
            break;
        case Parity::Even:
            record.c_cflag |= PARENB;
            break;
    }

    if (settings.stopBits == 1) {
        record.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    } else if (settings.stopBits == 2) {
        record.c_cflag |= CSTOPB;
    }
    return record;
}

ModemLineChange ModemLinesFor(const LineSettings& settings) {
    ModemLineChange change;
    (settings.dtrDisabled ? change.clear : change.set) |= TIOCM_DTR;
    (settings.rtsDisabled ? change.clear : change.set) |= TIOCM_RTS;
    return change;
}

}  // namespace norvane::posix
