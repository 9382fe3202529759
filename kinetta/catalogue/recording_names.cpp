#include "kinetta/catalogue/recording_names.h"

#include <array>
#include <vector>

#include "util/text.h"

namespace kinetta {

namespace {

// The grammar: every form is a name of fixed length, one set of allowed
// characters per position, matched against the whole name, case-sensitive.
// The "." before the extension is a wildcard, so any one character but a
// line break is accepted there ("xMP4" as well as ".MP4"). Matching is a length test and
// one table look-up per character: nothing is compiled at start-up (the
// forms used to be regular expressions, whose compiling alone cost about a
// millisecond of every run of the command line).
class FixedForm {
public:
    // Appends count positions that accept any of the characters in set.
    FixedForm& Any(std::string_view set, size_t count = 1) {
        for (size_t i = 0; i < count; ++i) {
            std::array<bool, 256> in{};
            for (char c : set)
                in[static_cast<unsigned char>(c)] = true;
            at_.push_back(in);
        }
        return *this;
    }
    FixedForm& Digits(size_t count) { return Any("0123456789", count); }
    // Each character of text as a position of its own.
    FixedForm& Text(std::string_view text) {
        for (char c : text)
            Any(std::string_view(&c, 1));
        return *this;
    }
    // Any character but a line break (as the expressions' "." was).
    FixedForm& Wildcard() {
        std::array<bool, 256> all;
        all.fill(true);
        all['\n'] = all['\r'] = false;
        at_.push_back(all);
        return *this;
    }
    FixedForm& Then(const FixedForm& more) {
        at_.insert(at_.end(), more.at_.begin(), more.at_.end());
        return *this;
    }
    size_t size() const { return at_.size(); }

    bool MatchesAt(std::string_view name, size_t offset) const {
        if (offset > name.size() || name.size() - offset < at_.size()) return false;
        for (size_t i = 0; i < at_.size(); ++i)
            if (!at_[i][static_cast<unsigned char>(name[offset + i])]) return false;
        return true;
    }
    bool Matches(std::string_view name) const {
        return name.size() == at_.size() && MatchesAt(name, 0);
    }
    // Whether the form occurs anywhere in the name.
    bool Occurs(std::string_view name) const {
        for (size_t k = 0; k + at_.size() <= name.size(); ++k)
            if (MatchesAt(name, k)) return true;
        return false;
    }

private:
    std::vector<std::array<bool, 256>> at_;
};

using Forms = std::vector<FixedForm>;

struct Grammar {
    Forms combined, front, rear, either;
};

// A body with each of the extensions (".MP4" is wildcard, "MP4"), and with
// joinVariant also with the join prefix "J<camera><2 digits>_" before it.
Forms Expand(const FixedForm& body, bool joinVariant, std::initializer_list<const char*> exts) {
    Forms out;
    for (int prefixed = 0; prefixed <= (joinVariant ? 1 : 0); ++prefixed) {
        for (const char* ext : exts) {
            FixedForm f;
            if (prefixed) f.Text("J").Any("MRBN").Digits(2).Text("_");
            f.Then(body).Wildcard().Text(std::string_view(ext).substr(1));
            out.push_back(std::move(f));
        }
    }
    return out;
}

Grammar MakeGrammar(RecorderFamily family) {
    const bool tx50 = family == RecorderFamily::TX50;
    const auto head = [] { return FixedForm().Digits(3).Text("_").Digits(6); };
    const auto flags = [tx50](FixedForm f) {
        if (tx50) f.Any("NT").Any("NO");
        return f;
    };
    const auto camera = [&](std::string_view letters) {
        return flags(head().Any("APGSM_")).Text("_").Any(letters);
    };
    Grammar g;
    FixedForm combinedBody = flags(head().Text("_").Any("APGSM_"));
    if (tx50) combinedBody.Text("_");
    g.combined = Expand(combinedBody, true, {".MP4", ".mp4"});
    g.front = Expand(camera(tx50 ? "F" : "M"), true, {".MP4", ".mp4"});
    g.rear = Expand(camera("R"), true, {".MP4", ".mp4"});
    g.either = Expand(camera(tx50 ? "FR" : "MR"), true, {".MP4", ".mp4"});
    return g;
}

const Grammar& GrammarOf(RecorderFamily family) {
    if (family == RecorderFamily::TX50) {
        static const Grammar tx50 = MakeGrammar(RecorderFamily::TX50);
        return tx50;
    }
    static const Grammar tx40 = MakeGrammar(RecorderFamily::TX40);
    return tx40;
}

// Movie-or-unfinished forms of the TX50 grammar (no join prefix).
const Forms& AnyExtForms(bool front) {
    static const auto make = [](std::string_view camera) {
        return Expand(FixedForm()
                          .Digits(3)
                          .Text("_")
                          .Digits(6)
                          .Any("APGSM_")
                          .Any("NT")
                          .Any("NO")
                          .Text("_")
                          .Any(camera),
                      false, {".MP4", ".mp4", ".DAT", ".dat"});
    };
    static const Forms f = make("F"), r = make("R");
    return front ? f : r;
}

bool MatchesAny(std::string_view name, const Forms& forms) {
    for (const FixedForm& f : forms)
        if (f.Matches(name)) return true;
    return false;
}

bool OccursAny(std::string_view name, const Forms& forms) {
    for (const FixedForm& f : forms)
        if (f.Occurs(name)) return true;
    return false;
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
    static const FixedForm prefix =
        FixedForm().Text("J").Any("MRB").Digits(2).Text("_").Digits(3).Text("_");
    return prefix.Occurs(name) && TriggerRule(name, family);
}

bool IsCombinedName(std::string_view name, RecorderFamily family) {
    if (ClassifyClipName(name) == ClipNameKind::Combined) return true;
    return PrefixRule(name, family) && MatchesAny(name, GrammarOf(family).combined) &&
           TriggerRule(name, family);
}

// EV_<8 digits or N and 3 digits>_<6 digits>_<kind: a-z, one or more>
// [_<digits>][_F|_R].MP4|.mp4 (the dot literal here).
ClipNameKind ClassifyClipName(std::string_view name) {
    const auto digits = [&](size_t& k, size_t count) {
        for (size_t i = 0; i < count; ++i, ++k)
            if (k >= name.size() || !IsDigit(name[k])) return false;
        return true;
    };
    const auto text = [&](size_t& k, std::string_view t) {
        if (name.substr(k, t.size()) != t) return false;
        k += t.size();
        return true;
    };
    size_t k = 0;
    if (!text(k, "EV_")) return ClipNameKind::None;
    if (k < name.size() && name[k] == 'N') {
        ++k;
        if (!digits(k, 3)) return ClipNameKind::None;
    } else if (!digits(k, 8)) {
        return ClipNameKind::None;
    }
    if (!text(k, "_") || !digits(k, 6) || !text(k, "_")) return ClipNameKind::None;
    // The rest: the kind, then the optional number and camera, then the
    // extension, read from the end backwards.
    if (name.size() < k + 1 + 4) return ClipNameKind::None;
    const std::string_view ext = name.substr(name.size() - 4);
    if (ext != ".MP4" && ext != ".mp4") return ClipNameKind::None;
    std::string_view rest = name.substr(k, name.size() - 4 - k);
    ClipNameKind kind = ClipNameKind::Combined;
    if (rest.size() >= 2 && rest[rest.size() - 2] == '_' &&
        (rest.back() == 'F' || rest.back() == 'R')) {
        kind = rest.back() == 'F' ? ClipNameKind::Front : ClipNameKind::Rear;
        rest.remove_suffix(2);
    }
    // An optional "_<digits>" after the kind.
    size_t end = rest.size();
    while (end > 0 && IsDigit(rest[end - 1]))
        --end;
    if (end < rest.size() && end > 0 && rest[end - 1] == '_') rest = rest.substr(0, end - 1);
    if (rest.empty()) return ClipNameKind::None;
    for (char c : rest)
        if (c < 'a' || c > 'z') return ClipNameKind::None;
    return kind;
}

std::string ClipPartnerName(std::string_view name) {
    const ClipNameKind kind = ClassifyClipName(name);
    if (kind != ClipNameKind::Front && kind != ClipNameKind::Rear) return {};
    std::string other(name);
    other[other.size() - 5] = kind == ClipNameKind::Front ? 'R' : 'F';
    return other;
}

namespace {
bool CameraTest(std::string_view name, RecorderFamily family, const Forms Grammar::*expressions) {
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
    return MatchesAny(name, AnyExtForms(true)) && AnyTx50Position(name);
}
bool IsRearNameAnyExt(std::string_view name) {
    return MatchesAny(name, AnyExtForms(false)) && AnyTx50Position(name);
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
    // "<capital>_<camera>.MP4" anywhere in the name (the dot a wildcard).
    static const auto suffix = [](std::string_view cameras) {
        return Expand(FixedForm().Any("ABCDEFGHIJKLMNOPQRSTUVWXYZ").Text("_").Any(cameras), false,
                      {".MP4", ".mp4"});
    };
    static const Forms tx40Suffix = suffix("MR"), tx50Suffix = suffix("FR");
    static const Forms extension = Expand(FixedForm(), false, {".MP4", ".mp4"});
    bool cameraSuffix = OccursAny(name, family == RecorderFamily::TX50 ? tx50Suffix : tx40Suffix);
    if (cameraSuffix && name.size() >= 6) return std::string(name.substr(0, name.size() - 6));
    if (OccursAny(name, extension) && name.size() >= 4)
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
