// The receiver on a pseudo-terminal: line assembly, pacing, USB-adapter
// packets, injected faults, restart timing, the command log.
#include "sim/emulator.h"

#include "protocol/radiostate.h"
#include "sim/receiver.h"
#include "sim/serialline.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Duration = Clock::duration;
using TimePoint = Clock::time_point;

constexpr std::size_t MAX_COMMAND = 14; // characters before the CR
constexpr std::size_t MAX_HELD = 64;    // characters kept of an overlong line
constexpr char CR = '\r';
constexpr auto PACING_QUANTUM = std::chrono::milliseconds(1); // shortest sleep while sending
constexpr std::size_t READ_CHUNK = 256;
// The end of an answer is waited for awake over its last stretch.
constexpr auto ANSWER_END_SPIN = std::chrono::microseconds(150);

std::system_error systemError(const std::string& what) {
    return std::system_error(errno, std::generic_category(), what);
}

// Shows a received line in the log file: printable characters as they
// are, everything else as \xNN.
std::string printable(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

std::optional<long> parseInteger(std::string_view text, long low, long high) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<bool> parseSwitch(std::string_view text) {
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    return std::nullopt;
}

} // namespace

struct Emulator::Impl {
    explicit Impl(const EmulatorOptions& options);
    ~Impl();
    void openTerminal();
    void makeLink();
    void run();
    void stop();
    std::string frontPanel(std::string_view line);

  private:
    // All of the below run with lock held.
    double seconds(TimePoint now) const {
        return std::chrono::duration<double>(now - start).count();
    }
    void takeIn(const char* p, std::size_t n, TimePoint now);
    std::optional<TimePoint> receiveDue(TimePoint now);
    void receiveOctet(char c, TimePoint now);
    void handleLine(TimePoint now);
    void queueAnswer(std::string_view octets, int iRecord, TimePoint now);
    void beginRestart(TimePoint now);
    void finishRestart(TimePoint now);
    void writeOut(TimePoint now);
    void unplug();
    void replug();
    void wake();
    std::string status(TimePoint now);

  public:
    EmulatorOptions options;
    std::string szSlavePath;
    std::string szLinkMade; // the symlink this emulator made, removed again
    int fdMaster = -1;
    int fdGuard = -1; // keeps the slave open so the master sees no hang-up
    int fdWake = -1;
    std::FILE* pRecord = nullptr;
    std::FILE* pLog = nullptr;
    TimePoint start = Clock::now();

    mutable std::mutex lock;
    std::condition_variable arrived; // a command line has been logged
    bool bStopping = false;
    bool bUnplugged = false;
    Receiver receiver;
    // Octets from the client with the time their last bit would arrive
    // on the line; the receiver sees each one only then.
    struct Inbound {
        char c;
        TimePoint due;
    };
    std::deque<Inbound> inbound;
    TimePoint inboundFree{};
    std::string szLine;     // the command being received
    bool bOverlong = false; // the current line has passed MAX_COMMAND
    std::vector<CommandRecord> records;
    std::size_t uOctetsSent = 0;

    // The way out: the line (and adapter), then the pseudo-terminal.
    SerialLine line;
    std::deque<SerialLine::Octet> toWrite;

    std::optional<TimePoint> restartUntil;

    // Faults.
    Duration latency{};
    bool bSilent = false;
    bool bNoFrames = false; // audio requests go unanswered, queries do not
    int iGarbage = 0;
    std::optional<Duration> pauseNext;
    bool bBurstNext = false;
    std::optional<std::size_t> dropNext;
    std::mt19937 random{4470};

    std::thread thread;
};

Emulator::Impl::Impl(const EmulatorOptions& opts) : options(opts), line(opts.bPaced) {
    line.setUsb(opts.bUsbPackets);
    receiver.setSettle(std::chrono::duration<double>(opts.settle).count());
    if (opts.stations)
        receiver.setStations(*opts.stations);
    openTerminal();

    fdWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fdWake < 0) {
        const auto error = systemError("eventfd");
        stop();
        throw error;
    }
    if (!options.szRecordPath.empty()) {
        pRecord = std::fopen(options.szRecordPath.c_str(), "wb");
        if (!pRecord) {
            const auto error = systemError(options.szRecordPath);
            stop();
            throw error;
        }
    }
    if (!options.szLogPath.empty()) {
        pLog = std::fopen(options.szLogPath.c_str(), "w");
        if (!pLog) {
            const auto error = systemError(options.szLogPath);
            stop();
            throw error;
        }
    }
    try {
        makeLink();
    } catch (...) {
        stop();
        throw;
    }
    thread = std::thread([this] { run(); });
}

// A new pseudo-terminal: the master for us, a guard descriptor on the
// slave, raw mode. Throws std::system_error, leaving nothing open.
void Emulator::Impl::openTerminal() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        throw systemError("posix_openpt");
    std::array<char, 128> name{};
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name.data(), name.size()) != 0) {
        const auto error = systemError("pseudo-terminal set-up");
        ::close(master);
        throw error;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    // Raw mode on the slave: no echo, no line discipline, no CR/LF games.
    const int guard = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (guard < 0 || tcgetattr(guard, &tio) != 0) {
        const auto error = systemError(std::string("open ") + name.data());
        if (guard >= 0)
            ::close(guard);
        ::close(master);
        throw error;
    }
    cfmakeraw(&tio);
    cfsetspeed(&tio, B57600);
    tcsetattr(guard, TCSANOW, &tio);
    fdMaster = master;
    fdGuard = guard;
    szSlavePath = name.data();
}

// Points the --link symlink at the slave path. Throws std::system_error.
void Emulator::Impl::makeLink() {
    if (options.szLinkPath.empty())
        return;
    // Replace an old symlink, never a file that is something else.
    struct stat st {};
    if (lstat(options.szLinkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        ::unlink(options.szLinkPath.c_str());
    if (symlink(szSlavePath.c_str(), options.szLinkPath.c_str()) != 0)
        throw systemError("symlink " + options.szLinkPath);
    szLinkMade = options.szLinkPath;
}

Emulator::Impl::~Impl() {
    stop();
}

void Emulator::Impl::wake() {
    if (fdWake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(fdWake, &one, sizeof one);
    }
}

void Emulator::Impl::stop() {
    {
        std::lock_guard guard(lock);
        bStopping = true;
    }
    wake();
    if (thread.joinable())
        thread.join();
    std::lock_guard guard(lock);
    unplug();
    if (fdWake >= 0) {
        ::close(fdWake);
        fdWake = -1;
    }
    for (std::FILE** file : {&pRecord, &pLog})
        if (*file) {
            std::fclose(*file);
            *file = nullptr;
        }
}

void Emulator::Impl::unplug() {
    for (int* fd : {&fdMaster, &fdGuard})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    if (!szLinkMade.empty()) {
        ::unlink(szLinkMade.c_str());
        szLinkMade.clear();
    }
    line.clear();
    toWrite.clear();
    inbound.clear();
    restartUntil.reset();
    bUnplugged = true;
}

// The adapter comes back: a new pseudo-terminal behind the same link
// path. The receiver keeps its state; what was on the line is lost.
void Emulator::Impl::replug() {
    unplug();
    openTerminal();
    makeLink();
    bUnplugged = false;
}

void Emulator::Impl::run() {
    // The line's timing is the emulator's job: its sleeps end when asked,
    // not up to the kernel's default 50 us later.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::unique_lock guard(lock);
    while (!bStopping) {
        TimePoint now = Clock::now();
        if (restartUntil && now >= *restartUntil)
            finishRestart(now);
        const std::optional<TimePoint> nextIn = receiveDue(now);
        std::optional<TimePoint> next = line.deliver(now, toWrite);
        writeOut(now);
        // The moment the end of an answer reaches the far end, when that
        // is what the thread waits for next.
        std::optional<TimePoint> answerEnd;
        if (options.bPaced && line.sending() && next) {
            // Octets go out in steps of at least a quantum, but the end of
            // an answer goes when it has crossed the line.
            TimePoint step = now + PACING_QUANTUM;
            if (const auto end = line.answerEnd(); end && *end < step)
                answerEnd = step = *end;
            next = std::max(*next, step);
        }
        for (const auto& candidate : {nextIn, restartUntil})
            if (candidate && (!next || *candidate < *next))
                next = candidate;
        if (answerEnd && next != answerEnd)
            answerEnd.reset();
        if (answerEnd && *answerEnd - now <= ANSWER_END_SPIN) {
            // A wake-up from a sleep comes tens of microseconds late on a
            // busy or virtual machine: the last stretch is waited out
            // awake, so the answer is not held past its time.
            guard.unlock();
            while (Clock::now() < *answerEnd) {
            }
            guard.lock();
            continue;
        }
        if (answerEnd)
            next = *answerEnd - ANSWER_END_SPIN;

        std::array<pollfd, 2> fds{};
        fds[0] = {fdWake, POLLIN, 0};
        fds[1] = {fdMaster, static_cast<short>(POLLIN | (toWrite.empty() ? 0 : POLLOUT)), 0};
        const nfds_t count = fdMaster >= 0 ? 2 : 1;
        timespec timeout{};
        timespec* pTimeout = nullptr;
        if (next) {
            const Duration wait = std::max<Duration>(*next - now, Duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            pTimeout = &timeout;
        }
        guard.unlock();
        const int ready = ppoll(fds.data(), count, pTimeout, nullptr);
        guard.lock();
        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            std::uint64_t value = 0;
            [[maybe_unused]] const auto n = ::read(fdWake, &value, sizeof value);
        }
        if (count == 2 && fdMaster >= 0 && (fds[1].revents & POLLIN)) {
            std::array<char, READ_CHUNK> buffer{};
            const ssize_t n = ::read(fdMaster, buffer.data(), buffer.size());
            if (n > 0)
                takeIn(buffer.data(), static_cast<std::size_t>(n), Clock::now());
        }
    }
}

// The pseudo-terminal hands over a command the moment it is written; a
// serial line would deliver its last octet only after all of them have
// crossed at the line rate.
void Emulator::Impl::takeIn(const char* p, std::size_t n, TimePoint now) {
    for (std::size_t i = 0; i < n; ++i) {
        TimePoint due = now;
        if (options.bPaced) {
            due = std::max(now, inboundFree) + SerialLine::octetTime();
            inboundFree = due;
        }
        inbound.push_back({p[i], due});
    }
    receiveDue(now);
}

// Takes every octet that has arrived by now. Returns when the next
// complete line will have arrived.
std::optional<TimePoint> Emulator::Impl::receiveDue(TimePoint now) {
    while (!inbound.empty() && inbound.front().due <= now) {
        const Inbound octet = inbound.front();
        inbound.pop_front();
        receiveOctet(octet.c, octet.due);
    }
    for (const Inbound& octet : inbound)
        if (octet.c == CR)
            return octet.due;
    return std::nullopt;
}

void Emulator::Impl::receiveOctet(char c, TimePoint now) {
    if (c == CR) {
        handleLine(now);
        szLine.clear();
        bOverlong = false;
    } else if (c == '\n') {
        // A terminal user's line feed carries no meaning.
    } else if (szLine.size() < MAX_HELD) {
        szLine += c;
        bOverlong = bOverlong || szLine.size() > MAX_COMMAND;
    } else {
        bOverlong = true;
    }
}

void Emulator::Impl::handleLine(TimePoint now) {
    int iRecord = -1;
    if (options.bKeepLog) {
        records.push_back({szLine, now, std::nullopt, std::nullopt});
        iRecord = static_cast<int>(records.size()) - 1;
        arrived.notify_all();
    }
    if (pLog) {
        std::fprintf(pLog, "%.6f %s\n", seconds(now), printable(szLine).c_str());
        std::fflush(pLog);
    }
    if (restartUntil || bOverlong)
        return;

    const Receiver::Result result = receiver.command(szLine, seconds(now));
    switch (result.kind) {
    case Receiver::Kind::Query:
        if (!bSilent)
            queueAnswer(result.answer, iRecord, now);
        break;
    case Receiver::Kind::Frame:
        if (!bSilent && !bNoFrames) {
            const auto frame = receiver.frame(seconds(now));
            std::string octets(frame.begin(), frame.end());
            if (dropNext) {
                octets.erase(std::min(*dropNext, octets.size() - 1), 1);
                dropNext.reset();
            }
            queueAnswer(octets, iRecord, now);
        }
        break;
    case Receiver::Kind::Restart:
        beginRestart(now);
        break;
    case Receiver::Kind::Set:
    case Receiver::Kind::Ignored:
        break;
    }
}

void Emulator::Impl::queueAnswer(std::string_view octets, int iRecord, TimePoint now) {
    std::string text;
    for (int i = 0; i < iGarbage; ++i) {
        BYTE ucOctet = 0;
        do {
            ucOctet = static_cast<BYTE>(random() & 0xFF);
        } while (ucOctet == static_cast<BYTE>(cPreamble));
        text += static_cast<char>(ucOctet);
    }
    text += octets;
    const std::size_t pauseAt = octets.empty() ? text.size() : text.size() - octets.size() / 2;
    if (bBurstNext) {
        text += receiver.signalLine(seconds(now));
        bBurstNext = false;
    }
    const TimePoint notBefore = now + latency;
    for (std::size_t i = 0; i < text.size(); ++i) {
        Duration gap{};
        if (pauseNext && i == pauseAt)
            gap = *pauseNext;
        line.push(
            {static_cast<BYTE>(text[i]), notBefore, gap, iRecord, i == 0, i + 1 == text.size()});
    }
    pauseNext.reset();
}

void Emulator::Impl::beginRestart(TimePoint now) {
    line.clearUnstarted();
    szLine.clear();
    restartUntil = now + RESTART_SILENCE;
}

void Emulator::Impl::finishRestart(TimePoint now) {
    restartUntil.reset();
    receiver.powerOn();
    queueAnswer(START_ANNOUNCEMENT, -1, now);
}

void Emulator::Impl::writeOut(TimePoint now) {
    if (fdMaster < 0 || toWrite.empty())
        return;
    std::array<char, 512> buffer{};
    const std::size_t n = std::min(buffer.size(), toWrite.size());
    for (std::size_t i = 0; i < n; ++i)
        buffer[i] = static_cast<char>(toWrite[i].ucOctet);
    const ssize_t written = ::write(fdMaster, buffer.data(), n);
    if (written <= 0)
        return; // the slave's buffer is full: poll waits for room
    for (ssize_t i = 0; i < written; ++i) {
        const SerialLine::Octet& pending = toWrite.front();
        if (pending.iTag >= 0) {
            CommandRecord& record = records[static_cast<std::size_t>(pending.iTag)];
            if (pending.bFirst)
                record.answerStart = now;
            if (pending.bLast)
                record.answerEnd = now;
        }
        toWrite.pop_front();
    }
    if (pRecord) {
        std::fwrite(buffer.data(), 1, static_cast<std::size_t>(written), pRecord);
        std::fflush(pRecord);
    }
    uOctetsSent += static_cast<std::size_t>(written);
}

std::string Emulator::Impl::status(TimePoint now) {
    const char* szMode = receiver.mode() == MODE_SSB  ? "ssb"
                         : receiver.mode() == MODE_CW ? "cw"
                                                      : "am";
    std::ostringstream out;
    out << "freq " << receiver.frequency() << " mode " << szMode << " step " << receiver.speed()
        << " lock " << (receiver.locked() ? "on" : "off") << " signal "
        << receiver.sUnitsSettled(seconds(now)) << (restartUntil ? " restarting" : "")
        << (bUnplugged ? " unplugged" : "");
    return out.str();
}

std::string Emulator::Impl::frontPanel(std::string_view text) {
    // Split into a word and the rest.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '#')
        return "";
    const std::size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    std::string_view argument = space == std::string_view::npos ? "" : text.substr(space + 1);
    while (!argument.empty() && argument.front() == ' ')
        argument.remove_prefix(1);

    const std::string ok = "ok";
    const std::string bad = "error: " + std::string(text) + " (try \"help\")";
    std::lock_guard guard(lock);
    const TimePoint now = Clock::now();
    if (word == "help")
        return frontPanelHelp();
    if (word == "status")
        return status(now);
    if (word == "replug" && argument.empty()) {
        try {
            replug();
        } catch (const std::system_error& error) {
            return std::string("error: replug: ") + error.what();
        }
        wake();
        return szSlavePath;
    }
    if (bUnplugged)
        return "error: unplugged";
    if (word == "tune" || word == "freq") {
        const auto value = parseInteger(argument, MIN_FREQUENCY, MAX_FREQUENCY);
        return value && receiver.setFrequency(static_cast<DWORD>(*value), seconds(now)) ? ok : bad;
    }
    if (word == "mode") {
        const DWORD uMode = argument == "am"    ? MODE_AM
                            : argument == "cw"  ? MODE_CW
                            : argument == "ssb" ? MODE_SSB
                                                : 0;
        return receiver.setMode(uMode) ? ok : bad;
    }
    if (word == "step") {
        const auto value = parseInteger(argument, 1, 1000000);
        return value && receiver.setSpeed(static_cast<DWORD>(*value)) ? ok : bad;
    }
    if (word == "lock") {
        const auto bOn = parseSwitch(argument);
        if (!bOn)
            return bad;
        receiver.setLock(*bOn);
        return ok;
    }
    if (word == "signal") {
        if (argument == "auto") {
            receiver.setSignal(std::nullopt);
            return ok;
        }
        const auto value = parseInteger(argument, 0, 255);
        if (!value)
            return bad;
        receiver.setSignal(static_cast<unsigned>(*value));
        return ok;
    }
    if (word == "settle") {
        const auto value = parseInteger(argument, 0, 60000);
        if (!value)
            return bad;
        receiver.setSettle(*value / 1000.0);
        return ok;
    }
    if (word == "restart" && argument.empty()) {
        beginRestart(now);
        wake();
        return ok;
    }
    if (word == "latency") {
        const auto value = parseInteger(argument, 0, 60000);
        if (!value)
            return bad;
        latency = std::chrono::milliseconds(*value);
        return ok;
    }
    if (word == "silent") {
        const auto bOn = parseSwitch(argument);
        if (!bOn)
            return bad;
        bSilent = *bOn;
        return ok;
    }
    if (word == "frames") {
        const auto bOn = parseSwitch(argument);
        if (!bOn)
            return bad;
        bNoFrames = !*bOn;
        return ok;
    }
    if (word == "garbage") {
        const auto value = parseInteger(argument, 0, 1000);
        if (!value)
            return bad;
        iGarbage = static_cast<int>(*value);
        return ok;
    }
    if (word == "pause") {
        const auto value = parseInteger(argument, 0, 60000);
        if (!value)
            return bad;
        pauseNext = std::chrono::milliseconds(*value);
        return ok;
    }
    if (word == "flood") {
        // "flood MS noise" or "flood MS @": a stream that never completes a
        // line, sent at the line rate for MS ms.
        const std::size_t space2 = argument.find(' ');
        const auto value = parseInteger(argument.substr(0, space2), 1, 60000);
        const std::string_view kind =
            space2 == std::string_view::npos ? "" : argument.substr(space2 + 1);
        if (!value || (kind != "noise" && kind != "@"))
            return bad;
        const auto octets = static_cast<std::size_t>(*value * LINE_RATE / 1000.0);
        std::string text(octets, cPreamble);
        if (kind == "noise")
            for (char& c : text)
                do
                    c = static_cast<char>(random() & 0xFF);
                while (c == cPreamble || c == CR);
        queueAnswer(text, -1, now);
        wake();
        return ok;
    }
    if (word == "burst" && argument.empty()) {
        bBurstNext = true;
        return ok;
    }
    if (word == "usb") {
        const auto bOn = parseSwitch(argument);
        if (!bOn)
            return bad;
        line.setUsb(*bOn);
        wake();
        return ok;
    }
    if (word == "drop") {
        const auto value = argument.empty() ? std::optional<long>(static_cast<long>(DROP_OFFSET))
                                            : parseInteger(argument, 0, FRAME_SIZE - 1);
        if (!value)
            return bad;
        dropNext = static_cast<std::size_t>(*value);
        return ok;
    }
    if (word == "send" && !argument.empty()) {
        queueAnswer(std::string(argument) + "\r", -1, now);
        wake();
        return ok;
    }
    if (word == "unplug" && argument.empty()) {
        unplug();
        wake();
        return ok;
    }
    return bad;
}

Emulator::Emulator(const EmulatorOptions& options) : impl_(std::make_unique<Impl>(options)) {}

Emulator::~Emulator() {
    stop();
}

std::string Emulator::slavePath() const {
    std::lock_guard guard(impl_->lock);
    return impl_->szSlavePath;
}

std::string Emulator::frontPanel(std::string_view line) {
    return impl_->frontPanel(line);
}

std::vector<CommandRecord> Emulator::log() const {
    std::lock_guard guard(impl_->lock);
    return impl_->records;
}

std::optional<CommandRecord> Emulator::waitForCommand(std::string_view szCommand,
                                                      CommandRecord::TimePoint notBefore,
                                                      std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    std::unique_lock guard(impl_->lock);
    std::size_t searched = 0;
    for (;;) {
        const auto& records = impl_->records;
        for (; searched < records.size(); ++searched)
            if (records[searched].szCommand == szCommand && records[searched].received >= notBefore)
                return records[searched];
        if (impl_->arrived.wait_until(guard, until) == std::cv_status::timeout &&
            searched == records.size())
            return std::nullopt;
    }
}

std::size_t Emulator::octetsSent() const {
    std::lock_guard guard(impl_->lock);
    return impl_->uOctetsSent;
}

bool Emulator::unplugged() const {
    std::lock_guard guard(impl_->lock);
    return impl_->bUnplugged;
}

void Emulator::stop() {
    impl_->stop();
}

const char* Emulator::frontPanelHelp() {
    return R"(Front panel, one command per line:
  tune HZ          tune to HZ (100000..30000000); also "freq HZ"
  mode am|cw|ssb   change the mode
  step HZ          tuning step: 10 100 1000 1250 2500 5000 9000 10000 100000
  lock on|off      front-panel lock
  signal N|auto    hold the S-meter at N, or follow the signal model again
  settle MS        the S-meter reaches a new frequency's reading MS ms after a tuning
  restart          as "XX": silent for 0.5 s, power-on state, "QX4470 START"
  latency MS       every answer starts MS ms after its command (0: at once)
  silent on|off    answer no query and no audio request
  frames on|off    off: answer every query but no audio request
  garbage N        N random octets (never "@") before every answer (0: none)
  pause MS         the next answer stops for MS ms in its middle
  burst            the next answer is followed at once by an "@S" line
  flood MS noise|@ send noise (never "@" or CR), or a run of "@", for MS ms
  usb on|off       deliver in USB-adapter packets: 62 octets, or fewer after 16 ms
  drop [OFFSET]    the next audio frame loses its octet at OFFSET (default 150)
  send TEXT        send TEXT and CR now, unasked
  unplug           close the pseudo-terminal
  replug           close it and open a new one (behind the same --link path)
  status           show frequency, mode, step, lock and signal (the settled reading)
  help             this text
Lines that are empty or start with "#" are ignored.)";
}
