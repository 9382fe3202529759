#pragma once
// FetchText: one HTTP GET of a version file through libcurl (proxies from the
// usual environment variables), with connect and transfer time-outs and an
// abort that another thread can use, so that shutdown never waits for a
// server that does not answer.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>

#include "kinetta/services/update_check.h"

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

// The whole update check, every fetch included, ends this long after it
// starts: servers that accept and never answer cost the check this much, not
// one transfer time-out per version file in turn.
inline constexpr std::chrono::milliseconds kUpdateCheckBudget{10000};

struct FetchLimits {
    long connectTimeoutMs = 10000;  // to reach the server
    long transferTimeoutMs = 30000; // the whole request, connect included
    // The whole check's deadline: a fetch ends by then at the latest, and a
    // fetch asked for after it fails without a request. None by default.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

// GETs address (http or https only; redirects followed within those) with
// "Accept: */*" and returns the version text (FetchedText in
// update_check.h): with a marker the text after it in the first 1024-byte
// piece, without one the last piece. False on a failed connection, an HTTP
// status of 400 or above, a time-out, an abort, a missing marker or a text
// longer than 259 UTF-16 units.
bool FetchText(const std::string& address, std::string_view marker, std::string* text,
               FetchAbort* abort = nullptr, const FetchLimits& limits = {});

// The fetch of one whole update check (RunUpdateCheck): FetchText with
// limits, and one deadline for all its fetches, budget after this call.
// abort (may be null) must outlive the returned function.
TextFetch CheckFetch(FetchAbort* abort, FetchLimits limits = {},
                     std::chrono::milliseconds budget = kUpdateCheckBudget);

} // namespace kinetta
