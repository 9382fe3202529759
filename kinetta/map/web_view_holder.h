#pragma once
// CWebView2Holder: the browser control of the map dialog. It creates and owns
// the browser profile, page and view, the host object "sample" and the
// injected bridge script; it loads the map page (once per run), runs scripts
// in it and posts the state message, serialised with its CJsonHolder.
// UI thread only.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWebEngineView>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kinetta/map/host_object.h"
#include "kinetta/map/json_holder.h"
#include "kinetta/map/map_address.h"
#include "kinetta/map/map_dlg_wrap.h"

class QWebEnginePage;
class QWebEngineProfile;
class QWidget;

namespace kinetta::map {

class MapSchemeHandler;
class MapWebPage;

// The zoom factor of the map page.
inline constexpr double kMapZoomFactor = 0.65;

class CWebView2Holder : public QObject {
    Q_OBJECT
public:
    explicit CWebView2Holder(QObject* parent = nullptr);
    ~CWebView2Holder() override;

    // Bring-up, attempted once: the profile (its disk cache and storage under
    // storageRoot, default the user's cache folder), the page with the bridge
    // script, the view as a child of parentWidget filling bounds, about:blank
    // shown; then UM_WEBVIEW_CREATED is posted to notify. False when it was
    // attempted before or fails.
    bool Create(QWidget* parentWidget, IHostWebViewFuncs* funcs, QObject* notify,
                const MapTileSettings& tiles, const QString& storageRoot = {});
    bool Created() const { return view_ != nullptr; }

    // The view's rectangle and the zoom factor 0.65 (again on every resize).
    void SetBounds(const QRect& bounds);

    // Loads the map page, once per run; later calls do nothing. False when
    // there is no view or the page was loaded before.
    bool LoadPage();
    bool PageLoaded() const { return pageLoaded_; }

    // Runs a script in the page; the result is ignored. Dropped without a
    // view or before the page was requested. Between the request and the
    // page being ready (its script called the host, or its load finished)
    // scripts are kept and run then, in the order they came: the page's
    // objects do not exist before.
    void ExecuteScript(const std::string& script);
    // The map page is ready: scripts run at once.
    bool PageReady() const { return pageReady_; }
    // The state message (MapStateMessage) to the page's message listener.
    void PostMapState(const MapState& state);
    // A JSON text to the page's message listener (parsed there, never run).
    void PostWebMessageAsJson(const std::string& json);

    // Latitude, longitude and status texts last sent or received.
    const std::string& LatitudeText() const { return latitude_; }
    const std::string& LongitudeText() const { return longitude_; }
    const std::string& StatusText() const { return status_; }

    QWebEngineView* View() const { return view_; }
    QWebEnginePage* Page() const { return page_; }
    QWebEngineProfile* Profile() const { return profile_; }
    MapSchemeHandler* Scheme() const { return scheme_; }
    HostWebViewObject* HostObject() const { return host_.get(); }

signals:
    // The map page finished loading (ok false when it failed).
    void PageLoadFinished(bool ok);

private:
    void OnWebMessage(const std::string& json);
    void OnPageReady();

    IHostWebViewFuncs* funcs_ = nullptr; // not owned
    CJsonHolder json_;
    QWebEngineProfile* profile_ = nullptr; // owned; deleted after page_
    QWebEnginePage* page_ = nullptr;       // owned; deleted before profile_
    QPointer<QWebEngineView> view_;        // child of the parent widget
    MapSchemeHandler* scheme_ = nullptr;   // child of this
    std::unique_ptr<HostWebViewObject> host_;
    std::string latitude_, longitude_, status_;
    bool created_ = false;    // creation attempted
    bool pageLoaded_ = false; // the page was requested
    bool pageReady_ = false;  // the page's script has run (see ExecuteScript)
    // Scripts asked for after the request and before the document was ready,
    // in order; at most kMaxPendingScripts (later ones are dropped, as
    // scripts to a page that is not there).
    std::vector<std::string> pendingScripts_;
    static constexpr size_t kMaxPendingScripts = 1024;
};

// The browser profile of the map: a persistent HTTP disk cache (tiles seen
// once still show offline) and storage under root, and a user agent naming
// kinetta and its version, as tile servers ask.
QWebEngineProfile* CreateMapProfile(const QString& root, QObject* parent);
// "<user cache folder>/kinetta/map".
QString DefaultMapStorageRoot();
// "kinetta/<version> (...)".
QString MapUserAgent();

} // namespace kinetta::map
