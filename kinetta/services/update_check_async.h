#pragma once
// CUpdateCheckAsync: runs the update check on its own worker thread once
// per run and tells a window when a notice is due (UM_UPDATE_FOUND, 0x87D1).
// The window then reads the notice text with Message().
//
// Threads: StartUpdateCheck, Stop and the destructor run on the UI thread; the
// worker touches only its own copies of the inputs and the endpoints, and the
// result fields below under resultMutex_. Stop() aborts a transfer in progress
// and joins the worker, so shutdown never waits on the network.
//
// The map's reachability monitor is a class of its own,
// kinetta::map::CInetConnectionAsync (kinetta/map/inet_connection.h); the two
// have different names so that no name stands for two classes in one program.

#include <QObject>

#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "kinetta/services/update_check.h"
#include "kinetta/services/update_fetch.h"

namespace kinetta {

class CUpdateCheckAsync {
public:
    // notify: the window that receives UM_UPDATE_FOUND.
    // endpoints: the deployment addresses (endpoints.ini).
    CUpdateCheckAsync(QObject* notify, UpdateEndpoints endpoints, FetchLimits limits = {});
    ~CUpdateCheckAsync();
    CUpdateCheckAsync(const CUpdateCheckAsync&) = delete;
    CUpdateCheckAsync& operator=(const CUpdateCheckAsync&) = delete;

    // Starts the check with the card's versions and model key; only the first
    // call of a run starts anything.
    void StartUpdateCheck(const std::string& firmwareVersion, const std::string& gpsDataVersion,
                          const std::string& modelKey);
    // Ends the check: a transfer in progress is aborted and the worker joined;
    // no message is posted afterwards. Safe to call more than once.
    void Stop();

    bool Started() const { return started_; }
    // The notice text of the last UM_UPDATE_FOUND (link markup, UTF-8).
    std::string Message() const;
    // Waits until the worker has finished (tests).
    void WaitForWorker();

private:
    void Run(UpdateInputs inputs);

    const UpdateEndpoints endpoints_; // read-only after construction
    const FetchLimits limits_;
    FetchAbort abort_;     // thread-safe
    bool started_ = false; // UI thread
    std::thread worker_;   // UI thread: started once, joined by Stop

    mutable std::mutex resultMutex_;
    QObject* notify_;     // guarded by resultMutex_; cleared before the window goes
    std::string message_; // guarded by resultMutex_
};

// The endpoints of the installed program: "endpoints.ini" beside the
// executable, else in the data folder of the installation
// (<prefix>/share/kinetta). Empty endpoints when neither exists.
UpdateEndpoints InstalledUpdateEndpoints();

} // namespace kinetta
