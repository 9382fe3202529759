#pragma once
// Addresses of the map page and its private host scheme, and the tile server
// settings ("Default_Folder.ini", section "MAP").

#include <string>
#include <string_view>

namespace kinetta {
class SettingsStore;
}

namespace kinetta::map {

// The private URL scheme that serves the map page, its library and the host
// object's calls. Only documents of kMapOrigin may call the host.
inline constexpr std::string_view kMapScheme = "kinetta-map";
inline constexpr std::string_view kMapOrigin = "kinetta-map://map";
inline constexpr std::string_view kMapPageUrl = "kinetta-map://map/map.html";
// The map library's loader: it loads the built-in Leaflet and then calls the
// function named by callback.
inline constexpr std::string_view kMapLibraryUrl = "kinetta-map://map/maplib.js?callback=loadLibs";
// Path prefix of host calls: /host/<method>?args=<JSON array>.
inline constexpr std::string_view kHostPathPrefix = "/host/";
// Path of messages the page posts (chrome.webview.postMessage).
inline constexpr std::string_view kPostMessagePath = "/message";

// Section and keys of the tile server settings.
inline constexpr std::string_view kMapSection = "MAP";
inline constexpr std::string_view kTileUrlKey = "TILEURL";
inline constexpr std::string_view kAttributionKey = "ATTRIBUTION";
inline constexpr std::string_view kDefaultTileUrl =
    "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
inline constexpr std::string_view kDefaultAttribution =
    "&copy; <a href=\"https://www.openstreetmap.org/copyright\">OpenStreetMap</a> contributors";

struct MapTileSettings {
    std::string tileUrl = std::string(kDefaultTileUrl);         // {z}/{x}/{y} template
    std::string attribution = std::string(kDefaultAttribution); // shown on the map
};

// The settings from the values read (empty values give the defaults).
MapTileSettings MakeTileSettings(std::string_view tileUrl, std::string_view attribution);
// The settings of a settings file (section "MAP"; absent keys give the defaults).
MapTileSettings ReadTileSettings(const SettingsStore& settings);

// The root address of the template's server ("scheme://host[:port]/"), which
// the reachability monitor tests; "{s}" (a subdomain choice) reads as "a".
// Empty when the template is not an http or https address with a host.
std::string TileServerRoot(std::string_view tileUrlTemplate);

} // namespace kinetta::map
