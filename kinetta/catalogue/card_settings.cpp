#include "kinetta/catalogue/card_settings.h"

#include <unistd.h>

#include <cstdio>

#include "platform/file_io.h"
#include "platform/files.h"
#include "util/text.h"

namespace kinetta {

bool ParseCardSettings(const uint8_t* data, size_t size, CardSettings* out) {
    if (!data || size < kCardSettingsMinSize) return false;
    const char* head = reinterpret_cast<const char*>(data);
    out->field16.assign(head + 16, 8);
    out->field24.assign(head + 24, 3);
    out->gpsDataVersion.assign(head + 33, 6);
    return true;
}

bool ReadCardSettings(const std::string& root, CardSettings* out) {
    std::string path = platform::FindInFolder(root, "DRFormatConfig.dfc");
    if (path.empty()) return false;
    // Only a regular file: a FIFO would block the open.
    const int fd = platform::OpenRegularForReading(path);
    if (fd < 0) return false;
    uint8_t head[kCardSettingsMinSize];
    const bool read = platform::ReadExactlyAt(fd, 0, head, sizeof head); // false: shorter
    ::close(fd);
    return read && ParseCardSettings(head, sizeof head, out);
}

std::string GpsDataVersionText(const std::string& field) {
    if (field.find_first_not_of(' ') == std::string::npos) return {};
    // The C library's leading-digits rule: "12345 " reads as 12345.
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06d", kutil::LeadingInt(field));
    return buf;
}

} // namespace kinetta
