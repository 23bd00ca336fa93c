// The remote-control server thread: sockets in, answers out.
#include "remote/remote.h"

#include "platform/socket.h"
#include "platform/sync.h"
#include "platform/worker.h"
#include "remote/rigcommand.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstring>

namespace {

// Answers wait here until the client takes them; a client that does not
// read stops being read once less than ANSWER_ROOM is left.
constexpr std::size_t OUT_SIZE = 4096;
constexpr std::size_t ANSWER_ROOM = 1024; // more than the longest answer

struct CLIENT {
    SOCKET hSocket = INVALID_SOCKET;
    std::array<char, REMOTE_LINE_SIZE + 1> szIn{}; // a line and its LF
    std::size_t nIn = 0;
    std::array<char, OUT_SIZE> out{};
    std::size_t nOut = 0;
    bool bClosing = false;     // close once the answers have left
    std::uint64_t ulHeard = 0; // when it last sent anything (or connected), in heard order
};

DWORD remoteThread(LPVOID);

HANDLE hRemoteThread = nullptr;
DWORD ulRemoteThreadID = 0;
StopFlag bRemoteThreadDone;
WORKER remoteWorker{"remote-control", remoteThread, bRemoteThreadDone, hRemoteThread,
                    ulRemoteThreadID};
SOCKET hListen = INVALID_SOCKET;
SOCKET hWake = INVALID_SOCKET;
WORD wListenPort = 0;
std::array<CLIENT, REMOTE_CLIENTS> clients;
// Orders the clients by when they were last heard: a count, not a clock,
// so that two in the same millisecond still differ.
std::uint64_t ulHeardCount = 0;
Shared<std::uint64_t> ulEvictions{0};

std::uint64_t now() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int indexOf(const CLIENT& client) {
    return static_cast<int>(&client - clients.data());
}

void closeClient(CLIENT& client) {
    rigClientClosed(indexOf(client));
    closesocket(client.hSocket);
    client.hSocket = INVALID_SOCKET;
    client.nIn = 0;
    client.nOut = 0;
    client.bClosing = false;
}

// Sends what waits; FALSE when the client has gone.
bool flushClient(CLIENT& client) {
    while (client.nOut > 0) {
        const int n = SendSocket(client.hSocket, client.out.data(), static_cast<int>(client.nOut));
        if (n == SOCKET_WOULDBLOCK)
            return true;
        if (n <= 0)
            return false;
        const auto sent = static_cast<std::size_t>(n);
        std::memmove(client.out.data(), client.out.data() + sent, client.nOut - sent);
        client.nOut -= sent;
    }
    return true;
}

void queueAnswer(CLIENT& client, const std::string& szAnswer) {
    const std::size_t n = std::min(szAnswer.size(), client.out.size() - client.nOut);
    std::memcpy(client.out.data() + client.nOut, szAnswer.data(), n);
    client.nOut += n;
}

// Answers every complete line that waits, while there is room for the
// answers. A buffer full without an LF is a line too long: the client
// is told and closed.
void answerLines(CLIENT& client) {
    std::string szAnswer;
    while (!client.bClosing && client.out.size() - client.nOut >= ANSWER_ROOM) {
        char* pEnd = static_cast<char*>(std::memchr(client.szIn.data(), '\n', client.nIn));
        if (pEnd == nullptr) {
            if (client.nIn == client.szIn.size()) {
                queueAnswer(client, "RPRT -8\n");
                client.bClosing = true;
            }
            return;
        }
        const auto nLine = static_cast<std::size_t>(pEnd - client.szIn.data());
        szAnswer.clear();
        const BOOL bKeep = rigCommand(std::string_view(client.szIn.data(), nLine), now(), &szAnswer,
                                      indexOf(client));
        queueAnswer(client, szAnswer);
        client.bClosing = !bKeep;
        client.nIn -= nLine + 1;
        std::memmove(client.szIn.data(), pEnd + 1, client.nIn);
    }
}

void receiveFrom(CLIENT& client) {
    if (client.nIn < client.szIn.size()) {
        const int n = ReceiveSocket(client.hSocket, client.szIn.data() + client.nIn,
                                    static_cast<int>(client.szIn.size() - client.nIn));
        if (n == SOCKET_WOULDBLOCK)
            return;
        if (n <= 0) {
            closeClient(client); // gone, or an error: its answers have no one to go to
            return;
        }
        client.nIn += static_cast<std::size_t>(n);
        client.ulHeard = ++ulHeardCount;
    }
    answerLines(client);
}

// Runs a client after its socket reported: takes what arrived, answers,
// sends; closes it when it has gone or is done.
void serveClient(CLIENT& client, short revents) {
    if (revents & (POLL_READ | POLL_HANGUP))
        receiveFrom(client);
    if (client.hSocket == INVALID_SOCKET)
        return;
    if (!flushClient(client)) {
        closeClient(client);
        return;
    }
    answerLines(client); // lines held back while the answers had no room
    if (!flushClient(client) || (client.bClosing && client.nOut == 0))
        closeClient(client);
}

// Makes room for a new client: the one silent longest is told, if it
// takes the answer at once, and closed.
CLIENT& evictLongestSilent() {
    CLIENT& silent =
        *std::min_element(clients.begin(), clients.end(),
                          [](const CLIENT& a, const CLIENT& b) { return a.ulHeard < b.ulHeard; });
    queueAnswer(silent, "RPRT -8\n");
    flushClient(silent);
    closeClient(silent);
    ulEvictions += 1;
    return silent;
}

void acceptClients() {
    for (SOCKET s = AcceptSocket(hListen); s != INVALID_SOCKET; s = AcceptSocket(hListen)) {
        auto free = std::find_if(clients.begin(), clients.end(),
                                 [](const CLIENT& c) { return c.hSocket == INVALID_SOCKET; });
        CLIENT& client = free != clients.end() ? *free : evictLongestSilent();
        client.hSocket = s;
        client.ulHeard = ++ulHeardCount;
    }
}

DWORD remoteThread(LPVOID) {
    std::array<WSAPOLLFD, REMOTE_CLIENTS + 2> fds{};
    std::array<int, REMOTE_CLIENTS + 2> owner{}; // client index of each entry
    while (!bRemoteThreadDone) {
        DWORD n = 0;
        fds[n++] = {hWake, POLL_READ, 0};
        fds[n++] = {hListen, POLL_READ, 0};
        for (int i = 0; i < REMOTE_CLIENTS; ++i) {
            CLIENT& client = clients[static_cast<std::size_t>(i)];
            if (client.hSocket == INVALID_SOCKET)
                continue;
            short events = 0;
            if (!client.bClosing && client.out.size() - client.nOut >= ANSWER_ROOM)
                events |= POLL_READ;
            if (client.nOut > 0)
                events |= POLL_WRITE;
            owner[n] = i;
            fds[n++] = {client.hSocket, events, 0};
        }
        const std::uint64_t ulNext = rigFlush(now());
        const std::uint64_t ulNow = now();
        const DWORD dwWait =
            ulNext == 0 ? INFINITE : static_cast<DWORD>(ulNext > ulNow ? ulNext - ulNow : 0);
        if (WSAPoll(fds.data(), n, dwWait) == SOCKET_ERROR)
            break;
        if (bRemoteThreadDone)
            break;
        if (fds[0].revents != 0)
            ClearWakeSocket(hWake);
        for (DWORD k = 2; k < n; ++k)
            if (fds[k].revents != 0)
                serveClient(clients[static_cast<std::size_t>(owner[k])], fds[k].revents);
        // After the clients: an eviction reuses an entry polled above, and
        // what they sent this round counts before a newcomer.
        if (fds[1].revents & POLL_READ)
            acceptClients();
    }
    return 1;
}

void closeSockets() {
    for (CLIENT& client : clients)
        if (client.hSocket != INVALID_SOCKET)
            closeClient(client);
    closesocket(hListen);
    hListen = INVALID_SOCKET;
    closesocket(hWake);
    hWake = INVALID_SOCKET;
    wListenPort = 0;
}

// The sockets are left to a thread that did not end: only forgotten here.
void forgetSockets() {
    for (CLIENT& client : clients)
        client.hSocket = INVALID_SOCKET;
    hListen = INVALID_SOCKET;
    hWake = INVALID_SOCKET;
    wListenPort = 0;
}

} // namespace

BOOL remoteParseAddress(const std::string& szAddress, std::string* pszHost, WORD* pwPort) {
    std::string_view host = szRemoteLoopback;
    std::string_view port = szAddress;
    if (!szAddress.empty() && szAddress[0] == '[') {
        const std::size_t close = szAddress.find("]:");
        if (close == std::string::npos)
            return FALSE;
        host = std::string_view(szAddress).substr(1, close - 1);
        port = std::string_view(szAddress).substr(close + 2);
    } else if (const std::size_t colon = szAddress.rfind(':'); colon != std::string::npos) {
        host = std::string_view(szAddress).substr(0, colon);
        port = std::string_view(szAddress).substr(colon + 1);
        if (host.find(':') != std::string_view::npos)
            return FALSE; // an IPv6 address goes in brackets
    }
    unsigned uPort = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), uPort);
    if (host.empty() || port.empty() || ec != std::errc() || end != port.data() + port.size() ||
        uPort > 0xFFFF)
        return FALSE;
    *pszHost = host;
    *pwPort = static_cast<WORD>(uPort);
    return TRUE;
}

BOOL remoteOpen(const std::string& szAddress, std::string* pszError) {
    remoteClose();
    std::string szHost;
    WORD wPort = 0;
    if (!remoteParseAddress(szAddress, &szHost, &wPort)) {
        *pszError = "not an address: give a port, host:port or [IPv6 host]:port";
        return FALSE;
    }
    hListen = ListenSocket(szHost.c_str(), wPort, pszError);
    hWake = CreateWakeSocket();
    if (hListen != INVALID_SOCKET && hWake == INVALID_SOCKET)
        *pszError = "cannot create the wake-up";
    if (hListen != INVALID_SOCKET && hWake != INVALID_SOCKET) {
        wListenPort = SocketPort(hListen);
        rigReset();
        ulEvictions = 0;
        bRemoteThreadDone = 0;
        const DWORD dwError = workerOpen(&remoteWorker);
        if (dwError == NO_ERROR)
            return TRUE;
        *pszError = ErrorText(dwError);
    }
    closeSockets();
    return FALSE;
}

void remoteStart() {
    workerStart(&remoteWorker);
}

void remoteClose() {
    if (hRemoteThread == nullptr)
        return;
    // A thread left behind keeps its sockets; the next open makes new ones.
    workerClose({&remoteWorker}, [] { SignalWakeSocket(hWake); },
                {[](BOOL bRelease) { bRelease ? closeSockets() : forgetSockets(); }});
}

BOOL remoteRunning() {
    return hRemoteThread != nullptr ? TRUE : FALSE;
}

WORD remotePort() {
    return wListenPort;
}

std::uint64_t remoteEvictions() {
    return ulEvictions;
}

std::string remoteCountersText() {
    const std::uint64_t ulCount = ulEvictions;
    if (ulCount == 0)
        return {};
    return std::to_string(ulCount) + " silent remote-control connections closed for new ones\n";
}
