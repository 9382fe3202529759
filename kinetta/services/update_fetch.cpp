#include "kinetta/services/update_fetch.h"

#include <dlfcn.h>

#include <algorithm>

#include <curl/curl.h>

#include "kinetta/services/update_check.h"

namespace kinetta {

namespace {

// libcurl is opened when the first fetch needs it, not at program start: the
// command line's pure commands share this library and would otherwise load
// libcurl and its thirty-odd dependencies on every call (most of their start-up
// time). Null when libcurl cannot be opened; a fetch then fails.
struct CurlApi {
    CURLcode (*global_init)(long);
    CURL* (*easy_init)();
    void (*easy_cleanup)(CURL*);
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLM* (*multi_init)();
    CURLMcode (*multi_cleanup)(CURLM*);
    CURLMcode (*multi_add_handle)(CURLM*, CURL*);
    CURLMcode (*multi_remove_handle)(CURLM*, CURL*);
    CURLMcode (*multi_perform)(CURLM*, int*);
    CURLMcode (*multi_poll)(CURLM*, curl_waitfd[], unsigned, int, int*);
    CURLMcode (*multi_wakeup)(CURLM*);
    CURLMsg* (*multi_info_read)(CURLM*, int*);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);
};

template <typename F> bool Bind(void* lib, const char* name, F* fn) {
    *fn = reinterpret_cast<F>(dlsym(lib, name));
    return *fn != nullptr;
}

const CurlApi* LoadCurl() {
    static const CurlApi* const api = []() -> const CurlApi* {
        void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return nullptr;
        static CurlApi a{};
        const bool ok = Bind(lib, "curl_global_init", &a.global_init) &&
                        Bind(lib, "curl_easy_init", &a.easy_init) &&
                        Bind(lib, "curl_easy_cleanup", &a.easy_cleanup) &&
                        Bind(lib, "curl_easy_setopt", &a.easy_setopt) &&
                        Bind(lib, "curl_multi_init", &a.multi_init) &&
                        Bind(lib, "curl_multi_cleanup", &a.multi_cleanup) &&
                        Bind(lib, "curl_multi_add_handle", &a.multi_add_handle) &&
                        Bind(lib, "curl_multi_remove_handle", &a.multi_remove_handle) &&
                        Bind(lib, "curl_multi_perform", &a.multi_perform) &&
                        Bind(lib, "curl_multi_poll", &a.multi_poll) &&
                        Bind(lib, "curl_multi_wakeup", &a.multi_wakeup) &&
                        Bind(lib, "curl_multi_info_read", &a.multi_info_read) &&
                        Bind(lib, "curl_slist_append", &a.slist_append) &&
                        Bind(lib, "curl_slist_free_all", &a.slist_free_all);
        if (!ok) return nullptr;
        a.global_init(CURL_GLOBAL_DEFAULT);
        return &a;
    }();
    return api;
}

} // namespace

void FetchAbort::Abort() {
    aborted_.store(true);
    std::lock_guard lock(mutex_);
    // A transfer is attached only after libcurl was opened.
    if (multi_) LoadCurl()->multi_wakeup(static_cast<CURLM*>(multi_));
}

bool FetchAbort::Attach(void* multi) {
    std::lock_guard lock(mutex_);
    if (aborted_.load()) return false;
    multi_ = multi;
    return true;
}

void FetchAbort::Detach() {
    std::lock_guard lock(mutex_);
    multi_ = nullptr;
}

namespace {

struct Transfer {
    FetchPieces pieces;
    bool firstOnly = false; // with a marker only the first piece is read
    bool stoppedEarly = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    t->pieces.Feed(data, bytes);
    if (t->firstOnly && t->pieces.FirstComplete()) {
        t->stoppedEarly = true;
        return 0; // anything but `bytes` ends the transfer
    }
    return bytes;
}

} // namespace

bool FetchText(const std::string& address, std::string_view marker, std::string* text,
               FetchAbort* abort, const FetchLimits& limits) {
    if (abort && abort->Aborted()) return false;
    // What is left of the check's deadline bounds both time-outs (libcurl
    // reads 0 as "none", so a spent deadline fails here without a request).
    long connectMs = limits.connectTimeoutMs, transferMs = limits.transferTimeoutMs;
    if (limits.deadline != std::chrono::steady_clock::time_point::max()) {
        const long left = static_cast<long>(std::chrono::ceil<std::chrono::milliseconds>(
                                                limits.deadline - std::chrono::steady_clock::now())
                                                .count());
        if (left <= 0) return false;
        connectMs = std::min(connectMs, left);
        transferMs = std::min(transferMs, left);
    }
    const CurlApi* curl = LoadCurl();
    if (!curl) return false;
    CURL* easy = curl->easy_init();
    if (!easy) return false;
    CURLM* multi = curl->multi_init();
    if (!multi) {
        curl->easy_cleanup(easy);
        return false;
    }

    Transfer t;
    t.firstOnly = !marker.empty();
    curl_slist* headers = curl->slist_append(nullptr, "Accept: */*");
    curl->easy_setopt(easy, CURLOPT_URL, address.c_str());
    curl->easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl->easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl->easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl->easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl->easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl->easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl->easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    curl->easy_setopt(easy, CURLOPT_TIMEOUT_MS, transferMs);
    curl->easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Cleanup does not wait for a name lookup still running.
    curl->easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl->easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    curl->easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl->multi_add_handle(multi, easy);

    bool attached = !abort || abort->Attach(multi);
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    if (attached) {
        int running = 1;
        while (!(abort && abort->Aborted())) {
            if (curl->multi_perform(multi, &running) != CURLM_OK) break;
            if (running == 0) {
                int left = 0;
                while (CURLMsg* msg = curl->multi_info_read(multi, &left))
                    if (msg->msg == CURLMSG_DONE) result = msg->data.result;
                break;
            }
            // At most a second between checks; Abort() wakes the wait at once.
            if (curl->multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK) break;
        }
        if (abort) abort->Detach();
    }
    const bool aborted = abort && abort->Aborted();
    curl->multi_remove_handle(multi, easy);
    curl->easy_cleanup(easy);
    curl->multi_cleanup(multi);
    curl->slist_free_all(headers);

    if (aborted) return false;
    const bool complete = result == CURLE_OK || (result == CURLE_WRITE_ERROR && t.stoppedEarly);
    if (!complete) return false;
    t.pieces.Finish();
    return FetchedText(t.pieces, marker, text);
}

TextFetch CheckFetch(FetchAbort* abort, FetchLimits limits, std::chrono::milliseconds budget) {
    limits.deadline = std::min(limits.deadline, std::chrono::steady_clock::now() + budget);
    return [abort, limits](const std::string& address, std::string_view marker, std::string* text) {
        return FetchText(address, marker, text, abort, limits);
    };
}

} // namespace kinetta
