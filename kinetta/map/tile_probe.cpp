#include "kinetta/map/tile_probe.h"

#include <curl/curl.h>

#include <mutex>

#include "kinetta/map/map_address.h"

#ifndef KINETTA_VERSION
#define KINETTA_VERSION "0"
#endif

namespace kinetta::map {

namespace {

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

int Progress(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

} // namespace

bool ProbeTileServer(const std::string& rootUrl, const std::atomic<bool>& stop) {
    if (rootUrl.empty()) return false;
    static std::once_flag init;
    std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl) return false;
    curl_easy_setopt(curl, CURLOPT_URL, rootUrl.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 3000L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "kinetta/" KINETTA_VERSION);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&stop));
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    return rc == CURLE_OK && status > 0;
}

CInetConnectionAsync::Probe TileServerProbe(const std::string& tileUrlTemplate) {
    const std::string root = TileServerRoot(tileUrlTemplate);
    return [root](const std::atomic<bool>& stop) { return ProbeTileServer(root, stop); };
}

} // namespace kinetta::map
