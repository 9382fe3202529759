#include "kinetta/map/map_scheme.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QUrlQuery>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include <unistd.h>

#include <cstdlib>

#include "kinetta/map/host_object.h"
#include "util/json_text.h"

namespace kinetta::map {

namespace {

const QString kResourceRoot = QStringLiteral(":/kinetta/map/");

void Reply(QWebEngineUrlRequestJob* job, const QByteArray& mime, const QByteArray& body) {
    auto* buffer = new QBuffer(job);
    buffer->setData(body);
    buffer->open(QIODevice::ReadOnly);
    job->reply(mime, buffer);
}

bool ReplyResource(QWebEngineUrlRequestJob* job, const QString& name, const QByteArray& mime) {
    QFile f(kResourceRoot + name);
    if (!f.open(QIODevice::ReadOnly)) return false;
    Reply(job, mime, f.readAll());
    return true;
}

QByteArray MimeOf(const QString& path) {
    if (path.endsWith(".html")) return "text/html;charset=utf-8";
    if (path.endsWith(".js")) return "text/javascript;charset=utf-8";
    if (path.endsWith(".css")) return "text/css;charset=utf-8";
    if (path.endsWith(".png")) return "image/png";
    return "text/plain;charset=utf-8";
}

} // namespace

void RegisterMapUrlScheme() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    QWebEngineUrlScheme scheme(QByteArray::fromStdString(std::string(kMapScheme)));
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Not marked secure: a page of a secure origin would have plain-http tile
    // addresses upgraded or blocked as mixed content.
    scheme.setFlags(QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

namespace {
bool gPrepared = false; // set once, before the application exists
} // namespace

bool WebEngineProcessPrepared() {
    return gPrepared;
}

void PrepareWebEngineProcess() {
    gPrepared = true;
    RegisterMapUrlScheme();
    // The browser's compositor shares GL resources with the application's.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Chromium refuses its sandbox to the superuser.
    if (::geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX"))
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
}

MapSchemeHandler::MapSchemeHandler(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

QByteArray MapSchemeHandler::LoaderScript(const QString& callback, const MapTileSettings& tiles) {
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_$][A-Za-z0-9_$]{0,63}$"));
    const QString name =
        identifier.match(callback).hasMatch() ? callback : QStringLiteral("loadLibs");
    QFile f(kResourceRoot + QStringLiteral("maplib.js"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QByteArray text = f.readAll();
    kutil::Json settings = kutil::Json::object();
    settings["url"] = tiles.tileUrl;
    settings["attribution"] = tiles.attribution;
    text.replace("@TILES@", QByteArray::fromStdString(kutil::JsonLine(settings)));
    text.replace("@CALLBACK@", QByteArray::fromStdString(kutil::JsonQuote(name.toStdString())));
    return text;
}

void MapSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    const QString origin = QString::fromUtf8(kMapOrigin.data(), int(kMapOrigin.size()));
    if (url.host() != QStringLiteral("map") || job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::UrlInvalid);
        return;
    }
    // Callers: the page's own documents, or the program itself (navigation
    // without an initiator). Any other origin gets nothing.
    const QString initiator =
        job->initiator().toString(QUrl::RemovePath | QUrl::StripTrailingSlash);
    const bool fromPage = initiator == origin;
    const bool fromProgram = job->initiator().isEmpty();
    const QString path = url.path();
    const QString hostPrefix =
        QString::fromUtf8(kHostPathPrefix.data(), int(kHostPathPrefix.size()));

    if (path.startsWith(hostPrefix)) {
        std::string answer;
        if (!fromPage || !host_) {
            ++refused_;
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        const std::string method = path.mid(hostPrefix.size()).toStdString();
        const std::string args =
            QUrlQuery(url).queryItemValue(QStringLiteral("args"), QUrl::FullyDecoded).toStdString();
        if (!host_->Invoke(method, args, &answer)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        ++hostCalls_;
        Reply(job, "application/json", QByteArray::fromStdString(answer));
        if (hostCallObserver_) hostCallObserver_();
        return;
    }
    if (path == QString::fromUtf8(kPostMessagePath.data(), int(kPostMessagePath.size()))) {
        if (!fromPage) {
            ++refused_;
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        if (receiver_)
            receiver_(QUrlQuery(url)
                          .queryItemValue(QStringLiteral("m"), QUrl::FullyDecoded)
                          .toStdString());
        Reply(job, "application/json", "{}");
        return;
    }
    if (!fromPage && !fromProgram) {
        ++refused_;
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    if (path == QStringLiteral("/maplib.js")) {
        const QString callback = QUrlQuery(url).queryItemValue(QStringLiteral("callback"));
        Reply(job, MimeOf(path), LoaderScript(callback, tiles_));
        return;
    }
    static const QRegularExpression served(QStringLiteral(
        "^/(map\\.html|leaflet/(leaflet\\.js|leaflet\\.css|LICENSE|images/[a-z0-9-]+\\.png))$"));
    if (served.match(path).hasMatch() && ReplyResource(job, path.mid(1), MimeOf(path))) return;
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
}

} // namespace kinetta::map
