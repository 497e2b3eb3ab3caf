#include "platform/PosixSerialPort.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/StopGuard.h"

namespace platform {
namespace {

constexpr uint8_t kUnset8 = 0xFF;

// Sets or clears a modem line. A pseudo-terminal has none (ENOTTY, EINVAL): that is not a
// setting the port refuses.
int SetModemLine(int fd, int line, bool on) {
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return 0;
    return errno == ENOTTY || errno == EINVAL ? 0 : errno;
}

}  // namespace

int PosixSerialPort::Open(const std::string& path) {
    Close();
    fd_.Reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd_.Valid()) return errno;
    if (::ioctl(fd_.Get(), TIOCEXCL) != 0) {
        const int error = errno;
        fd_.Reset();
        return error;
    }
    if (StopGuard* guard = StopGuard::Installed()) guard->Hold(fd_.Get());
    return 0;
}

void PosixSerialPort::Close() {
    if (!fd_.Valid()) return;
    // The guard lets go of its copy first: the port is ours alone again, and may be opened
    // again as soon as it is closed.
    if (StopGuard* guard = StopGuard::Installed()) guard->Release();
    DrainAndClose(fd_.Release(), kDrainTimeoutMs);
}

std::optional<speed_t> PosixSerialPort::SpeedFor(int32_t baudRate) {
    struct Rate {
        int32_t rate;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& r : kRates) {
        if (r.rate == baudRate) return r.speed;
    }
    return std::nullopt;
}

bool PosixSerialPort::ApplySettings(const PortSettings& settings, termios& tio) {
    if (settings.baudRate != -1) {
        const auto speed = SpeedFor(settings.baudRate);
        if (!speed || ::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0) {
            return false;
        }
    }
    switch (settings.parity) {
        case kUnset8:
            break;
        case 0:
            tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
            break;
        case 1:
            tio.c_cflag = (tio.c_cflag & ~CMSPAR) | PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag = (tio.c_cflag & ~(PARODD | CMSPAR)) | PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            tio.c_cflag = (tio.c_cflag & ~PARODD) | PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    if (settings.dataBits != kUnset8) {
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        if (settings.dataBits < 5 || settings.dataBits > 8) return false;
        tio.c_cflag = (tio.c_cflag & ~CSIZE) | kSizes[settings.dataBits - 5];
    }
    switch (settings.stopBits) {
        case kUnset8:
            break;
        case 0:
            tio.c_cflag &= ~CSTOPB;
            break;
        case 2:
            tio.c_cflag |= CSTOPB;
            break;
        default:  // one and a half stop bits do not exist here
            return false;
    }
    return true;
}

void PosixSerialPort::MakeRaw(termios& tio) {
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON |
                     IXOFF | IXANY | IMAXBEL | IUTF8);
    tio.c_oflag &= ~(OPOST | OLCUC | ONLCR | OCRNL | ONOCR | ONLRET | OFILL | OFDEL);
    tio.c_lflag &= ~(ISIG | ICANON | XCASE | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT |
                     ECHOKE | FLUSHO | PENDIN | TOSTOP | IEXTEN | EXTPROC);
    // A handshake left on by another program would hold our bytes until the dongle raised CTS.
    tio.c_cflag &= ~CRTSCTS;
    tio.c_cflag |= CREAD | CLOCAL;
    // A read returns what has come; the descriptor is non-blocking, so it never waits.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

int PosixSerialPort::Configure(const PortSettings& settings) {
    if (!fd_.Valid()) return EBADF;
    termios tio{};
    if (::tcgetattr(fd_.Get(), &tio) != 0) return errno;
    MakeRaw(tio);
    if (!ApplySettings(settings, tio)) return EINVAL;
    if (::tcsetattr(fd_.Get(), TCSANOW, &tio) != 0) return errno;
    // Output the device stopped with an XOFF before we came resumes as IXON goes off; output
    // another program suspended with tcflow(TCOOFF) stays suspended in raw mode until this.
    ::tcflow(fd_.Get(), TCOON);
    if (settings.dtrControl != -1) {
        if (const int error = SetModemLine(fd_.Get(), TIOCM_DTR, settings.dtrControl == 1)) {
            return error;
        }
    }
    if (settings.rtsControl != -1) {
        if (const int error = SetModemLine(fd_.Get(), TIOCM_RTS, settings.rtsControl == 1)) {
            return error;
        }
    }
    return 0;
}

WriteResult PosixSerialPort::Write(const uint8_t* data, size_t size, int timeoutMs) {
    return WriteWithin(fd_.Get(), data, size, timeoutMs);
}

}  // namespace platform
