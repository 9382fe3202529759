#include "kinetta/map/map_address.h"

#include <cctype>

#include "kinetta/base/settings_store.h"

namespace kinetta::map {

MapTileSettings MakeTileSettings(std::string_view tileUrl, std::string_view attribution) {
    MapTileSettings s;
    if (!tileUrl.empty()) s.tileUrl = std::string(tileUrl);
    if (!attribution.empty()) s.attribution = std::string(attribution);
    return s;
}

MapTileSettings ReadTileSettings(const SettingsStore& settings) {
    return MakeTileSettings(settings.Read(kMapSection, kTileUrlKey),
                            settings.Read(kMapSection, kAttributionKey));
}

std::string TileServerRoot(std::string_view tmpl) {
    std::string lower;
    for (char c : tmpl.substr(0, 8))
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    size_t schemeEnd;
    if (lower.rfind("https://", 0) == 0)
        schemeEnd = 8;
    else if (lower.rfind("http://", 0) == 0)
        schemeEnd = 7;
    else
        return {};
    size_t hostEnd = tmpl.find_first_of("/?#", schemeEnd);
    if (hostEnd == std::string_view::npos) hostEnd = tmpl.size();
    const std::string_view raw = tmpl.substr(schemeEnd, hostEnd - schemeEnd);
    if (raw.empty()) return {};
    std::string authority;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw.substr(i, 3) == "{s}") {
            authority += 'a';
            i += 2;
        } else {
            authority += raw[i];
        }
    }
    // A template's other placeholders never belong in a host name, and
    // neither do blanks, credentials or control characters.
    for (unsigned char c : authority)
        if (c <= ' ' || c == '{' || c == '}' || c == '@' || c == '\\' || c >= 0x7F) return {};
    return lower.substr(0, schemeEnd) + authority + "/";
}

} // namespace kinetta::map
