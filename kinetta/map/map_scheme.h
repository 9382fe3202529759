#pragma once
// The map page's private URL scheme "kinetta-map": it serves the page, the
// map library's loader, the built-in Leaflet with its licence, and the host
// object's calls. Host calls and page messages are answered only for
// documents of the page's own origin; anything else gets nothing.

#include <QWebEngineUrlSchemeHandler>

#include <functional>
#include <string>

#include "kinetta/map/map_address.h"

namespace kinetta::map {

class HostWebViewObject;

// Registers the scheme with Qt WebEngine. Must run before the QApplication
// is created; later calls do nothing.
void RegisterMapUrlScheme();

// Prepares the process for Qt WebEngine before the QApplication exists:
// registers the scheme and, when Chromium's sandbox cannot start (running as
// root), switches it off unless the environment already decides.
void PrepareWebEngineProcess();
// Whether PrepareWebEngineProcess ran: without it the page's scheme is
// unknown and the browser must not be started.
bool WebEngineProcessPrepared();

class MapSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit MapSchemeHandler(QObject* parent = nullptr);

    // Answers host calls (null: host calls fail). Not owned.
    void SetHostObject(HostWebViewObject* host) { host_ = host; }
    void SetTiles(MapTileSettings tiles) { tiles_ = std::move(tiles); }
    // Receives the text of every message the page posts.
    void SetMessageReceiver(std::function<void(const std::string&)> receiver) {
        receiver_ = std::move(receiver);
    }
    // Called on every host call answered: the map page's script is running.
    void SetHostCallObserver(std::function<void()> observer) {
        hostCallObserver_ = std::move(observer);
    }
    // Host calls answered so far (tests and figures).
    long HostCalls() const { return hostCalls_; }
    long Refused() const { return refused_; }

    void requestStarted(QWebEngineUrlRequestJob* job) override;

    // The loader's text for the given callback name and tiles (the callback
    // must be a plain identifier; anything else gives "loadLibs").
    static QByteArray LoaderScript(const QString& callback, const MapTileSettings& tiles);

private:
    HostWebViewObject* host_ = nullptr; // UI thread, like every request
    MapTileSettings tiles_;
    std::function<void(const std::string&)> receiver_;
    std::function<void()> hostCallObserver_;
    long hostCalls_ = 0;
    long refused_ = 0;
};

} // namespace kinetta::map
