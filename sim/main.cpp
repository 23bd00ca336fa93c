// velkor-sim: the QX-4470 receiver emulated on a pseudo-terminal.
#include "sim/emulator.h"
#include "version.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr const char* USAGE = R"(Usage: velkor-sim [options]

Emulates the QX-4470 receiver on a pseudo-terminal. The first line on
standard output is the slave path: point the control program at it
(VELKOR=/dev/pts/N velkor). The receiver answers "?AF", "?RMM", "?RMI",
"?AU", "?S" and "?RMC" (one audio frame each), carries out "*AF", "*AR",
"*AN", "*AD", "*AL", "*AU", "*RMM", "*RMI", "*KRA", "*KWA" and "*RMC", and
restarts on "XX" (0.5 s of silence, then "QX4470 START"). Power-on state:
15 MHz, AM, step 2500, unlocked; memory channels 1..5 hold 2.5, 5, 10, 15
and 20 MHz. The time-signal frequencies carry ticks over a 500/600 Hz tone,
14.2 MHz a steady 1000 Hz test tone. A band of broadcasters (a built-in
plan, or --stations) carries a steady 400 Hz tone at a fixed strength
within 2 kHz of each station; everything else is band noise (S0..S4).
After a tuning the S-meter takes the settle time to reach its new value.

Options:
  --link PATH     also make PATH a symlink to the slave path (an old symlink
                  there is replaced; removed again at exit)
  --no-pacing     no line-rate timing: answers go out at once and commands
                  count as received when written (by default both
                  directions run at 57600 baud, 5760 octets/s)
  --usb           start with USB-adapter packet delivery (see "usb" below)
  --record FILE   write every octet sent to FILE; recorded while streaming
                  audio at 10 MHz this makes a replay file such as wwv.bin
  --log FILE      one line per command received: seconds since start, a
                  blank, the command without its CR (other octets as \xNN)
  --panel FIFO    read front-panel commands from FIFO (made if absent)
                  instead of standard input
  --stations FILE the band: one "frequency_hz strength_s_units" pair a line
                  (strength 0..15; "#" starts a comment line) in place of
                  the built-in plan; bad lines are named and left out
  --settle MS     the S-meter reaches a new frequency's reading MS ms after
                  a tuning (default 50: AGC attack of about three time
                  constants of 15 ms; 0 for at once)
  --help          this text
  --version       the version

Front-panel commands come one per line on standard input (or the FIFO).
Errors go to standard error, "status" and "help" answers to standard
output. "quit" ends the program, as do SIGINT and SIGTERM; the end of
standard input does not. After "unplug" the program exits with status 0;
after "replug" it prints the new slave path (the --link path follows it).

)";

struct Options {
    EmulatorOptions emulator;
    std::string szPanel;
};

// Returns false (after a message) on a bad command line.
bool parseOptions(int argc, char** argv, Options& options, bool& bHelp, bool& bVersion) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "velkor-sim: %s needs a value\n", arg.c_str());
                return false;
            }
            target = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            bHelp = true;
        } else if (arg == "--version") {
            bVersion = true;
        } else if (arg == "--no-pacing") {
            options.emulator.bPaced = false;
        } else if (arg == "--usb") {
            options.emulator.bUsbPackets = true;
        } else if (arg == "--link") {
            if (!value(options.emulator.szLinkPath))
                return false;
        } else if (arg == "--record") {
            if (!value(options.emulator.szRecordPath))
                return false;
        } else if (arg == "--log") {
            if (!value(options.emulator.szLogPath))
                return false;
        } else if (arg == "--panel") {
            if (!value(options.szPanel))
                return false;
        } else if (arg == "--settle") {
            std::string szMs;
            if (!value(szMs))
                return false;
            char* end = nullptr;
            const long lMs = std::strtol(szMs.c_str(), &end, 10);
            if (szMs.empty() || *end != '\0' || lMs < 0 || lMs > 60000) {
                std::fprintf(stderr, "velkor-sim: --settle wants milliseconds, 0..60000\n");
                return false;
            }
            options.emulator.settle = std::chrono::milliseconds(lMs);
        } else if (arg == "--stations") {
            std::string szPath;
            if (!value(szPath))
                return false;
            std::ifstream file(szPath);
            if (!file) {
                std::fprintf(stderr, "velkor-sim: %s: %s\n", szPath.c_str(), std::strerror(errno));
                return false;
            }
            std::ostringstream text;
            text << file.rdbuf();
            std::string szErrors;
            options.emulator.stations = parseStations(text.str(), &szErrors);
            std::istringstream errors(szErrors);
            for (std::string szLine; std::getline(errors, szLine);)
                std::fprintf(stderr, "velkor-sim: %s: %s\n", szPath.c_str(), szLine.c_str());
        } else {
            std::fprintf(stderr, "velkor-sim: unknown option %s (see --help)\n", arg.c_str());
            return false;
        }
    }
    return true;
}

// Opens the front-panel FIFO. Opened for reading and writing so that it
// never reports end of file when a writer goes away.
int openPanel(const std::string& szPath) {
    if (mkfifo(szPath.c_str(), 0600) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "velkor-sim: %s: %s\n", szPath.c_str(), std::strerror(errno));
        return -1;
    }
    struct stat st {};
    if (stat(szPath.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) {
        std::fprintf(stderr, "velkor-sim: %s is not a FIFO\n", szPath.c_str());
        return -1;
    }
    const int fd = open(szPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        std::fprintf(stderr, "velkor-sim: %s: %s\n", szPath.c_str(), std::strerror(errno));
    return fd;
}

// Carries out one front-panel line; returns false when the program is to end.
bool panelLine(Emulator& emulator, const std::string& line) {
    if (line == "quit" || line == "exit")
        return false;
    const std::string reply = emulator.frontPanel(line);
    if (reply.rfind("error", 0) == 0)
        std::fprintf(stderr, "velkor-sim: %s\n", reply.c_str());
    else if (!reply.empty() && reply != "ok")
        std::printf("%s\n", reply.c_str());
    std::fflush(stdout);
    return !emulator.unplugged();
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    options.emulator.bKeepLog = false; // the log file is the program's record
    bool bHelp = false;
    bool bVersion = false;
    if (!parseOptions(argc, argv, options, bHelp, bVersion))
        return 2;
    if (bVersion) {
        std::printf("velkor-sim %s\n", VELKOR_VERSION);
        return 0;
    }
    if (bHelp) {
        std::fputs(USAGE, stdout);
        std::fputs(Emulator::frontPanelHelp(), stdout);
        std::fputs("\n", stdout);
        return 0;
    }

    // Signals arrive through a descriptor; every thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int fdSignal = signalfd(-1, &signals, SFD_CLOEXEC);

    int fdPanel = STDIN_FILENO;
    if (!options.szPanel.empty()) {
        fdPanel = openPanel(options.szPanel);
        if (fdPanel < 0)
            return 1;
    }

    try {
        Emulator emulator(options.emulator);
        std::printf("%s\n", emulator.slavePath().c_str());
        std::fflush(stdout);

        std::string pending;
        bool bRunning = true;
        while (bRunning) {
            std::array<pollfd, 2> fds{{{fdSignal, POLLIN, 0}, {fdPanel, POLLIN, 0}}};
            const nfds_t count = fdPanel >= 0 ? 2 : 1;
            if (poll(fds.data(), count, -1) < 0 && errno != EINTR)
                break;
            if (fds[0].revents & POLLIN)
                break;
            if (count < 2 || !(fds[1].revents & (POLLIN | POLLHUP)))
                continue;
            std::array<char, 1024> buffer{};
            const ssize_t n = read(fdPanel, buffer.data(), buffer.size());
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                fdPanel = -1; // end of standard input: run on until a signal
                continue;
            }
            if (n < 0)
                continue;
            pending.append(buffer.data(), static_cast<std::size_t>(n));
            for (std::size_t end; bRunning && (end = pending.find('\n')) != std::string::npos;) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                bRunning = panelLine(emulator, line);
            }
            if (pending.size() > 4096)
                pending.clear(); // a "line" this long is nobody's command
        }
        emulator.stop();
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "velkor-sim: %s\n", error.what());
        return 1;
    }
    return 0;
}
