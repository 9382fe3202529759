#include "kinetta/map/page_state.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWebEnginePage>

#include <memory>

namespace kinetta::map {

std::optional<QVariant> RunScriptAndWait(QWebEnginePage* page, const QString& script,
                                         int timeoutMs) {
    if (!page) return std::nullopt;
    struct Result {
        bool done = false;
        QVariant value;
    };
    auto result = std::make_shared<Result>();
    QEventLoop loop;
    QPointer<QEventLoop> alive(&loop);
    page->runJavaScript(script, [result, alive](const QVariant& v) {
        result->done = true;
        result->value = v;
        if (alive) alive->quit();
    });
    QPointer<QWebEnginePage> guard(page);
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(page, &QObject::destroyed, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    if (!result->done) loop.exec();
    if (!result->done) return std::nullopt;
    return result->value;
}

QJsonObject ReadMapPageState(QWebEnginePage* page, int timeoutMs) {
    const auto v = RunScriptAndWait(page,
                                    QStringLiteral("typeof kinettaPageState === 'function' ? "
                                                   "JSON.stringify(kinettaPageState()) : ''"),
                                    timeoutMs);
    if (!v) return {};
    return QJsonDocument::fromJson(v->toString().toUtf8()).object();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    return true;
}

bool MapSettled(const QJsonObject& s) {
    return s.value(QStringLiteral("state")).toString() == QStringLiteral("ready") &&
           s.value(QStringLiteral("mapCreated")).toBool() &&
           !s.value(QStringLiteral("tilesLoading")).toBool(true) &&
           !s.value(QStringLiteral("moving")).toBool(true);
}

} // namespace kinetta::map
