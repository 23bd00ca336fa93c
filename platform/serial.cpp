// Serial ports on POSIX terminals: termios, poll, eventfd and ioctl.
#include "platform/serial.h"
#include "platform/comm_internal.h"
#include "platform/kernel_object.h"
#include "platform/sync.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

using namespace comm_internal;

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

timespec timespecUntil(Clock::time_point deadline) {
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

enum class Wake { Ready, TimedOut, Aborted, HungUp, Failed };

// Octets taken from the terminal in one call and handed out from here.
constexpr std::size_t RECEIVE_BUFFER = 256;

class CommPort final : public KernelObject {
  public:
    CommPort(LPCSTR szName, int fd, int wakeFd, const termios& found, bool exclusive)
        : KernelObject(szName), fd_(fd), wakeFd_(wakeFd), found_(found), exclusive_(exclusive) {}
    ~CommPort() override {
        if (exclusive_)
            ::ioctl(fd_, TIOCNXCL); // the terminal may outlive us, held by others
        ::close(fd_);
        ::close(wakeFd_);
    }
    int fd() const { return fd_; }
    const termios& found() const { return found_; }

    COMMTIMEOUTS timeouts() {
        std::lock_guard lock(mutex_);
        return timeouts_;
    }
    void setTimeouts(const COMMTIMEOUTS& timeouts) {
        std::lock_guard lock(mutex_);
        timeouts_ = timeouts;
    }
    DWORD mask() {
        std::lock_guard lock(mutex_);
        return mask_;
    }
    void setMask(DWORD mask) {
        std::lock_guard lock(mutex_);
        mask_ = mask;
    }

    // Ends every read or write that is waiting now.
    void abortPending() {
        aborts_.fetch_add(1, std::memory_order_acq_rel);
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
    }
    unsigned aborts() const { return aborts_.load(std::memory_order_acquire); }

    // Reads take whatever the terminal holds in one call and hand it out
    // from a small buffer, so a caller that reads one octet at a time
    // makes one system call per burst, not per octet. An octet in the
    // buffer has arrived: reads serve it at once.
    //
    // Copies up to n octets into p: from the buffer when it holds any,
    // else from one read of the terminal. Returns the count, or what
    // read(2) returned when the buffer was empty and the read failed or
    // found nothing (errno as it left it).
    ssize_t take(BYTE* p, DWORD n) {
        std::lock_guard lock(receiveMutex_);
        if (head_ == tail_) {
            const ssize_t got = ::read(fd_, received_.data(), received_.size());
            if (got <= 0) {
                const int error = errno;
                drained_ = false;
                errno = error;
                return got;
            }
            head_ = 0;
            tail_ = static_cast<std::size_t>(got);
            // Less than the room: the terminal had no more just now.
            drained_ = tail_ < received_.size();
        }
        const std::size_t count = std::min<std::size_t>(n, tail_ - head_);
        std::copy_n(received_.begin() + static_cast<std::ptrdiff_t>(head_), count, p);
        head_ += count;
        return static_cast<ssize_t>(count);
    }
    // TRUE when the buffer is empty and the last read emptied the
    // terminal: a read would most likely find nothing yet, so a waiting
    // reader goes straight to its wait, which returns at once if an
    // octet has come meanwhile.
    bool drained() {
        std::lock_guard lock(receiveMutex_);
        return head_ == tail_ && drained_;
    }
    // The octets waiting: those in the buffer and `inTerminal` more. The
    // terminal is no longer taken to be drained when it holds some.
    DWORD waiting(int inTerminal) {
        std::lock_guard lock(receiveMutex_);
        if (inTerminal > 0)
            drained_ = false;
        return static_cast<DWORD>(tail_ - head_) + static_cast<DWORD>(std::max(inTerminal, 0));
    }
    void discardBuffered() {
        std::lock_guard lock(receiveMutex_);
        head_ = tail_ = 0;
        drained_ = false;
    }

    // Waits until the port is ready for `events`, the deadline passes (none:
    // no limit), the port hangs up, or an abort newer than `abortsAtStart`.
    Wake await(short events, Deadline deadline, unsigned abortsAtStart) {
        for (;;) {
            if (aborts() != abortsAtStart)
                return Wake::Aborted;
            std::array<pollfd, 2> fds{{{fd_, events, 0}, {wakeFd_, POLLIN, 0}}};
            // A deadline that has passed still looks once: a reader that
            // comes late to its wait gets what arrived meanwhile.
            timespec ts{};
            if (deadline)
                ts = timespecUntil(*deadline);
            const int n = ::ppoll(fds.data(), fds.size(), deadline ? &ts : nullptr, nullptr);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return Wake::Failed;
            }
            if (n == 0)
                return Wake::TimedOut;
            if (fds[1].revents & POLLIN) {
                if (aborts() != abortsAtStart)
                    return Wake::Aborted;
                // A wake-up left over from an earlier abort.
                std::uint64_t count;
                [[maybe_unused]] const auto drained = ::read(wakeFd_, &count, sizeof count);
                continue;
            }
            if (fds[0].revents & events)
                return Wake::Ready;
            if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
                return Wake::HungUp;
        }
    }

    // Sleeps until the deadline unless an abort comes first.
    Wake pauseUntil(Clock::time_point deadline, unsigned abortsAtStart) {
        for (;;) {
            if (aborts() != abortsAtStart)
                return Wake::Aborted;
            if (Clock::now() >= deadline)
                return Wake::TimedOut;
            pollfd fd{wakeFd_, POLLIN, 0};
            const timespec ts = timespecUntil(deadline);
            if (::ppoll(&fd, 1, &ts, nullptr) > 0 && aborts() == abortsAtStart) {
                std::uint64_t count;
                [[maybe_unused]] const auto drained = ::read(wakeFd_, &count, sizeof count);
            }
        }
    }

  private:
    const int fd_;
    const int wakeFd_; // eventfd: PurgeComm's abort wakes a waiting read or write
    const termios found_;
    const bool exclusive_;
    std::mutex mutex_;
    COMMTIMEOUTS timeouts_{};
    DWORD mask_ = 0;
    std::atomic<unsigned> aborts_{0};
    std::mutex receiveMutex_; // guards the receive buffer
    std::array<BYTE, RECEIVE_BUFFER> received_{};
    std::size_t head_ = 0; // next octet to hand out
    std::size_t tail_ = 0; // end of the octets read
    bool drained_ = false;
};

struct BaudRate {
    DWORD rate;
    speed_t speed;
};
constexpr std::array<BaudRate, 30> baudRates{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

// Input and local flags that the raw (binary) mode clears; the rest of
// termios is what a DCB describes.
constexpr tcflag_t processingIflag = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL;
constexpr tcflag_t processingLflag = ECHO | ECHONL | ICANON | ISIG | IEXTEN;

// A character device whose kernel class is known and is not "tty" (a
// watchdog, a disk) is refused before it is opened: opening some devices
// has effects of its own. Pseudo-terminals have no class entry.
bool isKnownNonTerminal(const struct stat& st) {
    std::array<char, 64> link{};
    std::array<char, 256> target{};
    std::snprintf(link.data(), link.size(), "/sys/dev/char/%u:%u/subsystem", major(st.st_rdev),
                  minor(st.st_rdev));
    const ssize_t n = ::readlink(link.data(), target.data(), target.size() - 1);
    if (n <= 0)
        return false;
    const std::string_view subsystem(target.data(), static_cast<std::size_t>(n));
    return !subsystem.ends_with("/tty");
}

// A read of 0 octets is end of file only after a hang-up.
bool hasHungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

BOOL readPort(CommPort& port, BYTE* pBuffer, DWORD nToRead, DWORD* pRead) {
    const auto start = Clock::now();
    const unsigned abortsAtStart = port.aborts();
    const COMMTIMEOUTS t = port.timeouts();
    using std::chrono::milliseconds;

    // The three shapes of read time-outs: return what is there; return
    // what is there or the first octet that comes within the constant;
    // or wait for the whole count within a total and between octets.
    const bool available = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                           t.ReadTotalTimeoutConstant == 0;
    const bool firstOctet =
        t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
    Deadline total;
    if (firstOctet) {
        total = start + milliseconds(t.ReadTotalTimeoutConstant);
    } else if (!available &&
               (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0)) {
        const auto ms =
            std::uint64_t{t.ReadTotalTimeoutMultiplier} * nToRead + t.ReadTotalTimeoutConstant;
        total = start + milliseconds(std::min<std::uint64_t>(ms, INT32_MAX));
    }
    const bool interval = !available && !firstOctet && t.ReadIntervalTimeout != 0;

    DWORD got = 0;
    Deadline deadline = total;
    // A reader that waits anyway skips a read that would find nothing.
    bool skipRead = !available && port.drained();
    auto hungUp = [&]() -> BOOL {
        // A vanished device reads like a silent line that fails: the
        // caller's pace stays what its time-out makes it.
        *pRead = got;
        if (got > 0)
            return TRUE;
        if (total && port.pauseUntil(*total, abortsAtStart) == Wake::Aborted)
            return fail(ERROR_OPERATION_ABORTED);
        return fail(ERROR_DEV_NOT_EXIST);
    };
    for (;;) {
        ssize_t n = -1;
        errno = EAGAIN;
        if (!skipRead)
            n = port.take(pBuffer + got, nToRead - got);
        skipRead = false;
        if (n > 0) {
            got += static_cast<DWORD>(n);
            if (got == nToRead)
                break;
            if (firstOctet) {
                // The rest of what has arrived, without waiting.
                if (port.drained())
                    break;
                continue;
            }
            if (interval) {
                const auto next = Clock::now() + milliseconds(t.ReadIntervalTimeout);
                deadline = total ? std::min(*total, next) : next;
            }
            continue;
        }
        if ((n == 0 && hasHungUp(port.fd())) || (n < 0 && errno == EIO))
            return hungUp();
        if (n == 0)
            errno = EAGAIN; // non-canonical mode without a minimum: nothing yet
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            *pRead = got;
            return failErrno();
        }
        if (available || (firstOctet && got > 0))
            break;
        const Wake wake = port.await(POLLIN, deadline, abortsAtStart);
        if (wake == Wake::TimedOut)
            break;
        if (wake == Wake::HungUp)
            return hungUp();
        if (wake == Wake::Aborted) {
            *pRead = got;
            return fail(ERROR_OPERATION_ABORTED);
        }
        if (wake == Wake::Failed) {
            *pRead = got;
            return failErrno();
        }
    }
    *pRead = got;
    return TRUE;
}

BOOL writePort(CommPort& port, const BYTE* pBuffer, DWORD nToWrite, DWORD* pWritten) {
    const unsigned abortsAtStart = port.aborts();
    DWORD done = 0;
    BOOL result = TRUE;
    while (done < nToWrite) {
        const ssize_t n = ::write(port.fd(), pBuffer + done, nToWrite - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            result = failErrno();
            break;
        }
        const Wake wake = port.await(POLLOUT, std::nullopt, abortsAtStart);
        if (wake == Wake::Aborted) {
            result = fail(ERROR_OPERATION_ABORTED);
            break;
        }
        if (wake == Wake::HungUp) {
            result = fail(ERROR_DEV_NOT_EXIST);
            break;
        }
        if (wake == Wake::Failed) {
            result = failErrno();
            break;
        }
    }
    if (pWritten)
        *pWritten = done;
    return result;
}

CommPort* portOf(HANDLE hFile) {
    auto* port = objectOf<CommPort>(hFile);
    if (!port)
        SetLastError(ERROR_INVALID_HANDLE);
    return port;
}

} // namespace

std::string commDevicePath(LPCSTR szDevice) {
    if (szDevice == nullptr || *szDevice == '\0')
        return {};
    const std::string_view name(szDevice);
    if (name.front() == '/')
        return std::string(name);
    const std::string_view digits = name.size() > 3 ? name.substr(3) : std::string_view{};
    if (::strncasecmp(szDevice, "COM", 3) == 0 && !digits.empty() && digits.size() <= 9 &&
        digits.front() != '0' &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const unsigned long n = std::stoul(std::string(digits));
        return "/dev/ttyS" + std::to_string(n - 1);
    }
    return "/dev/" + std::string(name);
}

HANDLE comm_internal::openSerialPort(LPCSTR szFileName, LPCSTR szDevice, DWORD dwShareMode) {
    const std::string path = commDevicePath(szDevice);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        failErrno();
        return INVALID_HANDLE_VALUE;
    }
    if (!S_ISCHR(st.st_mode) || isKnownNonTerminal(st)) {
        SetLastError(ERROR_BAD_DEVICE);
        return INVALID_HANDLE_VALUE;
    }
    // Non-blocking: the open does not wait for carrier, and reads and
    // writes wait in poll, where an abort can reach them.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        failErrno();
        return INVALID_HANDLE_VALUE;
    }
    auto closeWith = [fd](DWORD dwError) {
        ::close(fd);
        SetLastError(dwError);
        return INVALID_HANDLE_VALUE;
    };
    termios found{};
    if (!::isatty(fd) || ::tcgetattr(fd, &found) != 0)
        return closeWith(ERROR_BAD_DEVICE);
    if (dwShareMode == 0) {
        // flock keeps out every other open, a second copy or our own;
        // TIOCEXCL also keeps out programs that take no lock.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return closeWith(errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION
                                                  : errorFromErrno(errno));
        ::ioctl(fd, TIOCEXCL);
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0)
        return closeWith(errorFromErrno(errno));
    // Ask the driver to hand over received octets at once (USB adapters
    // otherwise hold them up to 16 ms); drivers without it refuse.
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    return adoptHandle(std::make_unique<CommPort>(szFileName, fd, wakeFd, found, dwShareMode == 0));
}

std::optional<BOOL> comm_internal::readSerialPort(HANDLE hFile, BYTE* pBuffer, DWORD nToRead,
                                                  DWORD* pRead) {
    auto* port = objectOf<CommPort>(hFile);
    if (!port)
        return std::nullopt;
    return nToRead ? readPort(*port, pBuffer, nToRead, pRead) : TRUE;
}

std::optional<BOOL> comm_internal::writeSerialPort(HANDLE hFile, const BYTE* pBuffer,
                                                   DWORD nToWrite, DWORD* pWritten) {
    auto* port = objectOf<CommPort>(hFile);
    if (!port)
        return std::nullopt;
    return writePort(*port, pBuffer, nToWrite, pWritten);
}

BOOL GetCommState(HANDLE hFile, DCB* pDCB) {
    auto* port = portOf(hFile);
    if (!port)
        return FALSE;
    if (!pDCB)
        return fail(ERROR_INVALID_PARAMETER);
    termios tio{};
    if (::tcgetattr(port->fd(), &tio) != 0)
        return failErrno();
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    const speed_t speed = ::cfgetospeed(&tio);
    for (const auto& baud : baudRates) {
        if (baud.speed == speed)
            dcb.BaudRate = baud.rate;
    }
    dcb.fBinary = (tio.c_lflag & ICANON) == 0 ? 1 : 0;
    dcb.fParity = (tio.c_iflag & INPCK) != 0 ? 1 : 0;
    dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0 ? 1 : 0;
    dcb.fRtsControl = (tio.c_cflag & CRTSCTS) != 0 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fDtrControl = (tio.c_cflag & HUPCL) != 0 ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fOutX = (tio.c_iflag & IXON) != 0 ? 1 : 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0 ? 1 : 0;
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        dcb.ByteSize = 5;
        break;
    case CS6:
        dcb.ByteSize = 6;
        break;
    case CS7:
        dcb.ByteSize = 7;
        break;
    default:
        dcb.ByteSize = 8;
        break;
    }
    if ((tio.c_cflag & PARENB) == 0)
        dcb.Parity = NOPARITY;
    else if ((tio.c_cflag & CMSPAR) != 0)
        dcb.Parity = (tio.c_cflag & PARODD) != 0 ? 3 : 4; // mark, space
    else
        dcb.Parity = (tio.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
    dcb.StopBits = (tio.c_cflag & CSTOPB) != 0 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    *pDCB = dcb;
    return TRUE;
}

BOOL SetCommState(HANDLE hFile, DCB* pDCB) {
    auto* port = portOf(hFile);
    if (!port)
        return FALSE;
    if (!pDCB)
        return fail(ERROR_INVALID_PARAMETER);
    const DCB& dcb = *pDCB;
    const auto baud = std::find_if(baudRates.begin(), baudRates.end(),
                                   [&](const BaudRate& b) { return b.rate == dcb.BaudRate; });
    if (baud == baudRates.end() || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 ||
        dcb.StopBits > TWOSTOPBITS)
        return fail(ERROR_INVALID_PARAMETER);
    termios tio{};
    if (::tcgetattr(port->fd(), &tio) != 0)
        return failErrno();

    const termios& found = port->found();
    if (dcb.fBinary) {
        // Octets pass unchanged: no line editing, echo, signals or
        // translation of CR and NL.
        tio.c_iflag &= ~processingIflag;
        tio.c_oflag &= ~OPOST;
        tio.c_lflag &= ~processingLflag;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
    } else {
        // Text mode: the processing the port had when it was opened.
        tio.c_iflag = (tio.c_iflag & ~processingIflag) | (found.c_iflag & processingIflag);
        tio.c_oflag = found.c_oflag;
        tio.c_lflag = found.c_lflag;
        std::copy(std::begin(found.c_cc), std::end(found.c_cc), std::begin(tio.c_cc));
    }
    static constexpr std::array<tcflag_t, 4> sizes{CS5, CS6, CS7, CS8};
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= sizes[dcb.ByteSize - 5u] | CLOCAL | CREAD;
    switch (dcb.Parity) {
    case ODDPARITY:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        tio.c_cflag |= PARENB;
        break;
    case 3: // mark
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4: // space
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (dcb.StopBits != ONESTOPBIT)
        tio.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        tio.c_cflag |= CRTSCTS;
    if (dcb.fDtrControl != DTR_CONTROL_DISABLE)
        tio.c_cflag |= HUPCL;
    tio.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    if (dcb.fParity)
        tio.c_iflag |= INPCK;
    if (dcb.fOutX)
        tio.c_iflag |= IXON;
    if (dcb.fInX)
        tio.c_iflag |= IXOFF;
    if (dcb.XonChar != 0)
        tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    if (dcb.XoffChar != 0)
        tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    ::cfsetispeed(&tio, baud->speed);
    ::cfsetospeed(&tio, baud->speed);
    if (::tcsetattr(port->fd(), TCSANOW, &tio) != 0)
        return failErrno();
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE hFile, COMMTIMEOUTS* pCommTimeouts) {
    auto* port = portOf(hFile);
    if (!port)
        return FALSE;
    if (!pCommTimeouts)
        return fail(ERROR_INVALID_PARAMETER);
    *pCommTimeouts = port->timeouts();
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE hFile, COMMTIMEOUTS* pCommTimeouts) {
    auto* port = portOf(hFile);
    if (!port)
        return FALSE;
    if (!pCommTimeouts)
        return fail(ERROR_INVALID_PARAMETER);
    port->setTimeouts(*pCommTimeouts);
    return TRUE;
}

BOOL EscapeCommFunction(HANDLE hFile, DWORD dwFunc) {
    auto* port = portOf(hFile);
    if (!port)
        return FALSE;
    int line = 0;
    unsigned long request = 0;
    switch (dwFunc) {
    case SETDTR:
        line = TIOCM_DTR;
        request = TIOCMBIS;
        break;
    case CLRDTR:
        line = TIOCM_DTR;
        request = TIOCMBIC;
        break;
    case SETRTS:
        line = TIOCM_RTS;
        request = TIOCMBIS;
        break;
    case CLRRTS:
        line = TIOCM_RTS;
        request = TIOCMBIC;
        break;
    default:
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (::ioctl(port->fd(), request, &line) != 0) {
        // A device without modem lines (a pseudo-terminal) has nothing
        // to change.
        if (errno == ENOTTY || errno == EINVAL)
            return TRUE;
        return failErrno();
    }
    return TRUE;
}

BOOL PurgeComm(HANDLE hFile, DWORD dwFlags) {
    auto* port = portOf(hFile);
    if (!port)
        return FALSE;
    if ((dwFlags & (PURGE_TXABORT | PURGE_RXABORT)) != 0)
        port->abortPending();
    BOOL result = TRUE;
    if ((dwFlags & PURGE_RXCLEAR) != 0) {
        port->discardBuffered();
        if (::tcflush(port->fd(), TCIFLUSH) != 0)
            result = failErrno();
    }
    if ((dwFlags & PURGE_TXCLEAR) != 0 && ::tcflush(port->fd(), TCOFLUSH) != 0)
        result = failErrno();
    return result;
}

BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask) {
    auto* port = portOf(hFile);
    if (!port)
        return FALSE;
    if ((dwEvtMask & ~EV_TXEMPTY) != 0)
        return fail(ERROR_NOT_SUPPORTED);
    port->setMask(dwEvtMask);
    return TRUE;
}

BOOL WaitCommEvent(HANDLE hFile, DWORD* pEvtMask, LPVOID) {
    auto* port = portOf(hFile);
    if (!port)
        return FALSE;
    if (pEvtMask)
        *pEvtMask = 0;
    if ((port->mask() & EV_TXEMPTY) == 0)
        return fail(ERROR_INVALID_PARAMETER); // nothing to wait for
    while (::tcdrain(port->fd()) != 0) {
        if (errno != EINTR)
            return failErrno();
    }
    if (pEvtMask)
        *pEvtMask = EV_TXEMPTY;
    return TRUE;
}

BOOL ClearCommError(HANDLE hFile, DWORD* pErrors, COMSTAT* pStat) {
    auto* port = portOf(hFile);
    if (!port)
        return FALSE;
    if (pErrors)
        *pErrors = 0;
    if (pStat) {
        *pStat = COMSTAT{};
        int in = 0;
        int out = 0;
        if (::ioctl(port->fd(), FIONREAD, &in) != 0 || ::ioctl(port->fd(), TIOCOUTQ, &out) != 0)
            return failErrno();
        pStat->cbInQue = port->waiting(in);
        pStat->cbOutQue = static_cast<DWORD>(std::max(out, 0));
    }
    return TRUE;
}
