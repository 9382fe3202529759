#pragma once
// The reachability test of the map's tile server over libcurl: one request
// for the server's root address. Proxies come from the usual environment
// variables (http_proxy, https_proxy, no_proxy), as libcurl reads them.

#include <atomic>
#include <string>

#include "kinetta/map/inet_connection.h"

namespace kinetta::map {

// True when the server at rootUrl gave any HTTP answer within the time
// limits (3 s to connect, 5 s in all); false at once for an empty address.
// Gives up soon once stop reads true.
bool ProbeTileServer(const std::string& rootUrl, const std::atomic<bool>& stop);

// The monitor's probe for the tile server of tileUrlTemplate.
CInetConnectionAsync::Probe TileServerProbe(const std::string& tileUrlTemplate);

} // namespace kinetta::map
