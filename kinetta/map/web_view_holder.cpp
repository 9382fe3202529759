#include "kinetta/map/web_view_holder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"
#include "kinetta/map/map_scheme.h"
#include "util/json_text.h"

#ifndef KINETTA_VERSION
#define KINETTA_VERSION "0"
#endif

namespace kinetta::map {

QString DefaultMapStorageRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/kinetta/map");
}

QString MapUserAgent() {
    return QStringLiteral("kinetta/" KINETTA_VERSION
                          " (drive-recorder viewer; Linux; Qt WebEngine)");
}

QWebEngineProfile* CreateMapProfile(const QString& root, QObject* parent) {
    QDir().mkpath(root);
    auto* profile = new QWebEngineProfile(QStringLiteral("kinetta-map"), parent);
    profile->setCachePath(root + QStringLiteral("/cache"));
    profile->setPersistentStoragePath(root + QStringLiteral("/storage"));
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setHttpUserAgent(MapUserAgent());
    return profile;
}

namespace {

bool IsMapAddress(const QUrl& url) {
    return url.scheme() == QString::fromUtf8(kMapScheme.data(), int(kMapScheme.size())) &&
           url.host() == QStringLiteral("map");
}

} // namespace

// The map page's document stays for the whole run (it is loaded once): a
// navigation of the main frame to any other address (a script, a click on
// the attribution's links) is refused, and so are new windows.
class MapWebPage : public QWebEnginePage {
public:
    explicit MapWebPage(QWebEngineProfile* profile) : QWebEnginePage(profile, nullptr) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        return !isMainFrame || IsMapAddress(url) || url == QUrl(QStringLiteral("about:blank"));
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
};

CWebView2Holder::CWebView2Holder(QObject* parent) : QObject(parent) {}

CWebView2Holder::~CWebView2Holder() {
    // The host object goes first, then the page (which must not outlive its
    // profile), then the profile.
    if (scheme_) scheme_->SetHostObject(nullptr);
    host_.reset();
    if (view_) view_->setPage(nullptr);
    delete view_.data();
    delete page_;
    delete profile_;
}

bool CWebView2Holder::Create(QWidget* parentWidget, IHostWebViewFuncs* funcs, QObject* notify,
                             const MapTileSettings& tiles, const QString& storageRoot) {
    if (created_) return false;
    created_ = true;
    funcs_ = funcs;

    profile_ =
        CreateMapProfile(storageRoot.isEmpty() ? DefaultMapStorageRoot() : storageRoot, nullptr);
    scheme_ = new MapSchemeHandler(this);
    scheme_->SetTiles(tiles);
    scheme_->SetMessageReceiver([this](const std::string& text) { OnWebMessage(text); });
    // A host call comes from the map page's own script, which defines the
    // page's objects before anything calls the host: from then on scripts
    // can run there. (The end of the load comes only once the tiles of the
    // first view have loaded, much later.)
    scheme_->SetHostCallObserver([this] { OnPageReady(); });
    profile_->installUrlSchemeHandler(QByteArray::fromStdString(std::string(kMapScheme)), scheme_);

    page_ = new MapWebPage(profile_);
    QWebEngineSettings* s = page_->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);

    QFile shim(QStringLiteral(":/kinetta/map/host_shim.js"));
    if (!shim.open(QIODevice::ReadOnly)) return false;
    QWebEngineScript script;
    script.setName(QStringLiteral("kinetta-host-shim"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(QString::fromUtf8(shim.readAll()));
    page_->scripts().insert(script);

    view_ = new QWebEngineView(parentWidget);
    view_->setPage(page_);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    if (parentWidget) SetBounds(parentWidget->rect());
    connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        // Chromium may reset the zoom on navigation.
        if (page_) page_->setZoomFactor(kMapZoomFactor);
        if (page_ && page_->url().toString().startsWith(
                         QString::fromUtf8(kMapOrigin.data(), int(kMapOrigin.size())))) {
            if (ok) OnPageReady();
            emit PageLoadFinished(ok);
        }
    });
    page_->setUrl(QUrl(QStringLiteral("about:blank")));
    view_->show();
    view_->setFocus(Qt::OtherFocusReason);
    PostWindowMessage(notify, UM_WEBVIEW_CREATED, 0, 0);
    return true;
}

void CWebView2Holder::SetBounds(const QRect& bounds) {
    if (!view_) return;
    view_->setGeometry(bounds);
    page_->setZoomFactor(kMapZoomFactor);
}

bool CWebView2Holder::LoadPage() {
    if (!view_ || pageLoaded_) return false;
    pageLoaded_ = true;
    // The host object exists for every document of the page before its
    // scripts run: the bridge script is injected at document creation and
    // the scheme answers with this object.
    host_ = std::make_unique<HostWebViewObject>(
        funcs_,
        [this](std::function<void()> f) {
            QTimer::singleShot(0, this, [f = std::move(f)] { f(); });
        },
        [this](int64_t id) {
            ExecuteScript("window.chrome && chrome.webview && chrome.webview.__runCallback && "
                          "chrome.webview.__runCallback(" +
                          std::to_string(id) + ")");
        });
    scheme_->SetHostObject(host_.get());
    page_->setUrl(QUrl(QString::fromUtf8(kMapPageUrl.data(), int(kMapPageUrl.size()))));
    return true;
}

void CWebView2Holder::OnPageReady() {
    if (pageReady_ || !pageLoaded_ || !page_) return;
    pageReady_ = true;
    // The scripts kept since the request, in their order, before anything
    // sent later.
    std::vector<std::string> pending;
    pending.swap(pendingScripts_);
    for (const std::string& script : pending)
        page_->runJavaScript(QString::fromStdString(script));
}

void CWebView2Holder::ExecuteScript(const std::string& script) {
    // Before the map page is asked for, the view shows about:blank: the
    // page's objects do not exist there and the script is dropped.
    if (!view_ || !page_ || !pageLoaded_) return;
    if (!pageReady_) {
        // Requested but its script has not run yet: a script run now would
        // meet about:blank or a document without the page's objects.
        if (pendingScripts_.size() < kMaxPendingScripts) pendingScripts_.push_back(script);
        return;
    }
    page_->runJavaScript(QString::fromStdString(script));
}

void CWebView2Holder::PostMapState(const MapState& state) {
    const std::string text = MapStateMessage(json_, state.latitude, state.longitude, state.status);
    latitude_ = json_.Value("map_lat");
    longitude_ = json_.Value("map_lng");
    status_ = json_.Value("map_status");
    PostWebMessageAsJson(text);
}

void CWebView2Holder::PostWebMessageAsJson(const std::string& json) {
    ExecuteScript("window.chrome && chrome.webview && chrome.webview.__deliver && "
                  "chrome.webview.__deliver(" +
                  kutil::JsonQuote(json) + ")");
}

void CWebView2Holder::OnWebMessage(const std::string& json) {
    json_.Read(json);
    latitude_ = json_.Value("map_lat");
    longitude_ = json_.Value("map_lng");
    status_ = json_.Value("map_status");
}

} // namespace kinetta::map
