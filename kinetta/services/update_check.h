#pragma once
// The update check: once per run the viewer fetches the version files of the
// recorder's firmware, of the viewer itself and of the recorder's GPS data,
// compares them with the versions it knows and builds the notice text with a
// link to each offered item's download page. Pure code: the transfer is
// libcurl's (update_fetch.h); this file holds the rules.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kinetta {

// The viewer's own version, compared with the viewer's version file.
inline constexpr std::string_view kViewerVersion = "2.0.1";
// A version file carries its version after this marker (firmware, viewer).
inline constexpr std::string_view kVersionMarker = "VER:";
// The model keys of the card's marker files.
inline constexpr std::string_view kModelKeyTx40 = "TX40_40L_Viewer_download";
inline constexpr std::string_view kModelKeyTx50 = "TX50_download";

// A fetched version file is read in pieces of this many bytes.
inline constexpr size_t kFetchPieceBytes = 1024;
// A fetched text longer than this (UTF-16 units) fails the fetch. It is also
// the bound of every fetched version the check compares and shows: what is
// left after PrintableText is never longer.
inline constexpr size_t kMaxFetchedUnits = 259;
// The notice text is cut to this many UTF-16 units.
inline constexpr size_t kMaxMessageUnits = 1299;

// The addresses of the version files and download pages: deployment settings
// of "endpoints.ini" (section "ENDPOINTS"). An empty version address means
// that item is not checked.
struct UpdateEndpoints {
    std::string firmwareVersionTx40, firmwarePageTx40; // model key TX40_40L_Viewer_download
    std::string firmwareVersionTx50, firmwarePageTx50; // model key TX50_download
    std::string viewerVersion, viewerPage;
    std::string gpsDataVersion, gpsDataPage;
};

inline constexpr std::string_view kEndpointsFileName = "endpoints.ini";

// Reads the section "ENDPOINTS" of the file at path (private-profile rules).
// A missing file or key leaves the address empty; false when the file cannot
// be read at all.
bool ReadUpdateEndpoints(const std::string& path, UpdateEndpoints* out);

// What the main window hands to the check.
struct UpdateInputs {
    std::string firmwareVersion; // "%d.%d.%d" from the newest recording; may be empty
    std::string gpsDataVersion;  // "%06d" from the card's settings file; may be empty
    std::string modelKey;        // kModelKeyTx40, kModelKeyTx50 or empty
};

// The first and the last piece of a response body as it arrived, each at
// most kFetchPieceBytes long. Feed() takes the bytes in any chunks; the
// pieces are cut at multiples of kFetchPieceBytes from the start of the body.
class FetchPieces {
public:
    void Feed(const char* data, size_t size);
    // No more bytes will come.
    void Finish();
    // The first piece is complete: with a marker nothing later is read.
    bool FirstComplete() const { return firstDone_; }
    const std::string& First() const { return first_; }
    const std::string& Last() const { return last_; }

private:
    std::string first_, current_, last_;
    bool firstDone_ = false;
};

// The text a version file gives: with a marker, the first piece's text after
// the marker (failing when the first piece holds none); without one, the last
// piece's text. Each piece is taken as UTF-8 with invalid sequences replaced
// by U+FFFD. False as well when the text is longer than kMaxFetchedUnits.
// The text is then PrintableText: what a server sends can neither break the
// notice's lines (a fake "URL :" line) nor reorder or hide what it shows.
bool FetchedText(const FetchPieces& pieces, std::string_view marker, std::string* text);

// Valid UTF-8 text without the characters that are not printable text: the
// C0 controls (line breaks, NUL, BEL, ESC, ...), DEL, the C1 controls
// (U+0080-U+009F, NEL included), the line and paragraph separators U+2028 and
// U+2029, and the bidirectional controls (U+061C, U+200E, U+200F,
// U+202A-U+202E, U+2066-U+2069). Every other character stays in order.
std::string PrintableText(std::string_view utf8);

// Bytes as UTF-8, each invalid sequence replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view bytes);
// Length in UTF-16 code units of valid UTF-8 text.
size_t Utf16Length(std::string_view utf8);
// The longest prefix of valid UTF-8 text that fits in units UTF-16 code units
// (a character is never split).
std::string_view Utf16Prefix(std::string_view utf8, size_t units);

// The firmware version as compared and shown: letters dropped, every other
// character kept, the text ending before its third '.'. "Ver1.02.03.4" gives
// "1.02.03".
std::string NormaliseFirmwareVersion(std::string_view text);

// The GPS data version as compared and shown: a '/' after the 2nd, 4th, 8th,
// 10th... character (every second one except the 6th). "230525" gives
// "23/05/25".
std::string GpsDataSlashForm(std::string_view text);

// Escapes &, <, >, " and ' so that a text stands as text inside link markup.
std::string EscapeMarkup(std::string_view text);

// One offered item of the notice.
struct UpdateBlock {
    std::string title; // "ドライブレコーダー本体", "ビューワーソフト" or "GPSデータ情報"
    std::string current; // the known version as shown
    std::string offered; // the fetched version as shown
    std::string page;    // the item's download page
};

// The notice text for one, two or three blocks (empty for none): the head,
// then each block with its title, current and offered version and the link
// to its page. Versions and addresses are escaped; the text is cut to
// kMaxMessageUnits.
std::string FormatUpdateMessage(const std::vector<UpdateBlock>& blocks);

// Fetches address; marker empty for a file without one. True with the text.
using TextFetch =
    std::function<bool(const std::string& address, std::string_view marker, std::string* text)>;

// The whole check: which files are fetched, which items are offered, and the
// notice text (empty when nothing is offered, when the GPS data version file
// could not be fetched, or when stop() turns true between fetches).
std::string RunUpdateCheck(const UpdateInputs& inputs, const UpdateEndpoints& endpoints,
                           const TextFetch& fetch, const std::function<bool()>& stop = {});

} // namespace kinetta
