#include "kinetta/services/update_check.h"

#include <unistd.h>

#include "kinetta/base/ui_strings.h"
#include "platform/file_io.h"
#include "util/text.h"

namespace kinetta {

namespace {

// The value of key in section of a private-profile text: names match without
// regard to ASCII case, blanks around names and values are trimmed, one pair of
// quotes around a value is removed, the first of duplicates wins.
std::string ProfileValue(std::string_view data, std::string_view section, std::string_view key) {
    bool inSection = false;
    while (!data.empty()) {
        const size_t nl = data.find('\n');
        std::string_view line = kutil::TrimBlanks(data.substr(0, nl));
        data = nl == std::string_view::npos ? std::string_view() : data.substr(nl + 1);
        if (!line.empty() && line.back() == '\r')
            line = kutil::TrimBlanks(line.substr(0, line.size() - 1));
        if (line.size() >= 2 && line.front() == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos) continue;
            if (inSection) return {}; // the first section of that name only
            inSection = kutil::EqualsNoCase(kutil::TrimBlanks(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection || line.empty() || line.front() == ';') continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos ||
            !kutil::EqualsNoCase(kutil::TrimBlanks(line.substr(0, eq)), key))
            continue;
        std::string_view v = kutil::TrimBlanks(line.substr(eq + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return std::string(v);
    }
    return {};
}

// A deployment file is small; more than this is no endpoints file.
constexpr size_t kMaxEndpointsFileBytes = 64 * 1024;

} // namespace

bool ReadUpdateEndpoints(const std::string& path, UpdateEndpoints* out) {
    *out = {};
    const int fd = platform::OpenRegularForReading(path);
    if (fd < 0) return false;
    std::string data;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && data.size() <= kMaxEndpointsFileBytes)
        data.append(buf, static_cast<size_t>(n));
    ::close(fd);
    if (n < 0 || data.size() > kMaxEndpointsFileBytes) return false;
    auto read = [&](std::string_view key) { return ProfileValue(data, "ENDPOINTS", key); };
    out->firmwareVersionTx40 = read("FIRMWARE_VERSION_TX40");
    out->firmwarePageTx40 = read("FIRMWARE_PAGE_TX40");
    out->firmwareVersionTx50 = read("FIRMWARE_VERSION_TX50");
    out->firmwarePageTx50 = read("FIRMWARE_PAGE_TX50");
    out->viewerVersion = read("VIEWER_VERSION");
    out->viewerPage = read("VIEWER_PAGE");
    out->gpsDataVersion = read("GPSDATA_VERSION");
    out->gpsDataPage = read("GPSDATA_PAGE");
    return true;
}

// ---- pieces of a response ----

void FetchPieces::Feed(const char* data, size_t size) {
    while (size > 0) {
        const size_t take = std::min(size, kFetchPieceBytes - current_.size());
        current_.append(data, take);
        data += take;
        size -= take;
        if (current_.size() == kFetchPieceBytes) {
            if (!firstDone_) {
                first_ = current_;
                firstDone_ = true;
            }
            last_.swap(current_);
            current_.clear();
        }
    }
}

void FetchPieces::Finish() {
    if (current_.empty()) return;
    if (!firstDone_) {
        first_ = current_;
        firstDone_ = true;
    }
    last_.swap(current_);
    current_.clear();
}

// ---- UTF-8 ----

namespace {

// Decodes one character at s[i]; returns its length in bytes, 0 when the
// bytes there are no valid UTF-8 sequence. *cp receives the code point.
size_t DecodeOne(std::string_view s, size_t i, unsigned* cp) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    size_t extra;
    unsigned v;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        v = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        v = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        v = c & 0x07;
    } else {
        return 0;
    }
    if (extra >= s.size() - i) return 0;
    for (size_t k = 1; k <= extra; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) return 0;
        v = (v << 6) | (d & 0x3F);
    }
    static const unsigned kMin[] = {0, 0x80, 0x800, 0x10000};
    if (v < kMin[extra] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *cp = v;
    return extra + 1;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

} // namespace

std::string SanitizeUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned cp;
        const size_t n = DecodeOne(bytes, i, &cp);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

size_t Utf16Length(std::string_view utf8) {
    size_t units = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned cp = 0;
        const size_t n = DecodeOne(utf8, i, &cp);
        units += cp >= 0x10000 ? 2 : 1;
        i += n ? n : 1;
    }
    return units;
}

std::string_view Utf16Prefix(std::string_view utf8, size_t units) {
    size_t used = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned cp = 0;
        size_t n = DecodeOne(utf8, i, &cp);
        if (n == 0) n = 1;
        const size_t w = cp >= 0x10000 ? 2 : 1;
        if (used + w > units) break;
        used += w;
        i += n;
    }
    return utf8.substr(0, i);
}

namespace {

bool Printable(unsigned cp) {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return false; // C0, DEL, C1
    if (cp == 0x2028 || cp == 0x2029) return false;            // line and paragraph separators
    // The bidirectional controls: marks, embeddings, overrides and isolates.
    if (cp == 0x061C || cp == 0x200E || cp == 0x200F) return false;
    if ((cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069)) return false;
    return true;
}

} // namespace

std::string PrintableText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned cp = 0;
        const size_t n = DecodeOne(utf8, i, &cp);
        if (n == 0) { // not UTF-8 after all: dropped like a control
            ++i;
            continue;
        }
        if (Printable(cp)) out.append(utf8.substr(i, n));
        i += n;
    }
    return out;
}

bool FetchedText(const FetchPieces& pieces, std::string_view marker, std::string* text) {
    std::string result;
    if (!marker.empty()) {
        const std::string first = SanitizeUtf8(pieces.First());
        const size_t at = first.find(marker);
        if (at == std::string::npos) return false;
        result = first.substr(at + marker.size());
    } else {
        result = SanitizeUtf8(pieces.Last());
    }
    if (Utf16Length(result) > kMaxFetchedUnits) return false;
    *text = PrintableText(result);
    return true;
}

// ---- comparison forms ----

std::string NormaliseFirmwareVersion(std::string_view text) {
    std::string out;
    int dots = 0;
    for (char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) continue;
        if (c == '.' && ++dots == 3) break;
        out += c;
    }
    return out;
}

std::string GpsDataSlashForm(std::string_view text) {
    std::string out;
    size_t position = 0; // characters, counted from 0
    size_t i = 0;
    while (i < text.size()) {
        unsigned cp;
        size_t n = DecodeOne(text, i, &cp);
        if (n == 0) n = 1;
        out.append(text.substr(i, n));
        i += n;
        if (position % 2 == 1 && position != 5) out += '/';
        ++position;
    }
    return out;
}

std::string EscapeMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// ---- the notice ----

std::string FormatUpdateMessage(const std::vector<UpdateBlock>& blocks) {
    if (blocks.empty()) return {};
    const std::string current(UiString(kStrCurrentVersion));
    const std::string offered(UiString(kStrOfferedVersion));
    // "%s:\r\n%s%s   →   %s%s\r\n\r\nURL : <a href=\"%s\">%s</a>"
    auto block = [&](const UpdateBlock& b) {
        const std::string page = EscapeMarkup(b.page);
        return b.title + ":\r\n" + current + EscapeMarkup(b.current) + "   \u2192   " + offered +
               EscapeMarkup(b.offered) + "\r\n\r\nURL : <a href=\"" + page + "\">" + page + "</a>";
    };
    std::string text = std::string(UiString(kStrUpdateHead)) + "\r\n\r\n" + block(blocks[0]);
    if (blocks.size() >= 2) text += "\r\n\r\n\r\n" + block(blocks[1]) + "\r\n";
    if (blocks.size() >= 3) text += "\r\n\r\n" + block(blocks[2]) + "\r\n";
    // The notice holds at most 1299 UTF-16 units.
    return std::string(Utf16Prefix(text, kMaxMessageUnits));
}

std::string RunUpdateCheck(const UpdateInputs& inputs, const UpdateEndpoints& endpoints,
                           const TextFetch& fetch, const std::function<bool()>& stop) {
    auto stopped = [&] { return stop && stop(); };
    std::vector<UpdateBlock> blocks;

    // Firmware of the card's model.
    const std::string* firmwareFile = nullptr;
    const std::string* firmwarePage = nullptr;
    if (inputs.modelKey == kModelKeyTx40) {
        firmwareFile = &endpoints.firmwareVersionTx40;
        firmwarePage = &endpoints.firmwarePageTx40;
    } else if (inputs.modelKey == kModelKeyTx50) {
        firmwareFile = &endpoints.firmwareVersionTx50;
        firmwarePage = &endpoints.firmwarePageTx50;
    }
    std::string text;
    if (firmwareFile && !firmwareFile->empty() && !stopped() &&
        fetch(*firmwareFile, kVersionMarker, &text) && !inputs.firmwareVersion.empty()) {
        const std::string known = NormaliseFirmwareVersion(inputs.firmwareVersion);
        const std::string fetched = NormaliseFirmwareVersion(text);
        if (known != fetched)
            blocks.push_back(
                {std::string(UiString(kStrFirmwareTitle)), known, fetched, *firmwarePage});
    }

    // The viewer: exact comparison, no normalisation.
    if (!endpoints.viewerVersion.empty() && !stopped() &&
        fetch(endpoints.viewerVersion, kVersionMarker, &text) && text != kViewerVersion)
        blocks.push_back({std::string(UiString(kStrViewerTitle)), std::string(kViewerVersion), text,
                          endpoints.viewerPage});

    // GPS data: a failed fetch ends the check without a notice.
    if (!inputs.gpsDataVersion.empty() && !endpoints.gpsDataVersion.empty()) {
        if (stopped() || !fetch(endpoints.gpsDataVersion, {}, &text)) return {};
        const std::string known = GpsDataSlashForm(inputs.gpsDataVersion);
        const std::string fetched = GpsDataSlashForm(text);
        if (known != fetched)
            blocks.push_back(
                {std::string(UiString(kStrGpsDataTitle)), known, fetched, endpoints.gpsDataPage});
    }
    if (stopped()) return {};
    return FormatUpdateMessage(blocks);
}

} // namespace kinetta
