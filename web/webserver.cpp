// The web panel's server thread: Qt's HTTP server and WebSockets on an
// event loop of their own.
#include "web/web.h"

#include "audio/audio.h"
#include "link/updatethread.h"
#include "platform/socket.h"
#include "platform/wakeup.h"
#include "protocol/comexecute.h"
#include "protocol/steps.h"
#include "remote/remote.h"
#include "web/webframe.h"
#include "web/webpolicy.h"

#include <QFile>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QPointer>
#include <QSocketNotifier>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Clips come every 64 ms, and the audio thread wakes the server for
// each one it puts in the tap: a clip goes out as it comes, and the
// thread wakes no more often than clips come (each wake-up of a thread
// costs more than a listener's write). The receiver's state goes out
// every 100 ms on a timer, or while clips flow with the first clip after
// that, in the same write to each client; the timer then only looks
// after what a wake-up may have missed. Nobody connected: the thread
// rests.
constexpr int STATE_TICK_MS = 100;
constexpr int FLOWING_TICK_MS = 250;
constexpr int IDLE_TICK_MS = 500;
constexpr std::uint64_t STATE_MS = 95;        // every 100 ms, give or take a timer's slack
constexpr std::uint64_t AUDIO_FLOWS_MS = 200; // clips went out this recently: audio flows
constexpr int JOIN_MS = 2000;                 // the thread is given this long to end
constexpr int LISTEN_BACKLOG = 1024;          // connections the system holds for the thread to take
constexpr char AUDIO_MESSAGE = 1;             // first octet of an audio message
// Kind, index, predictor (2), clip number (4), when the clip's last
// octet came in (4: the server's wall clock in microseconds, the low 32
// bits, for a page on the same machine to measure its delay).
constexpr int AUDIO_HEADER = 12;

// The audio thread's signal that a clip is in the tap. It lives as long
// as the program, so a signal given while the server stops reaches a
// descriptor that is still this one.
WakeUp& clipWake() {
    static WakeUp wake;
    return wake;
}

void clipTapped() {
    clipWake().signal();
}

// A steady-clock time (microseconds) on the wall clock, low 32 bits.
std::uint32_t wallMicros(std::int64_t llSteady) {
    using namespace std::chrono;
    const auto steadyNow = duration_cast<microseconds>(steady_clock::now().time_since_epoch());
    const auto wallNow = duration_cast<microseconds>(system_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(wallNow.count() - (steadyNow.count() - llSteady));
}

// Four octets of a message, least significant first.
void putLittleEndian32(QByteArray* pMessage, int at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        (*pMessage)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t now() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

const char* modeName(DWORD uMode) {
    return uMode == MODE_AM ? "AM" : uMode == MODE_CW ? "CW" : uMode == MODE_SSB ? "SSB" : "";
}

std::string jsonString(const std::string& sz) {
    std::string out = "\"";
    for (char c : sz) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out + "\"";
}

// What the server was opened with.
struct SETTINGS {
    QHostAddress address;
    quint16 wPort = 0;
    std::vector<WEBBAND> bands;
    int nLimit = WEB_LISTENERS;
    std::string szIcecast; // the listeners' address of the Icecast stream
    QSslCertificate certificate;
    QSslKey key;
};

struct CLIENT {
    int id = 0;
    std::unique_ptr<QWebSocket> socket;
    // The plain TCP connection under the socket, which the clips and the
    // state are written to directly; null (TLS) for all through the socket.
    QPointer<QTcpSocket> connection;
    std::string szAddress;
    bool bListening = false;
    std::uint64_t ulBackedUpSince = 0; // 0: keeping up
    std::uint64_t ulStateSeen = 0;     // the state's generation it was sent last
    bool bOperatorSeen = false;        // and whether it was told it tunes
};

std::atomic<int> nClients{0};
std::atomic<int> nListeners{0};
std::atomic<unsigned long long> ulSkipped{0};
std::atomic<WORD> wPortListening{0};

// The station on the air where the receiver was when the dialog last
// looked (the dialog's thread writes it, the server's reads it).
std::mutex stationLock;
DWORD ulStationFrequency = 0;
std::string szStationName;

std::string stationAt(DWORD ulFrequency) {
    std::lock_guard hold(stationLock);
    return ulFrequency == ulStationFrequency ? szStationName : std::string();
}

// Lives on the server's thread, from its start to its end.
class Server : public QObject {
  public:
    explicit Server(const SETTINGS& settings) : settings_(settings) {}

    // The reason it cannot serve, or "".
    std::string listen() {
        addRoutes();
        // Our own listening socket, for its backlog: with the default 50 a
        // burst of connections overflows the system's queue, and those
        // left out wait seconds for their retries before they are even
        // turned away.
        std::unique_ptr<QTcpServer> server;
        if (settings_.certificate.isNull()) {
            server = std::make_unique<QTcpServer>();
            plainServer_ = server.get();
        } else {
            auto ssl = std::make_unique<QSslServer>();
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setLocalCertificate(settings_.certificate);
            tls.setPrivateKey(settings_.key);
            ssl->setSslConfiguration(tls);
            server = std::move(ssl);
        }
        server->setListenBacklogSize(LISTEN_BACKLOG);
        if (!server->listen(settings_.address, settings_.wPort))
            return "cannot listen (address in use, or not an address of this machine)";
        const quint16 wPort = server->serverPort();
        http_.bind(server.release()); // the HTTP server owns it from here
        wPortListening = wPort;
        QObject::connect(&http_, &QAbstractHttpServer::newWebSocketConnection, this,
                         [this] { acceptSockets(); });
        QObject::connect(&tick_, &QTimer::timeout, this, [this] { onTick(); });
        tick_.start(IDLE_TICK_MS);
        clipWake().drain();
        if (clipWake().handle() >= 0) {
            clipNotifier_ =
                std::make_unique<QSocketNotifier>(clipWake().handle(), QSocketNotifier::Read);
            QObject::connect(clipNotifier_.get(), &QSocketNotifier::activated, this,
                             [this] { onClipTapped(); });
            pfnClipTapped = &clipTapped;
        }
        return {};
    }

    ~Server() override {
        bClipTap = FALSE;
        pfnClipTapped = nullptr;
        for (CLIENT& client : clients_)
            client.socket->disconnect(this); // no drop while the list goes
        clients_.clear();
        nClients = 0;
        nListeners = 0;
        wPortListening = 0;
    }

  private:
    void addRoutes() {
        serve("/", "page.html", "text/html; charset=utf-8");
        serve("/page.js", "page.js", "text/javascript; charset=utf-8");
        serve("/worklet.js", "worklet.js", "text/javascript; charset=utf-8");
        serve("/page.css", "page.css", "text/css; charset=utf-8");
        // The socket: the server hands an upgrade on to newWebSocketConnection
        // once a route has taken it; anything else here is answered.
        http_.route("/ws", [](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) != 0)
                responder.write(QHttpServerResponder::StatusCode::BadRequest);
        });
    }

    void serve(const char* szPath, const char* szFile, const char* szType) {
        QFile file(QString(":/web/") + szFile);
        file.open(QIODevice::ReadOnly);
        const QByteArray body = file.readAll();
        const QByteArray type = szType;
        http_.route(szPath, [body, type] {
            QHttpServerResponse response(type, body);
            response.addHeader("Cache-Control", "no-store");
            response.addHeader("X-Content-Type-Options", "nosniff");
            response.addHeader("Content-Security-Policy",
                               "default-src 'self'; frame-ancestors 'none'");
            return response;
        });
    }

    // A browser's page may open the socket only from this server's own
    // page; tools without an Origin header are not browsers.
    static bool originAllowed(const QWebSocket& socket) {
        const QString szOrigin = socket.origin();
        if (szOrigin.isEmpty())
            return true;
        const QUrl origin(szOrigin);
        const int iDefaultPort = origin.scheme() == "https" ? 443 : 80;
        const QUrl host("http://" + QString::fromLatin1(socket.request().rawHeader("Host")));
        return origin.isValid() && host.isValid() && !host.host().isEmpty() &&
               origin.host().compare(host.host(), Qt::CaseInsensitive) == 0 &&
               origin.port(iDefaultPort) == host.port(iDefaultPort);
    }

    void acceptSockets() {
        while (http_.hasPendingWebSocketConnections()) {
            std::unique_ptr<QWebSocket> socket = http_.nextPendingWebSocketConnection();
            if (!socket)
                continue;
            socket->setMaxAllowedIncomingFrameSize(WEB_MESSAGE_SIZE);
            socket->setMaxAllowedIncomingMessageSize(WEB_MESSAGE_SIZE);
            QWebSocket* pSocket = socket.get();
            if (!originAllowed(*pSocket)) {
                pSocket->close(QWebSocketProtocol::CloseCodePolicyViolated, "origin");
                retire(std::move(socket));
                continue;
            }
            if (static_cast<int>(clients_.size()) >= settings_.nLimit) {
                pSocket->sendTextMessage(QString::fromStdString(
                    "{\"t\":\"full\",\"icecast\":" + jsonString(settings_.szIcecast) + "}"));
                pSocket->close(QWebSocketProtocol::CloseCodeReserved1004, "full");
                retire(std::move(socket));
                continue;
            }
            const int id = ++lastId_;
            CLIENT client;
            client.id = id;
            client.szAddress = pSocket->peerAddress().toString().toStdString();
            client.socket = std::move(socket);
            client.connection = connectionOf(*pSocket);
            QObject::connect(pSocket, &QWebSocket::textMessageReceived, this,
                             [this, id](const QString& text) { onText(id, text); });
            QObject::connect(
                pSocket, &QWebSocket::binaryMessageReceived, this, [this, id](const QByteArray&) {
                    closeClient(id, QWebSocketProtocol::CloseCodeDatatypeNotSupported, "text only");
                });
            // A write that finds the connection gone reports it at once,
            // inside the loops that send to every client: the client is
            // dropped after them, from the event loop.
            QObject::connect(
                pSocket, &QWebSocket::disconnected, this, [this, id] { dropClient(id); },
                Qt::QueuedConnection);
            clients_.push_back(std::move(client));
            pSocket->sendTextMessage(QString::fromStdString(hello()));
            countClients();
        }
    }

    // The connection a WebSocket came on: it stays a child of the
    // listening socket that took it. None with TLS (its octets must go
    // through the encryption), or when it cannot be found: that client's
    // messages then all go through its WebSocket, only at a higher cost.
    QTcpSocket* connectionOf(const QWebSocket& socket) const {
        if (plainServer_ == nullptr)
            return nullptr;
        const auto connections =
            plainServer_->findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly);
        for (QTcpSocket* pConnection : connections) {
            if (pConnection->state() == QAbstractSocket::ConnectedState &&
                pConnection->peerPort() == socket.peerPort() &&
                pConnection->localPort() == socket.localPort() &&
                pConnection->peerAddress() == socket.peerAddress())
                return pConnection;
        }
        return nullptr;
    }

    // A socket closed at the door lives until its close has gone out.
    // The server owns it meanwhile, so a stop deletes it too.
    void retire(std::unique_ptr<QWebSocket> socket) {
        QWebSocket* pSocket = socket.release();
        pSocket->setParent(this);
        QObject::connect(pSocket, &QWebSocket::disconnected, pSocket, &QObject::deleteLater);
        QTimer::singleShot(1000, pSocket, [pSocket] { pSocket->abort(); });
    }

    CLIENT* find(int id) {
        for (CLIENT& client : clients_)
            if (client.id == id)
                return &client;
        return nullptr;
    }

    void closeClient(int id, QWebSocketProtocol::CloseCode code, const char* szWhy) {
        if (CLIENT* pClient = find(id)) {
            pClient->socket->close(code, szWhy);
            dropClient(id);
        }
    }

    // Forgets a client; its socket is deleted once its signals are done.
    void dropClient(int id) {
        for (auto it = clients_.begin(); it != clients_.end(); ++it) {
            if (it->id != id)
                continue;
            webReleaseOperator(id);
            QWebSocket* pSocket = it->socket.release();
            pSocket->disconnect(this);
            pSocket->setParent(this);
            if (pSocket->state() == QAbstractSocket::UnconnectedState)
                pSocket->deleteLater();
            else
                retire(std::unique_ptr<QWebSocket>(pSocket));
            clients_.erase(it);
            countClients();
            return;
        }
    }

    void countClients() {
        int n = 0;
        for (const CLIENT& client : clients_)
            n += client.bListening ? 1 : 0;
        nClients = static_cast<int>(clients_.size());
        nListeners = n;
        // Nobody connected: nothing to send, so the thread rests.
        setTick(clients_.empty() ? IDLE_TICK_MS : STATE_TICK_MS);
        if (n > 0 && !bClipTap) {
            clipTap.clear();
            bClipTap = TRUE;
        } else if (n == 0) {
            bClipTap = FALSE;
        }
        bStateDue_ = true;
    }

    void reply(CLIENT& client, const std::string& szJson) {
        client.socket->sendTextMessage(QString::fromStdString(szJson));
    }

    void onText(int id, const QString& text) {
        CLIENT* pClient = find(id);
        if (pClient == nullptr)
            return;
        const QByteArray utf8 = text.toUtf8();
        const WEBMESSAGE message = webParse(std::string_view(utf8.data(), utf8.size()));
        const std::uint64_t ulNow = now();
        switch (message.verb) {
        case WEB_BAD:
            closeClient(id, QWebSocketProtocol::CloseCodePolicyViolated, "bad message");
            return;
        case WEB_LISTEN:
            pClient->bListening = message.ulValue != 0;
            countClients();
            return;
        case WEB_LOGIN:
            login(*pClient, message.szSecret, ulNow);
            return;
        case WEB_LOGOUT:
            webReleaseOperator(id);
            bStateDue_ = true;
            return;
        default:
            break;
        }
        switch (webCommand(id, message, ulNow)) {
        case WEB_DONE:
            return;
        case WEB_NOT_OPERATOR:
            reply(*pClient, "{\"t\":\"refused\",\"why\":\"log in to tune\"}");
            return;
        case WEB_LOCKED:
            reply(*pClient, "{\"t\":\"refused\",\"why\":\"locked at the receiver\"}");
            return;
        case WEB_REFUSED:
            reply(*pClient, "{\"t\":\"refused\",\"why\":\"refused\"}");
            return;
        }
    }

    void login(CLIENT& client, const std::string& szSecret, std::uint64_t ulNow) {
        if (!webLoginAllowed(client.szAddress, ulNow)) {
            reply(client, "{\"t\":\"login\",\"ok\":false,\"why\":\"too many attempts: wait a "
                          "minute\"}");
            return;
        }
        // The password is always checked, at the same cost, but only
        // a free role tells whether it was right.
        const BOOL bRight = webCheckPassword(szSecret);
        const int iHolder = webOperator(ulNow);
        if (iHolder != 0 && iHolder != client.id) {
            reply(client, "{\"t\":\"login\",\"ok\":false,\"why\":\"someone else is tuning\"}");
            return;
        }
        if (!bRight || !webTakeOperator(client.id, ulNow)) {
            reply(client, "{\"t\":\"login\",\"ok\":false,\"why\":\"wrong password\"}");
            return;
        }
        reply(client, "{\"t\":\"login\",\"ok\":true}");
        bStateDue_ = true;
    }

    std::string hello() const {
        std::string sz = "{\"t\":\"hello\",\"bands\":[";
        for (std::size_t i = 0; i < settings_.bands.size(); ++i) {
            const WEBBAND& band = settings_.bands[i];
            sz += (i ? ",{" : "{") + std::string("\"n\":") + jsonString(band.szName) +
                  ",\"f\":" + std::to_string(band.ulFrequency) +
                  ",\"sw\":" + (band.bShortwave ? "true" : "false") + "}";
        }
        sz += "],\"steps\":[";
        for (std::size_t i = 0; i < uaSpeed.size(); ++i) {
            if (i != 0)
                sz += ',';
            sz += std::to_string(uaSpeed[i]);
        }
        sz += "],\"min\":" + std::to_string(MIN_FREQUENCY) +
              ",\"max\":" + std::to_string(MAX_FREQUENCY) +
              ",\"password\":" + (webHasPassword() ? "true" : "false") +
              ",\"icecast\":" + jsonString(settings_.szIcecast) + "}";
        return sz;
    }

    // The receiver's state as every client sees it, but for "you".
    std::string state(int iOperator) const {
        const DWORD ulFrequency = radio.ulFrequency;
        char sz[512];
        std::snprintf(sz, sizeof sz,
                      ",\"s\":%lu,\"mode\":\"%s\",\"step\":%lu,\"lock\":%s,\"dlock\":%s,"
                      "\"audio\":%s,\"clients\":%d,\"listeners\":%d,\"limit\":%d,\"op\":%s",
                      static_cast<unsigned long>(radio.uSUnits.load()), modeName(radio.uMode),
                      static_cast<unsigned long>(radio.uSpeed.load()),
                      radio.bLock ? "true" : "false", bLock ? "true" : "false",
                      bAudioOn ? "true" : "false", nClients.load(), nListeners.load(),
                      settings_.nLimit, iOperator != 0 ? "true" : "false");
        return "{\"t\":\"state\",\"f\":" + std::to_string(ulFrequency) +
               ",\"station\":" + jsonString(stationAt(ulFrequency)) + sz;
    }

    // Makes the state's texts anew when the state changed: twice (for the
    // operator and for the others), framed and not, not once per client.
    void makeState(int iOperator) {
        std::string szState = state(iOperator);
        if (szState == szState_)
            return;
        szState_ = std::move(szState);
        stateForOthers_ = QString::fromStdString(szState_ + ",\"you\":false}");
        stateForOperator_ = QString::fromStdString(szState_ + ",\"you\":true}");
        stateFrameForOthers_ = textFrame(stateForOthers_);
        stateFrameForOperator_ = textFrame(stateForOperator_);
        ++ulStateGeneration_;
    }

    // A text message framed, in UTF-8 from QString as the WebSocket would
    // send it: a station name that is not valid UTF-8 (a text message
    // must be) is mended the same way on both paths.
    static std::string textFrame(const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        std::string szFrame;
        webAppendFrame(&szFrame, WEB_FRAME_TEXT, std::string_view(utf8.constData(), utf8.size()));
        return szFrame;
    }

    // Takes the clips waiting in the tap as audio messages, each also
    // framed, all in one run of octets.
    void takeClips() {
        clips_.clear();
        clipFrames_.clear();
        TAPPEDCLIP tapped;
        while (clipTap.pop(&tapped, 1) == 1) {
            if (!bAudioOn)
                continue; // switched off while it waited: listeners hear nothing
            QByteArray message(AUDIO_HEADER + CLIPSIZE, 0);
            message[0] = AUDIO_MESSAGE;
            message[1] = static_cast<char>(tapped.ucIndex);
            const std::uint32_t ulTaken = wallMicros(tapped.llTaken);
            const auto uPredictor = static_cast<std::uint16_t>(tapped.sPredictor);
            message[2] = static_cast<char>(uPredictor & 0xFF);
            message[3] = static_cast<char>(uPredictor >> 8);
            putLittleEndian32(&message, 4, ulClip_);
            putLittleEndian32(&message, 8, ulTaken);
            std::memcpy(message.data() + AUDIO_HEADER, tapped.ucClip.data(), CLIPSIZE);
            ++ulClip_;
            webAppendFrame(&clipFrames_, WEB_FRAME_BINARY,
                           std::string_view(message.constData(), message.size()));
            clips_.push_back(std::move(message));
        }
    }

    // Sends one client this tick's clips (if it listens) and the state (if
    // it is due and the client has not seen it as it stands), in one
    // write. A listener that has fallen behind skips the clips; the
    // others hear them.
    void sendTo(CLIENT& client, bool bState, int iOperator, std::uint64_t ulNow) {
        const bool bBackedUp = client.socket->bytesToWrite() >= WEB_CLIENT_BACKLOG;
        bool bClips = client.bListening && !clips_.empty();
        if (bClips && bBackedUp) {
            ulSkipped += clips_.size();
            if (client.ulBackedUpSince == 0)
                client.ulBackedUpSince = ulNow;
            bClips = false;
        } else if (bClips) {
            client.ulBackedUpSince = 0;
        }
        const bool bOperator = client.id == iOperator;
        const bool bStateNow =
            bState && !bBackedUp &&
            (client.ulStateSeen != ulStateGeneration_ || client.bOperatorSeen != bOperator);
        if (bStateNow) {
            client.ulStateSeen = ulStateGeneration_;
            client.bOperatorSeen = bOperator;
        }
        if (!bClips && !bStateNow)
            return;
        if (QTcpSocket* pConnection = client.connection.data()) {
            frames_.clear();
            if (bClips)
                frames_ += clipFrames_;
            if (bStateNow)
                frames_ += bOperator ? stateFrameForOperator_ : stateFrameForOthers_;
            sendFramed(pConnection, frames_);
            return;
        }
        if (bClips)
            for (const QByteArray& clip : clips_)
                client.socket->sendBinaryMessage(clip);
        if (bStateNow)
            client.socket->sendTextMessage(bOperator ? stateForOperator_ : stateForOthers_);
        client.socket->flush(); // now, not on a write notifier's turn of the loop
    }

    // Writes framed messages straight to the system when Qt holds nothing
    // for this connection: one write, without the write notifier Qt would
    // switch on and off and the turn of the event loop it would take.
    // Whatever the system does not take at once, or all of it when Qt
    // still holds octets, goes behind them in Qt's queue, so the order on
    // the wire stays the order sent. A connection gone is Qt's to notice.
    static void sendFramed(QTcpSocket* pConnection, const std::string& szFrames) {
        int nSent = 0;
        if (pConnection->bytesToWrite() == 0) {
            nSent = SendSocket(static_cast<SOCKET>(pConnection->socketDescriptor()),
                               szFrames.data(), static_cast<int>(szFrames.size()));
            if (nSent == SOCKET_ERROR)
                return;
            nSent = std::max(nSent, 0);
        }
        if (static_cast<std::size_t>(nSent) < szFrames.size())
            pConnection->write(szFrames.data() + nSent,
                               static_cast<qint64>(szFrames.size()) - nSent);
    }

    void dropStalled(std::uint64_t ulNow) {
        for (const CLIENT& client : clients_) {
            if (client.ulBackedUpSince != 0 && ulNow - client.ulBackedUpSince >= WEB_STALLED_MS) {
                client.socket->abort();
                dropClient(client.id);
                return; // the list changed; the next tick looks again
            }
        }
    }

    // Restarts the timer only when its interval changes.
    void setTick(int iMs) {
        if (tick_.interval() != iMs)
            tick_.setInterval(iMs);
    }

    void onClipTapped() {
        clipWake().drain();
        onTick();
    }

    void onTick() {
        const std::uint64_t ulNow = now();
        webFlush(ulNow);
        takeClips();
        const bool bClips = !clips_.empty();
        if (bClips)
            ulClipsAt_ = ulNow;
        // While audio flows the state rides with the next clip, in the
        // same write to each client, rather than in a write of its own.
        const bool bAudioFlows = ulNow - ulClipsAt_ < AUDIO_FLOWS_MS;
        if (!clients_.empty())
            setTick(bAudioFlows && clipNotifier_ ? FLOWING_TICK_MS : STATE_TICK_MS);
        const bool bState =
            (ulNow - ulStateAt_ >= STATE_MS && (bClips || !bAudioFlows)) || bStateDue_;
        const int iOperator = bState ? webOperator(ulNow) : 0; // only the state tells it
        if (bState) {
            ulStateAt_ = ulNow;
            bStateDue_ = false;
            makeState(iOperator);
        }
        for (CLIENT& client : clients_)
            sendTo(client, bState, iOperator, ulNow);
        if (bState)
            dropStalled(ulNow);
    }

    SETTINGS settings_;
    QHttpServer http_;
    // The listening socket without TLS (the HTTP server owns it).
    QTcpServer* plainServer_ = nullptr;
    QTimer tick_;
    std::unique_ptr<QSocketNotifier> clipNotifier_;
    std::vector<CLIENT> clients_;
    int lastId_ = 0;
    std::uint64_t ulStateAt_ = 0; // when the state last went out
    bool bStateDue_ = true;
    std::uint32_t ulClip_ = 0;
    std::uint64_t ulClipsAt_ = 0; // when clips last went out
    std::string szState_;         // the state last sent, and its texts
    QString stateForOthers_;
    QString stateForOperator_;
    std::string stateFrameForOthers_; // the same, framed
    std::string stateFrameForOperator_;
    std::vector<QByteArray> clips_; // this tick's audio messages
    std::string clipFrames_;        // and framed
    std::string frames_;            // what goes to one client
    std::uint64_t ulStateGeneration_ = 0;
};

class WebThread : public QThread {
  public:
    explicit WebThread(SETTINGS settings) : settings_(std::move(settings)) { setObjectName("web"); }
    std::future<std::string> started() { return started_.get_future(); }
    // Asks the loop to end. The thread keeps its event loop's wake-up
    // until this has returned, so that nothing wakes a loop being torn
    // down.
    void stop() {
        quit();
        bStopAsked_.store(true, std::memory_order_release);
        bStopAsked_.notify_all();
    }

  protected:
    void run() override {
        std::string szError;
        {
            Server server(settings_);
            szError = server.listen();
            started_.set_value(szError);
            if (szError.empty()) {
                exec();
                bStopAsked_.wait(false, std::memory_order_acquire);
            }
        }
        webPolicyReset();
        webPolicyThreadEnd();
    }

  private:
    SETTINGS settings_;
    std::promise<std::string> started_;
    std::atomic<bool> bStopAsked_{false};
};

std::unique_ptr<WebThread> pThread;

// A host as VELKOR_WEB names it: an IP address, or "localhost".
bool readHost(const std::string& szHost, QHostAddress* pAddress) {
    if (szHost == "localhost") {
        *pAddress = QHostAddress(QHostAddress::LocalHost);
        return true;
    }
    return pAddress->setAddress(QString::fromStdString(szHost));
}

// The address listeners open for the Icecast stream: the source's URL
// (VELKOR_ICECAST, else the one kept in the settings) without its
// password, over HTTP.
std::string icecastListenUrl(const std::string& szKept) {
    const char* sz = std::getenv(szWebIcecastEnv);
    if (sz == nullptr && szKept.empty())
        return {};
    QUrl url(QString::fromUtf8(sz != nullptr ? sz : szKept.c_str()));
    if (!url.isValid() || url.host().isEmpty())
        return {};
    url.setScheme("http");
    url.setUserInfo({});
    return url.toString().toStdString();
}

bool loadTls(SETTINGS* pSettings, std::string* pszError) {
    const char* szCert = std::getenv(szWebCertEnv);
    const char* szKey = std::getenv(szWebKeyEnv);
    if (szCert == nullptr && szKey == nullptr)
        return true;
    if (szCert == nullptr || szKey == nullptr) {
        *pszError = "TLS needs both VELKOR_WEB_CERT and VELKOR_WEB_KEY";
        return false;
    }
    QFile certFile(szCert);
    QFile keyFile(szKey);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        *pszError = std::string("cannot read the certificate or key: ") + szCert + ", " + szKey;
        return false;
    }
    const QList<QSslCertificate> certs = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyPem = keyFile.readAll();
    QSslKey key(keyPem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Ec, QSsl::Pem);
    if (certs.isEmpty() || certs.front().isNull() || key.isNull()) {
        *pszError = std::string("not a PEM certificate and key: ") + szCert + ", " + szKey;
        return false;
    }
    pSettings->certificate = certs.front();
    pSettings->key = key;
    return true;
}

} // namespace

BOOL webOpen(const std::string& szAddress, const std::vector<WEBBAND>& bands, std::string* pszError,
             const WEBSETTINGS& kept) {
    webClose();
    SETTINGS settings;
    std::string szHost;
    WORD wPort = 0;
    if (!remoteParseAddress(szAddress, &szHost, &wPort) || !readHost(szHost, &settings.address)) {
        *pszError = "not an address: give a port, IP:port or [IPv6]:port";
        return FALSE;
    }
    settings.wPort = wPort;
    if (const char* szPassword = std::getenv(szWebPasswordEnv); szPassword != nullptr) {
        webSetPassword(szPassword);
    } else if (!kept.szPasswordHash.empty()) {
        if (!webSetPasswordHash(kept.szPasswordHash)) {
            *pszError = "the password kept in the settings is damaged: set it again";
            return FALSE;
        }
    } else {
        webSetPassword("");
    }
    if (!settings.address.isLoopback() && !webHasPassword()) {
        *pszError = "refusing to serve beyond this machine without a password: set one "
                    "(Web Settings..., or VELKOR_WEB_PASSWORD), or listen on 127.0.0.1";
        return FALSE;
    }
    if (const char* szLimit = std::getenv(szWebListenersEnv); szLimit != nullptr) {
        const int n = std::atoi(szLimit);
        if (n < 1 || n > WEB_LISTENERS_MAX) {
            *pszError = "VELKOR_WEB_LISTENERS is not a number from 1 to 1000";
            return FALSE;
        }
        settings.nLimit = n;
    }
    if (!loadTls(&settings, pszError))
        return FALSE;
    settings.bands = bands;
    settings.szIcecast = icecastListenUrl(kept.szIcecast);
    ulSkipped = 0;
    pThread = std::make_unique<WebThread>(std::move(settings));
    std::future<std::string> started = pThread->started();
    pThread->start();
    const std::string szError = started.get();
    if (!szError.empty()) {
        pThread->wait();
        pThread.reset();
        *pszError = szError;
        return FALSE;
    }
    return TRUE;
}

void webClose() {
    if (!pThread)
        return;
    pThread->stop();
    if (!pThread->wait(JOIN_MS)) {
        std::fputs("velkor: the web server's thread did not end; left behind\n", stderr);
        (void)pThread.release(); // it still runs on what it owns
        return;
    }
    pThread.reset();
}

BOOL webRunning() {
    return pThread ? TRUE : FALSE;
}

WORD webPort() {
    return pThread ? wPortListening.load() : 0;
}

int webClients() {
    return nClients;
}

int webListeners() {
    return nListeners;
}

unsigned long long webSkipped() {
    return ulSkipped;
}

void webStationChanged(DWORD ulFrequency, const std::string& szName) {
    std::lock_guard hold(stationLock);
    ulStationFrequency = ulFrequency;
    szStationName = szName;
}
