// velkor-web-floor: the least CPU any server can spend sending the
// receiver's clips to N listeners over loopback TCP, as a yardstick for
// the web server's own figure. A "clip" thread wakes the sender every
// 64 ms through an eventfd, as the audio thread wakes the web server; the
// sender polls, reads the wake-up and writes one WebSocket binary frame of
// an audio message's size to each listener, and nothing else. The
// listeners are a child process that reads and discards. Prints the
// sender thread's CPU time as a share of a core.
// Usage: velkor-web-floor LISTENERS SECONDS
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace {

constexpr int MESSAGE = 12 + 250; // an audio message: header and clip
constexpr auto CLIP_PERIOD = std::chrono::milliseconds(64);

double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Reads and discards whatever comes on the sockets until they close.
[[noreturn]] void listen(const std::vector<int>& sockets) {
    std::vector<pollfd> fds;
    for (int fd : sockets)
        fds.push_back({fd, POLLIN, 0});
    std::array<char, 65536> buffer{};
    std::size_t open = fds.size();
    while (open > 0 && ::poll(fds.data(), fds.size(), -1) > 0) {
        for (pollfd& p : fds) {
            if (p.fd >= 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
                ::read(p.fd, buffer.data(), buffer.size()) <= 0) {
                ::close(p.fd);
                p.fd = -1;
                --open;
            }
        }
    }
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: velkor-web-floor LISTENERS SECONDS\n", stderr);
        return 2;
    }
    const int nListeners = std::atoi(argv[1]);
    const int nSeconds = std::atoi(argv[2]);
    if (nListeners < 1 || nListeners > 1000 || nSeconds < 1) {
        std::fputs("velkor-web-floor: LISTENERS 1..1000, SECONDS 1 or more\n", stderr);
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(server, 1024) != 0 ||
        ::getsockname(server, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("velkor-web-floor: listen");
        return 1;
    }
    std::vector<int> clients;
    std::vector<int> listeners;
    for (int i = 0; i < nListeners; ++i) {
        const int client = ::socket(AF_INET, SOCK_STREAM, 0);
        if (client < 0 ||
            ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("velkor-web-floor: connect");
            return 1;
        }
        clients.push_back(client);
        listeners.push_back(::accept(server, nullptr, nullptr));
    }
    const pid_t child = ::fork();
    if (child == 0) {
        for (int fd : listeners) // so that the sender's close ends the connection
            ::close(fd);
        ::close(server);
        listen(clients);
    }
    for (int fd : clients)
        ::close(fd);

    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::atomic<bool> bRunning{true};
    std::thread clips([&] {
        auto next = std::chrono::steady_clock::now();
        while (bRunning) {
            next += CLIP_PERIOD;
            std::this_thread::sleep_until(next);
            const std::uint64_t one = 1;
            (void)!::write(wake, &one, sizeof one);
        }
    });
    std::array<unsigned char, 4 + MESSAGE> frame{};
    frame[0] = 0x82; // final binary frame, length in the next two octets
    frame[1] = 126;
    frame[2] = static_cast<unsigned char>(MESSAGE >> 8);
    frame[3] = static_cast<unsigned char>(MESSAGE & 0xFF);
    const double start = threadSeconds();
    const auto begin = std::chrono::steady_clock::now();
    const auto end = begin + std::chrono::seconds(nSeconds);
    pollfd watch{wake, POLLIN, 0};
    while (std::chrono::steady_clock::now() < end) {
        if (::poll(&watch, 1, 100) <= 0)
            continue;
        std::uint64_t count = 0;
        (void)!::read(wake, &count, sizeof count);
        for (int fd : listeners)
            (void)!::send(fd, frame.data(), frame.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    const double cpu = threadSeconds() - start;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    bRunning = false;
    clips.join();
    for (int fd : listeners)
        ::close(fd);
    ::waitpid(child, nullptr, 0);
    std::printf("floor: %d listeners, sender %.2f %% of a core\n", nListeners, 100 * cpu / wall);
    return 0;
}
