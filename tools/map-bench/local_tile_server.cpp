#include "tools/map-bench/local_tile_server.h"

#include <QBuffer>
#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>

namespace kinetta::maptest {

class TileWorker : public QObject {
public:
    std::atomic<long> tiles{0};
    std::atomic<long> requests{0};
    std::atomic<bool> listening{false};

    // Both run on the worker's thread.
    quint16 Listen(quint16 port) {
        if (!server_) {
            server_ = new QTcpServer(this);
            QObject::connect(server_, &QTcpServer::newConnection, this, [this] { Accept(); });
        }
        if (!server_->isListening() && !server_->listen(QHostAddress::LocalHost, port)) return 0;
        listening = true;
        return server_->serverPort();
    }
    void Close() {
        if (server_) server_->close();
        for (QTcpSocket* s : findChildren<QTcpSocket*>()) {
            s->disconnect(this);
            s->abort();
            s->deleteLater();
        }
        pending_.clear();
        listening = false;
    }

private:
    void Accept() {
        while (QTcpSocket* s = server_->nextPendingConnection()) {
            s->setParent(this);
            QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { Read(s); });
            QObject::connect(s, &QTcpSocket::disconnected, this, [this, s] {
                pending_.remove(s);
                s->deleteLater();
            });
        }
    }

    void Read(QTcpSocket* s) {
        QByteArray& buffer = pending_[s];
        buffer += s->readAll();
        for (;;) {
            const int end = buffer.indexOf("\r\n\r\n");
            if (end < 0) return;
            const QByteArray head = buffer.left(end);
            buffer.remove(0, end + 4);
            const QList<QByteArray> line = head.left(head.indexOf("\r\n")).split(' ');
            const QByteArray method = line.value(0);
            const QString path = QString::fromLatin1(line.value(1));
            static const QRegularExpression tile(QStringLiteral("^/(\\d+)/(\\d+)/(\\d+)\\.png$"));
            const auto m = tile.match(path);
            QByteArray body, type = "text/plain", status = "200 OK";
            if (m.hasMatch()) {
                body = Tile(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
                type = "image/png";
                ++tiles;
            } else if (path == QStringLiteral("/")) {
                body = "kinetta test tiles\n";
            } else {
                status = "404 Not Found";
                body = "not found\n";
            }
            ++requests;
            QByteArray reply = "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
                               "\r\nContent-Length: " + QByteArray::number(body.size()) +
                               "\r\nCache-Control: no-store\r\nAccess-Control-Allow-Origin: *"
                               "\r\nConnection: keep-alive\r\n\r\n";
            if (method != "HEAD") reply += body;
            s->write(reply);
        }
    }

    static QByteArray Tile(int z, int x, int y) {
        QImage image(256, 256, QImage::Format_RGB32);
        const uint hash = uint(x * 73856093) ^ uint(y * 19349663) ^ uint(z * 83492791);
        image.fill(QColor::fromHsv(int(hash % 360), 40, 235));
        QPainter p(&image);
        p.setPen(QColor(120, 120, 120));
        p.drawRect(0, 0, 255, 255);
        p.drawText(QRect(0, 0, 256, 256), Qt::AlignCenter,
                   QStringLiteral("%1/%2/%3").arg(z).arg(x).arg(y));
        p.end();
        QByteArray png;
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        image.save(&b, "PNG");
        return png;
    }

    QTcpServer* server_ = nullptr;
    QHash<QTcpSocket*, QByteArray> pending_;
};

LocalTileServer::LocalTileServer() : thread_(std::make_unique<QThread>()) {
    worker_ = new TileWorker;
    worker_->moveToThread(thread_.get());
    QObject::connect(thread_.get(), &QThread::finished, worker_, &QObject::deleteLater);
    thread_->start();
}

LocalTileServer::~LocalTileServer() {
    Stop();
    thread_->quit();
    thread_->wait();
}

bool LocalTileServer::Start() {
    quint16 port = 0;
    const quint16 want = port_;
    QMetaObject::invokeMethod(
        worker_, [this, want, &port] { port = worker_->Listen(want); },
        Qt::BlockingQueuedConnection);
    if (port) port_ = port;
    return port != 0;
}

void LocalTileServer::Stop() {
    QMetaObject::invokeMethod(
        worker_, [this] { worker_->Close(); }, Qt::BlockingQueuedConnection);
}

bool LocalTileServer::Listening() const {
    return worker_->listening.load();
}

QString LocalTileServer::TileTemplate() const {
    return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(port_);
}

long LocalTileServer::Tiles() const {
    return worker_->tiles.load();
}
long LocalTileServer::Requests() const {
    return worker_->requests.load();
}

} // namespace kinetta::maptest
