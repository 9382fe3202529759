#pragma once
// FolderScanner: the scan of one folder (a folder switch) on a worker thread
// of its own, so that the user interface never waits for the card. The latest
// request wins: a request made while a scan runs replaces any that waits, and
// the result of a scan that was overtaken (or cancelled) is dropped. The
// worker starts with the first request and ends with Stop (or the scanner).

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

class FolderScanner {
public:
    // Called on the worker thread with the request's serial and the folder's
    // recordings, as Catalogue::OpenSource(path, kSourceFolder) lists them.
    using Done = std::function<void(unsigned serial, std::vector<RecordingEntry> entries)>;

    FolderScanner() = default;
    ~FolderScanner(); // Stop()
    FolderScanner(const FolderScanner&) = delete;
    FolderScanner& operator=(const FolderScanner&) = delete;

    // Returns at once with the request's serial (never 0); 0 after Stop.
    unsigned Scan(std::string path, RecorderFamily family, RecordingProbe probe, Done done);
    // The scans asked for so far report nothing.
    void Cancel();
    // Ends the worker (waiting for the scan under way); later requests do nothing.
    void Stop();

private:
    struct Request {
        unsigned serial = 0;
        std::string path;
        RecorderFamily family = RecorderFamily::TX40;
        RecordingProbe probe;
        Done done;
    };
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Request> next_; // guarded by mutex_
    unsigned serial_ = 0;         // guarded by mutex_; the latest request
    bool stop_ = false;           // guarded by mutex_
    std::thread worker_;          // started by the first Scan, joined by Stop
};

} // namespace kinetta
