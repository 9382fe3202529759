#include "kinetta/services/link_markup.h"

#include "util/text.h"

namespace kinetta {

namespace {

std::string DecodeEntities(std::string_view s) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}};
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        bool matched = false;
        if (s[i] == '&') {
            for (const auto& [name, c] : kEntities) {
                if (s.substr(i, name.size()) == name) {
                    out += c;
                    i += name.size();
                    matched = true;
                    break;
                }
            }
        }
        if (!matched) out += s[i++];
    }
    return out;
}

void AppendText(std::vector<LinkSegment>* out, std::string_view raw) {
    if (raw.empty()) return;
    if (!out->empty() && !out->back().link)
        out->back().text += DecodeEntities(raw);
    else
        out->push_back({DecodeEntities(raw), {}, false});
}

} // namespace

std::vector<LinkSegment> ParseLinkMarkup(std::string_view m) {
    std::vector<LinkSegment> out;
    constexpr std::string_view kOpen = "<a href=\"";
    constexpr std::string_view kClose = "</a>";
    size_t pos = 0;
    while (pos < m.size()) {
        const size_t open = m.find(kOpen, pos);
        if (open == std::string_view::npos) break;
        const size_t hrefStart = open + kOpen.size();
        const size_t hrefEnd = m.find('"', hrefStart);
        if (hrefEnd == std::string_view::npos || hrefEnd + 1 >= m.size() || m[hrefEnd + 1] != '>')
            break; // a cut or odd anchor: the rest is text
        const size_t textStart = hrefEnd + 2;
        const size_t close = m.find(kClose, textStart);
        if (close == std::string_view::npos) break;
        AppendText(&out, m.substr(pos, open - pos));
        out.push_back({DecodeEntities(m.substr(textStart, close - textStart)),
                       DecodeEntities(m.substr(hrefStart, hrefEnd - hrefStart)), true});
        pos = close + kClose.size();
    }
    AppendText(&out, m.substr(pos));
    return out;
}

bool IsOpenableLink(std::string_view a) {
    for (char c : a)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    size_t rest;
    if (kutil::EqualsNoCase(a.substr(0, 7), "http://"))
        rest = 7;
    else if (kutil::EqualsNoCase(a.substr(0, 8), "https://"))
        rest = 8;
    else
        return false;
    // A host must follow.
    return rest < a.size() && a[rest] != '/' && a[rest] != '?' && a[rest] != '#';
}

} // namespace kinetta
