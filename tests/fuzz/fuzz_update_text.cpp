// Fuzz target: a version file's bytes as the update check reads them (the
// 1024-byte pieces in chunks of any size, the marker, the UTF-8 repair, the
// length limit, the printable-text filter), the comparison forms, the notice built from the result
// and the link control's reading of that notice.

#include <cstdint>
#include <string>

#include "kinetta/services/link_markup.h"
#include "kinetta/services/update_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kinetta;
    const char* bytes = reinterpret_cast<const char*>(data);
    // The first byte chooses the chunk size of the transfer.
    const size_t chunk = size ? 1 + data[0] % 200 : 1;
    FetchPieces pieces;
    for (size_t at = 0; at < size; at += chunk)
        pieces.Feed(bytes + at, std::min(chunk, size - at));
    pieces.Finish();
    if (pieces.First().size() > kFetchPieceBytes || pieces.Last().size() > kFetchPieceBytes)
        __builtin_trap();
    for (std::string_view marker : {std::string_view(kVersionMarker), std::string_view()}) {
        std::string text;
        if (!FetchedText(pieces, marker, &text)) continue;
        // Bounded, valid UTF-8, and only printable text: no line break, control
        // or bidirectional control reaches the notice.
        if (Utf16Length(text) > kMaxFetchedUnits || SanitizeUtf8(text) != text ||
            PrintableText(text) != text)
            __builtin_trap();
        const std::string message = FormatUpdateMessage(
            {{"t", NormaliseFirmwareVersion(text), GpsDataSlashForm(text), text}});
        if (Utf16Length(message) > kMaxMessageUnits) __builtin_trap();
        // The fetched text appears in the notice only escaped: every link is
        // the one the notice itself wrote.
        const std::vector<LinkSegment> segments = ParseLinkMarkup(message);
        int links = 0;
        for (const LinkSegment& s : segments)
            links += s.link;
        if (links > 1) __builtin_trap();
        IsOpenableLink(text);
    }
    ParseLinkMarkup(std::string_view(bytes, size));
    return 0;
}
