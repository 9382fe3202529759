#include "kinetta/services/update_check_async.h"

#include <QCoreApplication>
#include <QDir>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"

namespace kinetta {

CUpdateCheckAsync::CUpdateCheckAsync(QObject* notify, UpdateEndpoints endpoints, FetchLimits limits)
    : endpoints_(std::move(endpoints)), limits_(limits), notify_(notify) {}

CUpdateCheckAsync::~CUpdateCheckAsync() {
    Stop();
    std::lock_guard lock(resultMutex_);
    notify_ = nullptr;
}

void CUpdateCheckAsync::StartUpdateCheck(const std::string& firmwareVersion,
                                         const std::string& gpsDataVersion,
                                         const std::string& modelKey) {
    if (started_ || abort_.Aborted()) return;
    started_ = true;
    worker_ = std::thread(&CUpdateCheckAsync::Run, this,
                          UpdateInputs{firmwareVersion, gpsDataVersion, modelKey});
}

void CUpdateCheckAsync::Stop() {
    abort_.Abort();
    if (worker_.joinable()) worker_.join();
}

void CUpdateCheckAsync::WaitForWorker() {
    if (worker_.joinable()) worker_.join();
}

std::string CUpdateCheckAsync::Message() const {
    std::lock_guard lock(resultMutex_);
    return message_;
}

void CUpdateCheckAsync::Run(UpdateInputs inputs) {
    // One deadline for the whole check (CheckFetch); Stop() still aborts at once.
    const std::string message = RunUpdateCheck(inputs, endpoints_, CheckFetch(&abort_, limits_),
                                               [this] { return abort_.Aborted(); });
    if (message.empty() || abort_.Aborted()) return;
    std::lock_guard lock(resultMutex_);
    if (!notify_) return;
    message_ = message;
    PostWindowMessage(notify_, UM_UPDATE_FOUND);
}

UpdateEndpoints InstalledUpdateEndpoints() {
    UpdateEndpoints ep;
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& path : {dir + QStringLiteral("/endpoints.ini"),
                                dir + QStringLiteral("/../share/kinetta/endpoints.ini")}) {
        if (ReadUpdateEndpoints(QDir::cleanPath(path).toStdString(), &ep)) break;
    }
    return ep;
}

} // namespace kinetta
