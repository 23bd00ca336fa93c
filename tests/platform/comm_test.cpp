// The serial port and files: opening, exclusivity, line settings, the
// read time-outs, hang-up and abort.
#include "platform/serial.h"
#include "platform/sync.h"
#include "support/peer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr COMMTIMEOUTS linkTimeouts{MAXDWORD, MAXDWORD, 5, 0, 0};

HANDLE openPort(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// An octet the far end sends `after` into a read with a long time-out
// ends the read at once, with that octet.
void expectOctetEndsTheWait(HANDLE h, peer::Peer& line, char c, std::chrono::milliseconds after) {
    COMMTIMEOUTS timeouts = linkTimeouts;
    timeouts.ReadTotalTimeoutConstant = 2000;
    SetCommTimeouts(h, &timeouts);
    std::thread late([&] {
        std::this_thread::sleep_for(after);
        line.send(std::string(1, c));
    });
    BYTE octet = 0;
    DWORD count = 0;
    const auto start = Clock::now();
    EXPECT_TRUE(ReadFile(h, &octet, 1, &count, nullptr));
    late.join();
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(octet, static_cast<BYTE>(c));
    EXPECT_LT(msSince(start), 1000.0);
}

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

TEST(CommDevicePath, MapsPortNamesToDevices) {
    EXPECT_EQ(commDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(commDevicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(commDevicePath("COM0"), "/dev/COM0");   // no port 0
    EXPECT_EQ(commDevicePath("COM01"), "/dev/COM01"); // not a port number
    EXPECT_EQ(commDevicePath("COM1x"), "/dev/COM1x");
    EXPECT_EQ(commDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(commDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(commDevicePath("pts/3"), "/dev/pts/3");
    EXPECT_EQ(commDevicePath(""), "");
    EXPECT_EQ(commDevicePath(nullptr), "");
}

TEST(CommOpen, OpensATerminalByPathOrByNameUnderDev) {
    peer::Peer line;
    HANDLE h = openPort(line.device());
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << ErrorText(GetLastError());
    CloseHandle(h);
    const std::string underDev = line.slavePath().substr(std::string("/dev/").size());
    h = openPort("//./" + underDev);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << ErrorText(GetLastError());
    CloseHandle(h);
}

TEST(CommOpen, IsExclusiveUntilClosed) {
    peer::Peer line;
    HANDLE first = openPort(line.device());
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(NO_ERROR);
    EXPECT_EQ(openPort(line.device()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(first);
    HANDLE again = openPort(line.device());
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST(CommOpen, NonTerminalsAndMissingDevicesFailWithACode) {
    TempDir dir;
    const auto file = dir.path / "plain";
    std::ofstream(file) << "not a terminal";
    const auto fifo = dir.path / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    struct Case {
        std::string name;
        DWORD error;
    };
    const std::vector<Case> cases{
        {"//./" + file.string(), ERROR_BAD_DEVICE},
        {"//./" + dir.path.string(), ERROR_BAD_DEVICE},
        {"//./" + fifo.string(), ERROR_BAD_DEVICE}, // and does not wait for a writer
        {"//./null", ERROR_BAD_DEVICE},             // a device, but not a terminal
        {"//./velkor-no-such-port", ERROR_FILE_NOT_FOUND},
        {"//./COM4000", ERROR_FILE_NOT_FOUND},
        {"//./", ERROR_FILE_NOT_FOUND},
        {"//./" + std::string(5000, 'x'), ERROR_FILENAME_EXCED_RANGE},
    };
    for (const auto& c : cases) {
        SetLastError(NO_ERROR);
        EXPECT_EQ(openPort(c.name), INVALID_HANDLE_VALUE) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name.substr(0, 60);
    }
}

TEST(CommRead, ReturnsAWaitingOctetAtOnceElseAfterTheTimeOut) {
    peer::Peer line;
    HANDLE h = openPort(line.device());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts = linkTimeouts;
    ASSERT_TRUE(SetCommTimeouts(h, &timeouts));

    BYTE octet = 0;
    DWORD count = 99;
    auto start = Clock::now();
    EXPECT_TRUE(ReadFile(h, &octet, 1, &count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_GE(msSince(start), 4.9); // never gives up early

    line.send("AB");
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(ReadFile(h, &octet, 1, &count, nullptr));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(octet, 'A');
    std::array<BYTE, 8> buffer{};
    EXPECT_TRUE(ReadFile(h, buffer.data(), 8, &count, nullptr)); // what is there, no waiting
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(buffer[0], 'B');

    // An octet that comes during the wait ends it.
    expectOctetEndsTheWait(h, line, 'C', 1ms);
    CloseHandle(h);
}

// A burst is taken from the terminal at once and handed out an octet per
// read: in order, without waiting, counted as waiting and discarded by a
// purge like octets still in the terminal.
TEST(CommRead, ABurstComesOutOctetByOctetAtOnceAndAPurgeDiscardsItsRest) {
    peer::Peer line;
    HANDLE h = openPort(line.device());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts = linkTimeouts;
    ASSERT_TRUE(SetCommTimeouts(h, &timeouts));

    std::string burst;
    for (int i = 0; i < 600; ++i) // more than one read of the terminal takes
        burst += static_cast<char>('0' + i % 64);
    line.send(burst + "tail");
    std::this_thread::sleep_for(50ms);
    BYTE octet = 0;
    DWORD count = 0;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < burst.size(); ++i) {
        ASSERT_TRUE(ReadFile(h, &octet, 1, &count, nullptr));
        ASSERT_EQ(count, 1u) << "octet " << i;
        ASSERT_EQ(octet, static_cast<BYTE>(burst[i])) << "octet " << i;
    }
    EXPECT_LT(msSince(start), 100.0) << "a waiting octet waited";

    DWORD errors = 0;
    COMSTAT stat{};
    EXPECT_TRUE(ClearCommError(h, &errors, &stat));
    EXPECT_EQ(stat.cbInQue, 4u);
    std::array<BYTE, 8> buffer{};
    EXPECT_TRUE(ReadFile(h, buffer.data(), 2, &count, nullptr));
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + count), "ta");
    EXPECT_TRUE(PurgeComm(h, PURGE_RXCLEAR));
    EXPECT_TRUE(ClearCommError(h, &errors, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);
    auto silent = Clock::now();
    EXPECT_TRUE(ReadFile(h, &octet, 1, &count, nullptr));
    EXPECT_EQ(count, 0u) << "a purged octet came out";
    EXPECT_GE(msSince(silent), 4.9);

    // Octet by octet as they trickle in: each read returns with the octet
    // that came, never later than it came.
    for (char c : std::string("xyz"))
        expectOctetEndsTheWait(h, line, c, 2ms);
    CloseHandle(h);
}

TEST(CommRead, AVanishedDeviceReadsLikeASilentLineWithoutSpinning) {
    peer::Peer line;
    HANDLE h = openPort(line.device());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts = linkTimeouts;
    SetCommTimeouts(h, &timeouts);
    line.unplug();

    constexpr int reads = 40;
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    for (int i = 0; i < reads; ++i) {
        BYTE octet = 0;
        DWORD count = 99;
        SetLastError(NO_ERROR);
        EXPECT_FALSE(ReadFile(h, &octet, 1, &count, nullptr));
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(GetLastError(), ERROR_DEV_NOT_EXIST);
    }
    const double wall = msSince(start);
    EXPECT_GE(wall, reads * 4.9);
    EXPECT_LT((cpuSeconds() - cpuStart) * 1000.0, wall * 0.5); // sleeping, not spinning

    BYTE octet = 'x';
    EXPECT_FALSE(WriteFile(h, &octet, 1, nullptr, nullptr));
    EXPECT_NE(GetLastError(), NO_ERROR);
    CloseHandle(h);
}

TEST(CommAbort, PurgeEndsAWriteStuckOnAFullLineAndALongRead) {
    peer::Peer line;
    line.setReading(false);
    HANDLE h = openPort(line.device());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    const std::vector<BYTE> lots(4 << 20, 'x');
    BOOL written = TRUE;
    DWORD error = NO_ERROR;
    DWORD count = 0;
    std::thread writer([&] {
        written = WriteFile(h, lots.data(), static_cast<DWORD>(lots.size()), &count, nullptr);
        error = GetLastError();
    });
    std::this_thread::sleep_for(100ms); // the line's buffers are full by now
    PurgeComm(h, PURGE_TXABORT);
    writer.join();
    EXPECT_FALSE(written);
    EXPECT_EQ(error, ERROR_OPERATION_ABORTED);
    EXPECT_LT(count, lots.size());

    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 60000, 0, 0};
    SetCommTimeouts(h, &timeouts);
    PurgeComm(h, PURGE_RXCLEAR);
    BOOL read = TRUE;
    std::thread reader([&] {
        BYTE octet = 0;
        DWORD n = 0;
        read = ReadFile(h, &octet, 1, &n, nullptr);
        error = GetLastError();
    });
    std::this_thread::sleep_for(50ms);
    const auto start = Clock::now();
    PurgeComm(h, PURGE_RXABORT);
    reader.join();
    EXPECT_FALSE(read);
    EXPECT_EQ(error, ERROR_OPERATION_ABORTED);
    EXPECT_LT(msSince(start), 30000.0);

    // An abort with nothing pending does not spoil the next read.
    line.send("Z");
    timeouts.ReadTotalTimeoutConstant = 2000;
    SetCommTimeouts(h, &timeouts);
    BYTE octet = 0;
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, &octet, 1, &n, nullptr));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(octet, 'Z');
    CloseHandle(h);
}

TEST(CommState, AppliesLineSettingsAndPutsTheFoundOnesBack) {
    peer::Peer line;
    // Leave the line cooked, at 9600 baud, as a fresh terminal might be.
    const int probe = ::open(line.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    termios cooked{};
    ::tcgetattr(probe, &cooked);
    cooked.c_lflag |= ICANON | ECHO;
    cooked.c_iflag |= ICRNL;
    ::cfsetspeed(&cooked, B9600);
    ::tcsetattr(probe, TCSANOW, &cooked);

    HANDLE h = openPort(line.device());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB found{};
    ASSERT_TRUE(GetCommState(h, &found));
    EXPECT_EQ(found.BaudRate, 9600u);
    EXPECT_EQ(found.fBinary, 0u);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = CBR_57600;
    dcb.fBinary = 1;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = XON;
    dcb.XoffChar = XOFF;
    ASSERT_TRUE(SetCommState(h, &dcb));
    termios tio{};
    ::tcgetattr(probe, &tio);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    DCB now{};
    GetCommState(h, &now);
    EXPECT_EQ(now.BaudRate, 57600u);
    EXPECT_EQ(now.ByteSize, 8);
    EXPECT_EQ(now.Parity, NOPARITY);
    EXPECT_EQ(now.StopBits, ONESTOPBIT);
    EXPECT_EQ(now.fBinary, 1u);

    // CR and NL pass unchanged.
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 1000, 0, 0};
    SetCommTimeouts(h, &timeouts);
    line.send("\r\n");
    std::array<BYTE, 2> two{};
    DWORD n = 0;
    ReadFile(h, two.data(), 1, &n, nullptr);
    ReadFile(h, two.data() + 1, 1, &n, nullptr);
    EXPECT_EQ(two[0], '\r');
    EXPECT_EQ(two[1], '\n');

    ASSERT_TRUE(SetCommState(h, &found));
    ::tcgetattr(probe, &tio);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
    EXPECT_NE(tio.c_iflag & ICRNL, 0u);

    dcb.BaudRate = 12345;
    EXPECT_FALSE(SetCommState(h, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(h);
    ::close(probe);
}

TEST(CommState, ModemLinesDrainAndStatusWorkOnATerminalWithoutModemLines) {
    peer::Peer line;
    HANDLE h = openPort(line.device());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    for (DWORD f : {SETDTR, SETRTS, CLRDTR, CLRRTS})
        EXPECT_TRUE(EscapeCommFunction(h, f)) << f;
    EXPECT_FALSE(EscapeCommFunction(h, 99));

    DWORD event = 0;
    EXPECT_FALSE(WaitCommEvent(h, &event, nullptr)); // no mask: nothing to wait for
    ASSERT_TRUE(SetCommMask(h, EV_TXEMPTY));
    const char text[] = "?AF\r";
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, text, 4, &written, nullptr));
    EXPECT_EQ(written, 4u);
    EXPECT_TRUE(WaitCommEvent(h, &event, nullptr));
    EXPECT_EQ(event, EV_TXEMPTY);
    ASSERT_TRUE(line.waitForCommands(1, 2s));
    EXPECT_EQ(line.arrivals()[0].command, "?AF\r");

    line.send("@S5\r");
    std::this_thread::sleep_for(20ms);
    DWORD errors = 99;
    COMSTAT stat{};
    EXPECT_TRUE(ClearCommError(h, &errors, &stat));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 4u);
    EXPECT_TRUE(PurgeComm(h, PURGE_RXCLEAR));
    EXPECT_TRUE(ClearCommError(h, &errors, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);
    CloseHandle(h);
}

TEST(CommFile, APlainFileReadsAndRewinds) {
    TempDir dir;
    const auto path = dir.path / "wwv.bin";
    std::ofstream(path, std::ios::binary) << "abc";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::string got;
    for (int i = 0; i < 4; ++i) {
        char c = 0;
        DWORD n = 0;
        EXPECT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
        if (n == 1)
            got += c;
    }
    EXPECT_EQ(got, "abc");
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
    char c = 0;
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(c, 'a');
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr)); // opened for reading only
    DCB dcb{};
    EXPECT_FALSE(GetCommState(h, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(h);

    SetLastError(NO_ERROR);
    EXPECT_EQ(CreateFileA(dir.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE); // a directory is not a file
    EXPECT_NE(GetLastError(), NO_ERROR);
    EXPECT_EQ(CreateFileA((dir.path / "absent").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

} // namespace
