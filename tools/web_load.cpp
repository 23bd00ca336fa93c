// velkor-web-load: N web listeners for a while, for measuring the web
// panel's cost. Each opens the page's socket, asks for audio and counts
// the clips it gets; at the end one line tells how many clips each got
// (least, most) and how many connections closed early.
// Usage: velkor-web-load URL LISTENERS SECONDS   (URL: ws://HOST:PORT/ws)
#include <QCoreApplication>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: velkor-web-load ws://HOST:PORT/ws LISTENERS SECONDS\n", stderr);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const QUrl url(QString::fromLocal8Bit(argv[1]));
    const int nListeners = std::atoi(argv[2]);
    const int nSeconds = std::atoi(argv[3]);
    std::vector<std::unique_ptr<QWebSocket>> sockets;
    std::vector<long> clips(static_cast<std::size_t>(std::max(nListeners, 0)));
    int nClosed = 0;
    for (int i = 0; i < nListeners; ++i) {
        auto socket = std::make_unique<QWebSocket>();
        QWebSocket* p = socket.get();
        long* pClips = &clips[static_cast<std::size_t>(i)];
        QObject::connect(p, &QWebSocket::connected, [p] { p->sendTextMessage("listen 1"); });
        QObject::connect(p, &QWebSocket::binaryMessageReceived,
                         [pClips](const QByteArray&) { ++*pClips; });
        QObject::connect(p, &QWebSocket::disconnected, [&nClosed] { ++nClosed; });
        p->open(url);
        sockets.push_back(std::move(socket));
    }
    QTimer::singleShot(nSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const auto [least, most] = std::minmax_element(clips.begin(), clips.end());
    std::printf("listeners %d clips least %ld most %ld closed %d\n", nListeners,
                clips.empty() ? 0 : *least, clips.empty() ? 0 : *most, nClosed);
    return 0;
}
