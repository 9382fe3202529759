#include "kinetta/services/update_fetch.h"

#include <curl/curl.h>

#include "kinetta/services/update_check.h"

namespace kinetta {

void FetchAbort::Abort() {
    aborted_.store(true);
    std::lock_guard lock(mutex_);
    if (multi_) curl_multi_wakeup(static_cast<CURLM*>(multi_));
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

void GlobalInit() {
    static const CURLcode once = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)once;
}

} // namespace

bool FetchText(const std::string& address, std::string_view marker, std::string* text,
               FetchAbort* abort, const FetchLimits& limits) {
    if (abort && abort->Aborted()) return false;
    GlobalInit();
    CURL* easy = curl_easy_init();
    if (!easy) return false;
    CURLM* multi = curl_multi_init();
    if (!multi) {
        curl_easy_cleanup(easy);
        return false;
    }

    Transfer t;
    t.firstOnly = !marker.empty();
    curl_slist* headers = curl_slist_append(nullptr, "Accept: */*");
    curl_easy_setopt(easy, CURLOPT_URL, address.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limits.transferTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Cleanup does not wait for a name lookup still running.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_multi_add_handle(multi, easy);

    bool attached = !abort || abort->Attach(multi);
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    if (attached) {
        int running = 1;
        while (!(abort && abort->Aborted())) {
            if (curl_multi_perform(multi, &running) != CURLM_OK) break;
            if (running == 0) {
                int left = 0;
                while (CURLMsg* msg = curl_multi_info_read(multi, &left))
                    if (msg->msg == CURLMSG_DONE) result = msg->data.result;
                break;
            }
            // At most a second between checks; Abort() wakes the wait at once.
            if (curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK) break;
        }
        if (abort) abort->Detach();
    }
    const bool aborted = abort && abort->Aborted();
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);

    if (aborted) return false;
    const bool complete = result == CURLE_OK || (result == CURLE_WRITE_ERROR && t.stoppedEarly);
    if (!complete) return false;
    t.pieces.Finish();
    return FetchedText(t.pieces, marker, text);
}

} // namespace kinetta
