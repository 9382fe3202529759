#pragma once
// The link control's text: plain text with anchors <a href="ADDRESS">TEXT</a>
// (the only markup), and the entities &amp; &lt; &gt; &quot; &#39; that the
// notice writes for texts that must not become markup. Anything else that
// looks like markup (another tag, a cut anchor) stays text.

#include <string>
#include <string_view>
#include <vector>

namespace kinetta {

struct LinkSegment {
    std::string text;  // shown text, entities decoded
    std::string href;  // the anchor's address (entities decoded)
    bool link = false; // an anchor; false for plain text
};

std::vector<LinkSegment> ParseLinkMarkup(std::string_view markup);

// Whether a clicked address may be opened: only http and https addresses
// with a host (case-insensitive scheme), no control characters or blanks.
bool IsOpenableLink(std::string_view address);

} // namespace kinetta
