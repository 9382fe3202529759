#pragma once
// A tile server on 127.0.0.1 for the map's tests and figures: it answers
// every GET with a generated 256 x 256 PNG (a colour per tile, its z/x/y
// written on it) and can stop answering (its port closed, open connections
// dropped) and answer again on the same port. It runs on a thread of its own,
// so a busy UI thread does not hold it up.

#include <QString>

#include <atomic>
#include <memory>

class QThread;

namespace kinetta::maptest {

class TileWorker;

class LocalTileServer {
public:
    LocalTileServer();
    ~LocalTileServer();

    // Starts listening (on the same port as before after a Stop). False when
    // no port could be opened.
    bool Start();
    // Closes the port and drops every open connection.
    void Stop();
    bool Listening() const;

    quint16 Port() const { return port_; }
    // "http://127.0.0.1:<port>/{z}/{x}/{y}.png"
    QString TileTemplate() const;
    // Tile requests answered so far.
    long Tiles() const;
    // Any request answered (tiles, the root address).
    long Requests() const;

private:
    std::unique_ptr<QThread> thread_;
    TileWorker* worker_ = nullptr; // lives on thread_
    quint16 port_ = 0;
};

} // namespace kinetta::maptest
