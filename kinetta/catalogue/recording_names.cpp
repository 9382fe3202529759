#include "kinetta/catalogue/recording_names.h"

#include <array>
#include <regex>
#include <vector>

#include "util/text.h"

namespace kinetta {

namespace {

// The grammar: ECMAScript expressions matched against the whole name,
// case-sensitive. The "." before the extension is the expression's wildcard,
// so any one character is accepted there ("xMP4" as well as ".MP4").
struct Grammar {
    std::vector<std::regex> combined, front, rear, either;
};

// One expression for a body with any of the extensions (and, with
// joinVariant, with or without the join prefix "J<camera><2 digits>_"):
// matching the whole name against it is matching any of the separate forms,
// and each bracket expression is compiled once instead of once per form
// (compiling is what costs: about 0.1 ms for each bracket expression).
std::vector<std::regex> Expressions(const std::string& body, bool joinVariant,
                                    std::initializer_list<const char*> exts) {
    std::string alternatives;
    for (const char* ext : exts)
        alternatives += (alternatives.empty() ? "" : "|") + std::string(ext);
    const std::string prefix = joinVariant ? "(?:J[MRBN]{1,1}[0-9]{2,2}_)?" : "";
    std::vector<std::regex> out;
    out.emplace_back(prefix + body + "(?:" + alternatives + ")",
                     std::regex::ECMAScript | std::regex::optimize);
    return out;
}

Grammar MakeGrammar(RecorderFamily family) {
    const bool tx50 = family == RecorderFamily::TX50;
    const std::string head = "[0-9]{3,3}_[0-9]{6,6}";
    const std::string flags = tx50 ? "[NT]{1,1}[NO]{1,1}" : "";
    auto camera = [&](const char* letters) {
        return head + "[APGSM_]{1,1}" + flags + "_[" + letters + "]{1,1}";
    };
    Grammar g;
    std::string combinedBody = head + "_[APGSM_]{1,1}" + flags + (tx50 ? "_" : "");
    g.combined = Expressions(combinedBody, true, {".MP4", ".mp4"});
    g.front = Expressions(camera(tx50 ? "F" : "M"), true, {".MP4", ".mp4"});
    g.rear = Expressions(camera("R"), true, {".MP4", ".mp4"});
    g.either = Expressions(camera(tx50 ? "FR" : "MR"), true, {".MP4", ".mp4"});
    return g;
}

// Each family's expressions are compiled on its first use only: compiling
// them takes milliseconds, and a run meets one family.
const Grammar& GrammarOf(RecorderFamily family) {
    if (family == RecorderFamily::TX50) {
        static const Grammar tx50 = MakeGrammar(RecorderFamily::TX50);
        return tx50;
    }
    static const Grammar tx40 = MakeGrammar(RecorderFamily::TX40);
    return tx40;
}

// Movie-or-unfinished expressions of the TX50 grammar (no join prefix).
const std::vector<std::regex>& AnyExtExpressions(bool front) {
    static const auto make = [](const char* camera) {
        return Expressions(std::string("[0-9]{3,3}_[0-9]{6,6}[APGSM_]{1,1}[NT]{1,1}[NO]{1,1}_[") +
                               camera + "]{1,1}",
                           false, {".MP4", ".mp4", ".DAT", ".dat"});
    };
    static const std::vector<std::regex> f = make("F"), r = make("R");
    return front ? f : r;
}

bool MatchesAny(std::string_view name, const std::vector<std::regex>& expressions) {
    for (const std::regex& re : expressions)
        if (std::regex_match(name.begin(), name.end(), re)) return true;
    return false;
}

bool SearchAny(std::string_view name, const std::vector<std::regex>& expressions) {
    for (const std::regex& re : expressions)
        if (std::regex_search(name.begin(), name.end(), re)) return true;
    return false;
}

std::vector<std::regex> Compile(std::initializer_list<const char*> expressions) {
    std::vector<std::regex> out;
    for (const char* e : expressions)
        out.emplace_back(e, std::regex::ECMAScript);
    return out;
}

int Tx40Trigger(std::string_view name) {
    static constexpr std::array<char, 9> kLetters = {'A', 'M', 'G', 'P', 'S', 'T', 'U', 'O', 'R'};
    static constexpr std::array<int, 9> kCodes = {0, 2, 1, 3, 4, 7, 8, 5, 6};
    // Camera-suffixed forms first, for every letter: read bare first, "M.MP4"
    // (the camera letter M of every front file) would make every front
    // recording whose trigger is not A a manual one.
    for (size_t i = 0; i < kLetters.size(); ++i) {
        for (const char* camera : {"_M", "_R"}) {
            std::string needle = std::string(1, kLetters[i]) + camera + ".MP4";
            if (kutil::FindNoCase(name, needle) != std::string_view::npos) return kCodes[i];
        }
    }
    for (size_t i = 0; i < kLetters.size(); ++i) {
        std::string needle = std::string(1, kLetters[i]) + ".MP4";
        if (kutil::FindNoCase(name, needle) != std::string_view::npos) return kCodes[i];
    }
    return kTriggerNone;
}

int Tx50Position(std::string_view name, TriggerPosition position) {
    const size_t n = name.size();
    if (n < 9) return kTriggerNone;
    switch (position) {
    case TriggerPosition::Trigger:
        switch (name[n - 9]) {
        case 'A':
            return 0;
        case 'G':
            return 1;
        case 'M':
            return 2;
        case 'P':
            return 3;
        case 'S':
            return 4;
        default:
            return kTriggerNone;
        }
    case TriggerPosition::TimeLapse:
        switch (name[n - 8]) {
        case 'T':
            return 7;
        case 'U':
            return 8;
        default:
            return kTriggerNone;
        }
    case TriggerPosition::Enforcement:
        switch (name[n - 7]) {
        case 'O':
            return 5;
        case 'R':
            return 6;
        default:
            return kTriggerNone;
        }
    }
    return kTriggerNone;
}

bool AnyTx50Position(std::string_view name) {
    return Tx50Position(name, TriggerPosition::Trigger) != kTriggerNone ||
           Tx50Position(name, TriggerPosition::TimeLapse) != kTriggerNone ||
           Tx50Position(name, TriggerPosition::Enforcement) != kTriggerNone;
}

// The trigger rule shared by the grammar tests.
bool TriggerRule(std::string_view name, RecorderFamily family) {
    return family == RecorderFamily::TX50 ? AnyTx50Position(name)
                                          : Tx40Trigger(name) != kTriggerNone;
}

// Fails at once when the character after the expected number field is not '_'.
bool PrefixRule(std::string_view name, RecorderFamily family) {
    size_t k = HasJoinPrefix(name, family) ? 8 : 3;
    return !(name.size() > k && name[k] != '_');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

int TriggerCode(std::string_view name, TriggerPosition position, RecorderFamily family) {
    return family == RecorderFamily::TX50 ? Tx50Position(name, position) : Tx40Trigger(name);
}

int TriggerCode(std::string_view name, TriggerPosition position) {
    return TriggerCode(name, position, CurrentFamily());
}

bool IsRecordingName(std::string_view name, RecorderFamily family) {
    return name.size() >= 4 && IsDigit(name[0]) && IsDigit(name[1]) && IsDigit(name[2]) &&
           name[3] == '_' && TriggerRule(name, family);
}

bool HasJoinPrefix(std::string_view name, RecorderFamily family) {
    static const std::regex re("J[MRB]{1,1}[0-9]{2,2}_[0-9]{3,3}_", std::regex::ECMAScript);
    return std::regex_search(name.begin(), name.end(), re) && TriggerRule(name, family);
}

bool IsCombinedName(std::string_view name, RecorderFamily family) {
    if (ClassifyClipName(name) == ClipNameKind::Combined) return true;
    return PrefixRule(name, family) && MatchesAny(name, GrammarOf(family).combined) &&
           TriggerRule(name, family);
}

ClipNameKind ClassifyClipName(std::string_view name) {
    static const std::regex re(
        "EV_([0-9]{8}|N[0-9]{3})_[0-9]{6}_[a-z]+(_[0-9]+)?(_F|_R)?\\.(MP4|mp4)",
        std::regex::ECMAScript | std::regex::optimize);
    std::match_results<std::string_view::const_iterator> m;
    if (!std::regex_match(name.begin(), name.end(), m, re)) return ClipNameKind::None;
    if (!m[3].matched) return ClipNameKind::Combined;
    return m[3].str() == "_F" ? ClipNameKind::Front : ClipNameKind::Rear;
}

std::string ClipPartnerName(std::string_view name) {
    const ClipNameKind kind = ClassifyClipName(name);
    if (kind != ClipNameKind::Front && kind != ClipNameKind::Rear) return {};
    std::string other(name);
    other[other.size() - 5] = kind == ClipNameKind::Front ? 'R' : 'F';
    return other;
}

namespace {
bool CameraTest(std::string_view name, RecorderFamily family,
                const std::vector<std::regex> Grammar::*expressions) {
    if (!PrefixRule(name, family)) return false;
    const Grammar& g = GrammarOf(family);
    bool matched = MatchesAny(name, g.*expressions) ||
                   (family == RecorderFamily::TX40 && MatchesAny(name, g.combined));
    return matched && TriggerRule(name, family);
}
} // namespace

bool IsFrontName(std::string_view name, RecorderFamily family) {
    return CameraTest(name, family, &Grammar::front);
}
bool IsRearName(std::string_view name, RecorderFamily family) {
    return CameraTest(name, family, &Grammar::rear);
}
bool IsCameraName(std::string_view name, RecorderFamily family) {
    return CameraTest(name, family, &Grammar::either);
}

bool IsFrontNameAnyExt(std::string_view name) {
    return MatchesAny(name, AnyExtExpressions(true)) && AnyTx50Position(name);
}
bool IsRearNameAnyExt(std::string_view name) {
    return MatchesAny(name, AnyExtExpressions(false)) && AnyTx50Position(name);
}

bool IsRecordingMovieFile(std::string_view path, RecorderFamily family) {
    std::string_view name = kutil::FileNameOf(path);
    if (!IsCameraName(name, family)) return false;
    // The extension: from the last '.' of the name, exactly four characters.
    size_t dot = name.rfind('.');
    return dot != std::string_view::npos && name.size() - dot == 4 &&
           kutil::EqualsNoCase(name.substr(dot), ".MP4");
}

std::string_view TriggerCodeText(int code) {
    static constexpr std::array<std::string_view, 9> kTexts = {"常時",     "衝撃",     "マニュアル",
                                                               "駐車",     "駐車衝撃", "速度取締機",
                                                               "レーダー", "駐車",     "駐車衝撃"};
    return code >= 0 && code <= 8 ? kTexts[static_cast<size_t>(code)] : std::string_view();
}

int TriggerCodeBit(int code) {
    static constexpr std::array<int, 9> kBits = {0x01, 0x04, 0x02, 0x08, 0x10,
                                                 0x20, 0x40, 0x08, 0x10};
    return code >= 0 && code <= 8 ? kBits[static_cast<size_t>(code)] : 0;
}

std::string TriggerText(std::string_view name, RecorderFamily family) {
    if (family == RecorderFamily::TX40)
        return name.size() > 13 ? std::string(TriggerCodeText(Tx40Trigger(name))) : std::string();
    int code = Tx50Position(name, TriggerPosition::Trigger);
    return code >= 0 && code <= 4 ? std::string(TriggerCodeText(code)) : std::string();
}

int TriggerFilterBits(std::string_view name, RecorderFamily family) {
    if (family == RecorderFamily::TX40) return TriggerCodeBit(Tx40Trigger(name));
    int bits = TriggerCodeBit(Tx50Position(name, TriggerPosition::Trigger));
    int enforcement = Tx50Position(name, TriggerPosition::Enforcement);
    if (enforcement == 5) bits |= 0x20;
    if (enforcement == 6) bits |= 0x40;
    return bits;
}

bool HasKnownTrigger(std::string_view name, RecorderFamily family) {
    if (family == RecorderFamily::TX40) {
        int code = Tx40Trigger(name);
        return code >= 0 && code <= 8;
    }
    return AnyTx50Position(name);
}

bool IsEventRecording(std::string_view name, RecorderFamily family) {
    if (family == RecorderFamily::TX40) {
        int code = Tx40Trigger(name);
        return code == 1 || code == 2 || code == 4 || code == 5 || code == 6 || code == 8;
    }
    int trigger = Tx50Position(name, TriggerPosition::Trigger);
    int enforcement = Tx50Position(name, TriggerPosition::Enforcement);
    return trigger == 1 || trigger == 2 || trigger == 4 || enforcement == 5 || enforcement == 6;
}

bool IsParkingRecording(std::string_view name, RecorderFamily family) {
    if (family == RecorderFamily::TX40) {
        int code = Tx40Trigger(name);
        return code == 3 || code == 4 || code == 7 || code == 8;
    }
    int trigger = Tx50Position(name, TriggerPosition::Trigger);
    return trigger == 3 || trigger == 4;
}

std::string RecordingBaseName(std::string_view name, RecorderFamily family) {
    static const auto tx40Suffix =
        Compile({"[A-Z]{1,1}_[MR]{1,1}.MP4", "[A-Z]{1,1}_[MR]{1,1}.mp4"});
    static const auto tx50Suffix =
        Compile({"[A-Z]{1,1}_[FR]{1,1}.MP4", "[A-Z]{1,1}_[FR]{1,1}.mp4"});
    static const auto extension = Compile({".MP4", ".mp4"});
    bool cameraSuffix = SearchAny(name, family == RecorderFamily::TX50 ? tx50Suffix : tx40Suffix);
    if (cameraSuffix && name.size() >= 6) return std::string(name.substr(0, name.size() - 6));
    if (SearchAny(name, extension) && name.size() >= 4)
        return std::string(name.substr(0, name.size() - 4));
    return std::string(name);
}

int JoinCount(std::string_view name) {
    if (name.empty() || name[0] != 'J') return 1;
    if (name.size() < 3) return 0;
    return kutil::LeadingInt(name.substr(2, 2));
}

std::string StripJoinPrefix(std::string_view name) {
    if (name.size() > 4 && name[0] == 'J' && name[4] == '_') return std::string(name.substr(5));
    if (name.size() > 10 && name[10] == '_') {
        // A combined name: the character before the last five goes.
        std::string out(name);
        out.erase(out.size() - 6, 1);
        return out;
    }
    return std::string(name);
}

std::string DisplayName(std::string_view name) {
    size_t dot = name.find('.');
    std::string_view head = dot == std::string_view::npos ? name : name.substr(0, dot);
    size_t n = head.size();
    if (n >= 3) {
        char letter = head[n - 3];
        bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
        if (isLetter && head[n - 2] == '_') return std::string(head.substr(0, n - 2));
    }
    return std::string(head);
}

bool IsRecordingName(std::string_view name) {
    return IsRecordingName(name, CurrentFamily());
}
bool HasJoinPrefix(std::string_view name) {
    return HasJoinPrefix(name, CurrentFamily());
}
bool IsCombinedName(std::string_view name) {
    return IsCombinedName(name, CurrentFamily());
}
bool IsFrontName(std::string_view name) {
    return IsFrontName(name, CurrentFamily());
}
bool IsRearName(std::string_view name) {
    return IsRearName(name, CurrentFamily());
}
bool IsCameraName(std::string_view name) {
    return IsCameraName(name, CurrentFamily());
}
bool IsRecordingMovieFile(std::string_view path) {
    return IsRecordingMovieFile(path, CurrentFamily());
}
std::string TriggerText(std::string_view name) {
    return TriggerText(name, CurrentFamily());
}
int TriggerFilterBits(std::string_view name) {
    return TriggerFilterBits(name, CurrentFamily());
}
bool HasKnownTrigger(std::string_view name) {
    return HasKnownTrigger(name, CurrentFamily());
}
bool IsEventRecording(std::string_view name) {
    return IsEventRecording(name, CurrentFamily());
}
bool IsParkingRecording(std::string_view name) {
    return IsParkingRecording(name, CurrentFamily());
}
std::string RecordingBaseName(std::string_view name) {
    return RecordingBaseName(name, CurrentFamily());
}

} // namespace kinetta
