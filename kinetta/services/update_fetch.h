#pragma once
// FetchText: one HTTP GET of a version file through libcurl (proxies from the
// usual environment variables), with connect and transfer time-outs and an
// abort that another thread can use, so that shutdown never waits for a
// server that does not answer.

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

namespace kinetta {

// Lets one thread end the transfers of another at once. Once Abort() has
// been called every FetchText given this object fails without a request.
class FetchAbort {
public:
    FetchAbort() = default;
    FetchAbort(const FetchAbort&) = delete;
    FetchAbort& operator=(const FetchAbort&) = delete;

    // Any thread: ends the transfer in progress (within milliseconds) and
    // every later one.
    void Abort();
    bool Aborted() const { return aborted_.load(); }

    // The transfer in progress registers its multi handle here so that
    // Abort() can wake it; false when the abort has already happened.
    bool Attach(void* multi);
    void Detach();

private:
    std::atomic<bool> aborted_{false};
    std::mutex mutex_;
    void* multi_ = nullptr; // guarded by mutex_: the CURLM* of the transfer in progress
};

struct FetchLimits {
    long connectTimeoutMs = 10000;  // to reach the server
    long transferTimeoutMs = 30000; // the whole request, connect included
};

// GETs address (http or https only; redirects followed within those) with
// "Accept: */*" and returns the version text (FetchedText in
// update_check.h): with a marker the text after it in the first 1024-byte
// piece, without one the last piece. False on a failed connection, an HTTP
// status of 400 or above, a time-out, an abort, a missing marker or a text
// longer than 259 UTF-16 units.
bool FetchText(const std::string& address, std::string_view marker, std::string* text,
               FetchAbort* abort = nullptr, const FetchLimits& limits = {});

} // namespace kinetta
