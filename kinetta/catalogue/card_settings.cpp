#include "kinetta/catalogue/card_settings.h"

#include <cstdio>
#include <fstream>

#include "platform/files.h"
#include "util/text.h"

namespace kinetta {

bool ReadCardSettings(const std::string& root, CardSettings* out) {
    std::string path = platform::FindInFolder(root, "DRFormatConfig.dfc");
    if (path.empty()) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    char head[kCardSettingsMinSize];
    if (!in.read(head, sizeof head)) return false; // shorter than 42 bytes
    out->field16.assign(head + 16, 8);
    out->field24.assign(head + 24, 3);
    out->gpsDataVersion.assign(head + 33, 6);
    return true;
}

std::string GpsDataVersionText(const std::string& field) {
    if (field.find_first_not_of(' ') == std::string::npos) return {};
    // The C library's leading-digits rule: "12345 " reads as 12345.
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06d", kutil::LeadingInt(field));
    return buf;
}

} // namespace kinetta
