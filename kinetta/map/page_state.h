#pragma once
// Reading the map page's state from the program: a script's result awaited
// in a local event loop, and the page's own summary (kinettaPageState: state,
// stretches, polylines, marker, pins, tiles). Used by the command line, the
// tests and the figures; UI thread only.

#include <QJsonObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

class QWebEnginePage;

namespace kinetta::map {

// Runs script in page and waits (events processed) for its result; nothing
// when the page goes away or timeoutMs passes first.
std::optional<QVariant> RunScriptAndWait(QWebEnginePage* page, const QString& script,
                                         int timeoutMs = 10000);

// The page's summary as an object; empty when the page cannot answer.
QJsonObject ReadMapPageState(QWebEnginePage* page, int timeoutMs = 10000);

// Processes events until done() holds or timeoutMs passes; true when it held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// Whether the summary says the map is ready with every tile in view loaded
// and no pan or zoom under way.
bool MapSettled(const QJsonObject& summary);

} // namespace kinetta::map
