#include "tools/mkcard/card.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>

#include "kinetta/catalogue/recording_names.h"
#include "util/json_text.h"

namespace mkcard {

using playcore::RecorderFamily;

bool ParsePreset(const std::string& text, Preset* preset) {
    if (text == "test")
        *preset = Preset::Test;
    else if (text == "demo")
        *preset = Preset::Demo;
    else if (text == "bench")
        *preset = Preset::Bench;
    else
        return false;
    return true;
}

const char* PresetName(Preset preset) {
    switch (preset) {
    case Preset::Test:
        return "test";
    case Preset::Demo:
        return "demo";
    case Preset::Bench:
        return "bench";
    }
    return "?";
}

bool ParseFamily(const std::string& text, RecorderFamily* family) {
    if (text == "tx40" || text == "TX40")
        *family = RecorderFamily::TX40;
    else if (text == "tx50" || text == "TX50")
        *family = RecorderFamily::TX50;
    else
        return false;
    return true;
}

const char* FamilyName(RecorderFamily family) {
    return family == RecorderFamily::TX50 ? "TX50" : "TX40";
}

std::vector<uint8_t> CardSettingsBytes(RecorderFamily family, const std::string& gpsDataVersion) {
    std::vector<uint8_t> out(64, 0);
    auto put = [&](size_t at, const std::string& text) {
        std::copy(text.begin(), text.end(), out.begin() + static_cast<long>(at));
    };
    put(0, "DRFormatConfig");
    out[15] = 1;
    put(16, family == RecorderFamily::TX50 ? "TX50    " : "TX40L   ");
    put(24, "100");
    put(27, "000000");
    std::string version = gpsDataVersion.empty() ? std::string(6, ' ') : gpsDataVersion;
    version.resize(6, ' ');
    put(33, version);
    return out;
}

namespace {

// One recording of a plan: its front and rear files, or one combined file.
struct Take {
    std::string folder;
    int number = 1;
    CivilTime start{2023, 5, 25, 10, 15, 0};
    char trigger = 'A';
    char timeLapse = 'N';   // TX50 name flag
    char enforcement = 'N'; // TX50 name flag
    bool join = false;      // "JB02_" prefix: a movie the viewer joined earlier
    bool front = true;
    bool rear = false;
    bool combined = false;
    int rearOffset = 0; // seconds the rear file's start time lies after the front's
    double seconds = 3;
    uint32_t frameUs = kFrameUs29_1;
    int frontWidth = 320, frontHeight = 180, rearWidth = 160, rearHeight = 90;
    bool parked = false;
    bool timeLapseMovie = false;
    std::vector<GpsEvent> frontEvents = {};
    std::vector<GpsEvent> rearEvents = {};
    std::vector<std::pair<int, int>> noFix = {};
    std::vector<std::pair<int, int>> jumps = {};
    bool endMarker = true;
    bool gps = true;
    bool unfinished = false; // ".DAT" names, `ftyp` and `mdat` only
    int voltage = -1;
    uint8_t flagA = 1, flagB = 1;
    std::string identification = "V10202";
};

struct PresetStyle {
    int gop = 15;
    int crf = 26;
    std::string x264 = "ultrafast";
    bool frameCode = true; // the frame-number strip; left out of the demo's pictures
};

std::string TimeDigits(const CivilTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d", t.hour, t.minute, t.second);
    return buf;
}

std::string Number(int n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03d", n % 1000);
    return buf;
}

std::string CameraName(RecorderFamily family, const Take& t, bool rearFile) {
    const CivilTime start = rearFile ? AddSeconds(t.start, t.rearOffset) : t.start;
    std::string name = Number(t.number) + "_" + TimeDigits(start) + t.trigger;
    if (family == RecorderFamily::TX50) name += std::string{t.timeLapse, t.enforcement};
    name += "_";
    name += rearFile ? 'R' : (family == RecorderFamily::TX50 ? 'F' : 'M');
    name += t.unfinished ? ".DAT" : ".MP4";
    return (t.join ? "JB02_" : "") + name;
}

std::string CombinedName(RecorderFamily family, const Take& t) {
    std::string name = Number(t.number) + "_" + TimeDigits(t.start) + "_" + t.trigger;
    if (family == RecorderFamily::TX50) name += std::string{t.timeLapse, t.enforcement} + "_";
    return (t.join ? "JB02_" : "") + name + ".MP4";
}

RecordingSpec SpecOf(RecorderFamily family, const Take& t, FileContent content,
                     const PresetStyle& style, uint64_t seed, const std::string& path) {
    RecordingSpec s;
    s.family = family;
    s.content = content;
    s.start = content == FileContent::Rear ? AddSeconds(t.start, t.rearOffset) : t.start;
    s.durationSeconds = t.seconds;
    s.frameUs = t.frameUs;
    s.gop = style.gop;
    s.crf = style.crf;
    s.x264Preset = style.x264;
    s.frameCode = style.frameCode;
    s.frontWidth = t.frontWidth;
    s.frontHeight = t.frontHeight;
    s.rearWidth = t.rearWidth;
    s.rearHeight = t.rearHeight;
    s.unfinished = t.unfinished;
    s.gps = t.gps;
    s.endMarker = t.endMarker;
    s.parked = t.parked;
    s.realSecondsPerRecord = t.timeLapseMovie ? 15 : 1;
    s.events = content == FileContent::Rear ? t.rearEvents : t.frontEvents;
    s.noFix = t.noFix;
    s.jumps = t.jumps;
    s.header.identification = t.identification;
    s.header.letter = t.parked ? 'P' : 'N';
    s.header.flagA = t.flagA;
    s.header.flagB = t.flagB;
    s.voltageTenths = t.voltage;
    s.seed = HashText(path, seed);
    return s;
}

std::vector<Take> TestTakes(RecorderFamily family) {
    const bool tx50 = family == RecorderFamily::TX50;
    const std::string f1 = "20230525_001", f2 = "20230525_001/20230525_002", f3 = "20230526_001";
    std::vector<Take> takes;
    auto add = [&](Take t) {
        takes.push_back(std::move(t));
        return &takes.back();
    };
    auto at = [](int h, int m, int s, int day = 25) { return CivilTime{2023, 5, day, h, m, s}; };
    using E = EventKind;
    {
        Take t{.folder = f1, .number = 1, .start = at(10, 15, 0)};
        t.rear = true;
        t.rearOffset = tx50 ? 2 : 1;
        if (tx50) t.frontEvents = {{1, E::AssistH}};
        add(t);
    }
    {
        Take t{.folder = f1, .number = 2, .start = at(10, 16, 0), .trigger = 'G'};
        t.rear = true;
        t.rearOffset = tx50 ? 1 : 3;
        t.frontEvents = {{0, E::ShockX}, {1, E::ShockY}, {2, E::ShockZ}};
        t.rearEvents = {{1, E::ShockZ}};
        add(t);
    }
    {
        Take t{.folder = f1, .number = 3, .start = at(10, 17, 0), .trigger = 'M'};
        t.front = false;
        t.rear = true;
        t.seconds = 2.5;
        t.rearEvents = {{1, E::UserPoint}};
        add(t);
    }
    if (!tx50) {
        Take t{.folder = f1, .number = 4, .start = at(10, 18, 0)};
        t.front = false;
        t.combined = true;
        t.frontEvents = {{2, E::ShockZ}};
        add(t);
    } else {
        Take t{.folder = f1, .number = 4, .start = at(10, 18, 0), .trigger = 'P'};
        t.rear = true;
        t.parked = true;
        t.frameUs = kFrameUs27_5;
        t.voltage = 124;
        t.frontEvents = {{0, E::Parking}};
        add(t);
    }
    {
        Take t{.folder = f1, .number = 5, .start = at(10, 19, 0)};
        t.join = true;
        t.rear = true;
        t.seconds = 4;
        add(t);
    }
    if (!tx50) {
        Take t{.folder = f1, .number = 6, .start = at(10, 20, 0), .trigger = 'P'};
        t.rear = true;
        t.rearOffset = 2;
        t.parked = true;
        t.frameUs = kFrameUs27_5;
        t.frontEvents = {{0, E::Parking}};
        add(t);
        Take s{.folder = f1, .number = 7, .start = at(10, 21, 0), .trigger = 'S'};
        s.parked = true;
        s.frontEvents = {{0, E::Parking}, {1, E::ShockZ}};
        add(s);
        // The TX40 grammar has no time-lapse letter: a parking name with time-lapse timing.
        Take l{.folder = f1, .number = 8, .start = at(10, 22, 0), .trigger = 'P'};
        l.parked = true;
        l.timeLapseMovie = true;
        l.frameUs = kFrameUsTimeLapse;
        add(l);
    } else {
        Take l{
            .folder = f1, .number = 6, .start = at(10, 19, 30), .trigger = 'P', .timeLapse = 'T'};
        l.parked = true;
        l.timeLapseMovie = true;
        l.frameUs = kFrameUsTimeLapse;
        l.voltage = 123;
        l.frontEvents = {{0, E::Parking}};
        add(l);
        Take o{.folder = f1, .number = 7, .start = at(10, 20, 0), .enforcement = 'O'};
        o.rear = true;
        o.rearOffset = 3;
        o.frontEvents = {{1, E::SpeedCamera}, {2, E::Speeding}};
        o.rearEvents = {{1, E::Radar}};
        add(o);
        // The radar letter in the enforcement position is outside the grammar.
        Take r{.folder = f1, .number = 8, .start = at(10, 21, 0), .enforcement = 'R'};
        r.frontEvents = {{1, E::Radar}};
        add(r);
        Take c{.folder = f1, .number = 9, .start = at(10, 22, 0)};
        c.front = false;
        c.combined = true;
        add(c);
        Take s{.folder = f1, .number = 10, .start = at(10, 24, 0), .trigger = 'S'};
        s.rear = true;
        s.rearOffset = 1;
        s.parked = true;
        s.voltage = 119;
        s.flagB = 0;
        s.frontEvents = {{0, E::EmergencyStop}, {1, E::AssistA}, {2, E::AssistB}};
        s.rearEvents = {{1, E::ShockZ}};
        add(s);
    }
    {
        Take t{.folder = f1, .number = 11, .start = at(10, 25, 0)};
        t.endMarker = false;
        add(t);
        Take u{.folder = f1, .number = 12, .start = at(10, 26, 0)};
        u.unfinished = true;
        u.rear = tx50;
        add(u);
        Take g{.folder = f1, .number = 13, .start = at(10, 27, 0)};
        g.gps = false;
        add(g);
    }
    {
        Take t{.folder = f2, .number = 14, .start = at(10, 30, 0)};
        t.rear = true;
        t.rearOffset = 1;
        t.seconds = 4;
        t.frontWidth = 256;
        t.frontHeight = 144;
        t.noFix = {{1, 1}};
        t.jumps = {{2, 3}};
        add(t);
    }
    {
        Take t{.folder = f3, .number = 15, .start = at(9, 0, 0, 26)};
        t.rear = true;
        t.frontEvents = {{0, E::UserPoint}};
        t.identification = "V10203";
        add(t);
    }
    return takes;
}

std::vector<Take> DemoTakes(RecorderFamily family) {
    const bool tx50 = family == RecorderFamily::TX50;
    const std::string f1 = "20230525_001", f2 = "20230526_001";
    std::vector<Take> takes;
    using E = EventKind;
    auto hd = [](Take& t) {
        t.frontWidth = 1920;
        t.frontHeight = 1080;
        t.rearWidth = 1280;
        t.rearHeight = 720;
    };
    auto sd = [](Take& t) {
        t.frontWidth = 1280;
        t.frontHeight = 720;
        t.rearWidth = 1280;
        t.rearHeight = 720;
    };
    {
        Take t{.folder = f1, .number = 1, .start = {2023, 5, 25, 8, 30, 0}};
        hd(t);
        t.rear = true;
        t.rearOffset = 1;
        t.seconds = 20;
        t.frontEvents = {{8, tx50 ? E::AssistH : E::UserPoint}};
        takes.push_back(t);
    }
    {
        Take t{.folder = f1, .number = 2, .start = {2023, 5, 25, 8, 31, 0}, .trigger = 'G'};
        hd(t);
        t.rear = true;
        t.rearOffset = 2;
        t.seconds = 15;
        t.frontEvents = {{7, E::ShockY}, {9, E::ShockX}};
        takes.push_back(t);
    }
    {
        Take t{.folder = f1, .number = 3, .start = {2023, 5, 25, 8, 32, 0}, .trigger = 'M'};
        sd(t);
        t.seconds = 15;
        t.frontEvents = {{6, E::UserPoint}};
        takes.push_back(t);
    }
    if (!tx50) {
        Take t{.folder = f1, .number = 4, .start = {2023, 5, 25, 8, 33, 0}};
        sd(t);
        t.front = false;
        t.combined = true;
        t.seconds = 15;
        t.frontEvents = {{10, E::ShockZ}};
        takes.push_back(t);
    } else {
        Take t{.folder = f1, .number = 4, .start = {2023, 5, 25, 8, 33, 0}, .enforcement = 'O'};
        sd(t);
        t.rear = true;
        t.seconds = 15;
        t.frontEvents = {{5, E::SpeedCamera}, {9, E::Radar}, {11, E::Speeding}};
        takes.push_back(t);
    }
    {
        Take t{.folder = f2, .number = 5, .start = {2023, 5, 26, 7, 0, 0}, .trigger = 'P'};
        sd(t);
        t.parked = true;
        t.seconds = 15;
        t.frameUs = kFrameUs27_5;
        t.voltage = 125;
        t.frontEvents = {{0, E::Parking}};
        takes.push_back(t);
    }
    {
        Take t{.folder = f2, .number = 6, .start = {2023, 5, 26, 7, 1, 0}, .trigger = 'P'};
        if (tx50) t.timeLapse = 'T';
        sd(t);
        t.parked = true;
        t.timeLapseMovie = true;
        t.frameUs = kFrameUsTimeLapse;
        t.seconds = 15;
        t.voltage = 124;
        takes.push_back(t);
    }
    {
        Take t{.folder = f2, .number = 7, .start = {2023, 5, 26, 9, 10, 0}};
        hd(t);
        t.rear = true;
        t.seconds = 30;
        if (tx50)
            t.frontEvents = {{12, E::AssistA}, {20, E::EmergencyStop}, {25, E::AssistB}};
        else
            t.frontEvents = {{20, E::ShockZ}};
        t.identification = "V10203";
        takes.push_back(t);
    }
    {
        Take t{.folder = f2, .number = 8, .start = {2023, 5, 26, 9, 11, 0}};
        sd(t);
        t.seconds = 15;
        t.noFix = {{5, 7}};
        t.jumps = {{12, 14}};
        t.identification = "V10203";
        takes.push_back(t);
    }
    return takes;
}

std::vector<Take> BenchTakes(RecorderFamily family) {
    const bool tx50 = family == RecorderFamily::TX50;
    std::vector<Take> takes;
    for (int i = 0; i < 3; ++i) {
        Take t{.folder = "20230525_001", .number = i + 1, .start = {2023, 5, 25, 10, 15 + i, 0}};
        t.frontWidth = t.rearWidth = 1920;
        t.frontHeight = t.rearHeight = 1080;
        t.seconds = 60;
        t.rear = true;
        t.rearOffset = 1;
        t.identification = "V10203";
        t.frontEvents = {{30, EventKind::UserPoint}};
        if (i == 2 && !tx50) {
            t.front = t.rear = false;
            t.combined = true;
        }
        takes.push_back(t);
    }
    return takes;
}

bool InFolderTheScanIgnores(const std::string& path) {
    return path.rfind("DCIM/", 0) == 0;
}

std::string NameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Whether the viewer's scan lists the file, and why not.
void DecideListing(RecorderFamily family, PlannedFile& f) {
    const std::string name = NameOf(f.path);
    f.listed = false;
    if (f.role == "deleted")
        f.reason = "in the delete folder";
    else if (InFolderTheScanIgnores(f.path))
        f.reason = "below a folder that is not a date folder";
    else if (!kinetta::IsRecordingMovieFile(f.path, family))
        f.reason = f.recipe.unfinished ? "unfinished recording (.DAT)"
                   : f.recipe.content == FileContent::Combined
                       ? "combined name that the family's grammar does not recognise"
                       : "name outside the family's grammar";
    else if (!f.recipe.gps)
        f.reason = "no GPS block, so no end marker: not a complete recording";
    else if (!f.recipe.endMarker)
        f.reason = "no end marker: not a complete recording";
    else {
        f.listed = true;
        f.reason.clear();
    }
}

void Require(bool condition, const std::string& what) {
    if (!condition) throw std::logic_error("card plan: " + what);
}

// Checks that every name reads as intended under the family's grammar.
void CheckNames(RecorderFamily family, const PlannedFile& f) {
    const std::string name = NameOf(f.path);
    if (!f.generated) return;
    if (f.recipe.unfinished) {
        if (family == RecorderFamily::TX50)
            Require(f.role == "rear" ? kinetta::IsRearNameAnyExt(name)
                                     : kinetta::IsFrontNameAnyExt(name),
                    name + " is not an unfinished camera file");
        return;
    }
    if (f.role == "combined") {
        // The TX50 grammar reads the trigger at fixed places from the end, where a
        // combined name holds other characters: no TX50 combined name is recognised.
        if (family == RecorderFamily::TX50)
            Require(!kinetta::IsCombinedName(name, family) && !kinetta::IsCameraName(name, family),
                    name + " unexpectedly recognised");
        else
            Require(kinetta::IsCombinedName(name, family), name + " is not a combined name");
        return;
    }
    if (!f.listed && f.reason.find("grammar") != std::string::npos) return;
    if (f.role == "front")
        Require(kinetta::IsFrontName(name, family), name + " is not a front name");
    if (f.role == "rear") Require(kinetta::IsRearName(name, family), name + " is not a rear name");
    Require(kinetta::IsRecordingName(name, family) || kinetta::HasJoinPrefix(name, family),
            name + " is neither a recording name nor a joined one");
}

} // namespace

CardPlan MakeCardPlan(RecorderFamily family, Preset preset, uint64_t seed) {
    CardPlan plan;
    plan.family = family;
    plan.preset = preset;
    plan.seed = seed;
    const bool tx50 = family == RecorderFamily::TX50;
    plan.marker = tx50 ? std::string(kinetta::kMarkerTX50) : std::string(kinetta::kMarkerTX40);
    plan.markerText = std::string("[InternetShortcut]\r\nURL=https://support.example.invalid/") +
                      (tx50 ? "tx50" : "tx40") + "/viewer\r\n";
    plan.gpsDataVersion = (preset == Preset::Test && tx50) ? "" : "230401";
    plan.cardSettings = CardSettingsBytes(family, plan.gpsDataVersion);
    plan.traceMarker = preset != Preset::Bench;

    PresetStyle style;
    std::vector<Take> takes;
    switch (preset) {
    case Preset::Test:
        takes = TestTakes(family);
        style = {15, 26, "ultrafast"};
        break;
    case Preset::Demo:
        takes = DemoTakes(family);
        style = {15, 23, "ultrafast", false};
        break;
    case Preset::Bench:
        takes = BenchTakes(family);
        style = {15, 23, "superfast"};
        break;
    }

    // Files of every take.
    std::map<int, std::vector<size_t>> filesOfTake;
    for (size_t ti = 0; ti < takes.size(); ++ti) {
        const Take& t = takes[ti];
        auto add = [&](const std::string& name, const std::string& role, FileContent content) {
            PlannedFile f;
            f.path = t.folder + "/" + name;
            f.role = role;
            f.recipe = SpecOf(family, t, content, style, seed, f.path);
            f.take = static_cast<int>(ti);
            DecideListing(family, f);
            CheckNames(family, f);
            filesOfTake[static_cast<int>(ti)].push_back(plan.files.size());
            plan.files.push_back(std::move(f));
        };
        if (t.combined) add(CombinedName(family, t), "combined", FileContent::Combined);
        if (t.front) add(CameraName(family, t, false), "front", FileContent::Front);
        if (t.rear) add(CameraName(family, t, true), "rear", FileContent::Rear);
    }

    // What the list should show: one entry per take whose front (or, without a
    // listed front, rear) file is listed.
    for (const auto& [ti, indices] : filesOfTake) {
        const PlannedFile* front = nullptr;
        const PlannedFile* rear = nullptr;
        for (size_t i : indices) {
            const PlannedFile& f = plan.files[i];
            if (f.role == "rear")
                rear = &f;
            else
                front = &f;
        }
        ExpectedEntry e;
        if (front && front->listed) {
            e.front = front->path;
            e.combined = front->role == "combined";
            if (rear && rear->listed) e.rear = rear->path;
        } else if (rear && rear->listed) {
            // The partner search would pair an unlisted front movie with this rear file.
            Require(!front || front->recipe.unfinished,
                    "a listed rear file with an unlisted front movie");
            e.rear = rear->path;
        } else {
            continue;
        }
        e.displayName = NameOf(e.front.empty() ? e.rear : e.front);
        plan.catalogue.push_back(e);
    }
    std::stable_sort(plan.catalogue.begin(), plan.catalogue.end(),
                     [&](const ExpectedEntry& a, const ExpectedEntry& b) {
                         auto group = [&](const std::string& n) {
                             return kinetta::IsRecordingName(n, family) ||
                                            kinetta::HasJoinPrefix(n, family)
                                        ? 0
                                        : 1;
                         };
                         int ga = group(a.displayName), gb = group(b.displayName);
                         if (ga != gb) return ga < gb;
                         return a.displayName < b.displayName;
                     });

    // Date folders that the tree shows, with the entries found directly in them.
    std::map<std::string, int> perFolder;
    for (const Take& t : takes)
        perFolder[t.folder];
    for (const ExpectedEntry& e : plan.catalogue)
        ++perFolder[FolderOf(e.front.empty() ? e.rear : e.front)];
    for (const auto& [folder, count] : perFolder)
        plan.dateFolders.push_back({folder, count});

    // The newest recording gives the firmware version.
    const Take* newest = nullptr;
    for (const Take& t : takes)
        if (!newest || EpochSeconds(t.start) > EpochSeconds(newest->start)) newest = &t;
    if (newest) plan.firmware = FirmwareText(newest->identification);

    // Copies: deleted recordings in the delete folder, and a recording below DCIM.
    auto firstOf = [&](const std::string& role) -> const PlannedFile* {
        for (const PlannedFile& f : plan.files)
            if (f.generated && f.role == role && f.listed) return &f;
        return nullptr;
    };
    auto smallest = [&](const std::string& role) -> const PlannedFile* {
        const PlannedFile* best = nullptr;
        for (const PlannedFile& f : plan.files) {
            if (!f.generated || f.role != role || !f.listed) continue;
            auto cost = [](const PlannedFile& p) {
                return p.recipe.durationSeconds * p.recipe.frontWidth * p.recipe.frontHeight;
            };
            if (!best || cost(f) < cost(*best)) best = &f;
        }
        return best;
    };
    std::vector<PlannedFile> copies;
    auto copy = [&](const PlannedFile* source, const std::string& path, const std::string& role) {
        if (!source) return;
        PlannedFile f;
        f.path = path;
        f.role = role;
        f.generated = false;
        f.copyOf = source->path;
        f.recipe = source->recipe;
        f.take = source->take;
        DecideListing(family, f);
        copies.push_back(f);
    };
    const std::string del = kDeleteFolder;
    if (preset == Preset::Test) {
        plan.deleteNormal = {0, 1, 2, 5, 6};
        plan.deleteParking = {0, 1};
        plan.deleteTemp = {0};
    } else if (preset == Preset::Demo) {
        plan.deleteNormal = {0, 1};
    }
    const PlannedFile* front = smallest("front");
    const PlannedFile* rear = smallest("rear");
    char number[16];
    for (int n : plan.deleteNormal) {
        std::snprintf(number, sizeof number, "%04d", n);
        copy(front, del + "/NTM" + number + "F.DAT", "deleted");
        if (n % 2 == 0) copy(rear, del + "/NTM" + number + "R.DAT", "deleted");
    }
    for (int n : plan.deleteParking) {
        std::snprintf(number, sizeof number, "%04d", n);
        copy(front, del + "/PTM" + number + "F.DAT", "deleted");
        copy(rear, del + "/PTM" + number + "R.DAT", "deleted");
    }
    for (int n : plan.deleteTemp) {
        std::snprintf(number, sizeof number, "%04d", n);
        const PlannedFile* combined = firstOf("combined");
        copy(combined ? combined : front, del + "/TEMP" + number + ".DAT", "deleted");
    }
    if (preset != Preset::Bench && front) {
        Take t;
        t.number = 99;
        t.start = {2023, 5, 25, 12, 0, 0};
        copy(front, "DCIM/" + takes.front().folder + "/" + CameraName(family, t, false), "outside");
    }
    for (PlannedFile& f : copies)
        plan.files.push_back(std::move(f));

    std::set<std::string> folders = {del};
    for (const PlannedFile& f : plan.files)
        for (std::string dir = FolderOf(f.path); !dir.empty(); dir = FolderOf(dir))
            folders.insert(dir);
    plan.folders.assign(folders.begin(), folders.end()); // sorted: parents before children
    return plan;
}

namespace {

using kutil::Json;
using kutil::JsonNumber;

Json SpanList(const std::vector<std::pair<int, int>>& spans) {
    Json list = Json::array();
    for (const auto& [a, b] : spans)
        list.push_back(Json::array({a, b}));
    return list;
}

Json IntList(const std::vector<int>& values) {
    Json list = Json::array();
    for (int n : values)
        list.push_back(n);
    return list;
}

} // namespace

std::string ManifestJson(const CardPlan& plan, const std::vector<RecordingReport>& reports,
                         const std::vector<uint64_t>& sizes) {
    Json j;
    j["generator"] = "mkcard";
    j["format"] = 1;
    j["family"] = FamilyName(plan.family);
    j["preset"] = PresetName(plan.preset);
    j["seed"] = plan.seed;
    j["model_marker"] = plan.marker;
    j["card_settings"] =
        Json{{"path", kCardSettingsName}, {"gps_data_version", plan.gpsDataVersion}};
    j["trace_marker"] = plan.traceMarker;
    j["firmware"] = plan.firmware;
    j["delete_folder"] = Json{{"path", kDeleteFolder},
                              {"normal", IntList(plan.deleteNormal)},
                              {"parking", IntList(plan.deleteParking)},
                              {"temp", IntList(plan.deleteTemp)}};
    Json dateFolders = Json::array();
    for (const ExpectedFolder& f : plan.dateFolders)
        dateFolders.push_back(Json{{"path", f.path}, {"entries", f.entries}});
    j["date_folders"] = std::move(dateFolders);
    Json catalogue = Json::array();
    for (const ExpectedEntry& e : plan.catalogue)
        catalogue.push_back(Json{{"display_name", e.displayName},
                                 {"front", e.front},
                                 {"rear", e.rear},
                                 {"combined", e.combined}});
    j["catalogue"] = std::move(catalogue);

    Json files = Json::array();
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const PlannedFile& f = plan.files[i];
        const RecordingSpec& s = f.recipe;
        Json file;
        file["path"] = f.path;
        file["role"] = f.role;
        file["listed"] = f.listed;
        if (!f.listed) file["reason"] = f.reason;
        if (!f.generated) file["copy_of"] = f.copyOf;
        file["bytes"] = i < sizes.size() ? sizes[i] : 0;
        file["start"] = IsoText(s.start);
        file["unfinished"] = s.unfinished;
        file["frame_us"] = s.frameUs;
        file["gop"] = s.gop;
        file["time_lapse"] = s.frameUs == kFrameUsTimeLapse;
        if (f.generated && i < reports.size()) {
            const RecordingReport& r = reports[i];
            file["frames"] = r.frames;
            file["duration_us"] = static_cast<uint64_t>(r.frames) * s.frameUs;
            Json tracks = Json::array();
            for (const TrackReport& t : r.tracks) {
                Json track;
                track["kind"] = t.kind;
                if (t.kind == "video") {
                    track["width"] = t.width;
                    track["height"] = t.height;
                    track["sync_samples"] = t.syncSamples;
                }
                track["timescale"] = t.timescale;
                track["sample_delta"] = t.sampleDelta;
                track["samples"] = t.samples;
                track["chunks"] = t.chunks;
                track["media_time"] = t.mediaTime;
                tracks.push_back(std::move(track));
            }
            file["tracks"] = std::move(tracks);
        }
        Json gps;
        gps["present"] = s.gps && !s.unfinished;
        gps["end_marker"] = s.gps && s.endMarker && !s.unfinished;
        if (f.generated && i < reports.size() && s.gps && !s.unfinished) {
            const RecordingReport& r = reports[i];
            gps["records"] = r.records.size();
            gps["identification"] = s.header.identification;
            gps["firmware"] = r.firmware;
            Json levels = Json::array();
            for (int l : s.header.levels)
                levels.push_back(l);
            gps["levels"] = std::move(levels);
            gps["letter"] = std::string(1, s.header.letter);
            gps["flag_a"] = s.header.flagA;
            gps["flag_b"] = s.header.flagB;
            gps["parked"] = s.parked;
            gps["seconds_per_record"] = JsonNumber(s.realSecondsPerRecord, 3);
            if (!r.records.empty()) {
                const GpsRecordValues& first = r.records.front();
                gps["first_time"] = IsoText(first.time);
                gps["first_latitude"] = JsonNumber(first.latitude, 10);
                gps["first_longitude"] = JsonNumber(first.longitude, 11);
            }
            Json events = Json::array();
            for (const GpsEvent& e : s.events)
                events.push_back(Json{{"record", e.record},
                                      {"kind", EventName(e.kind)},
                                      {"viewer_kind", ViewerEventKind(e.kind)}});
            gps["events"] = std::move(events);
            gps["no_fix"] = SpanList(s.noFix);
            gps["jumps"] = SpanList(s.jumps);
            gps["voltage_tenths"] = s.voltageTenths;
        }
        file["gps"] = std::move(gps);
        files.push_back(std::move(file));
    }
    j["files"] = std::move(files);

    Json picture;
    picture["lens_radius"] = JsonNumber(kLensRadius, 3);
    picture["image_circle"] = JsonNumber(kImageCircle, 3);
    picture["front_camera_height_m"] = JsonNumber(kFrontCameraHeight, 2);
    picture["azimuth"] = "degrees clockwise from ahead; ahead is up in the fisheye picture";
    picture["frame_code"] = "16 blocks across the top twelfth, most significant bit left, white 1";
    Json landmarks = Json::array();
    for (const Landmark& m : Landmarks()) {
        double u, v;
        FisheyeTexturePoint(90 + kLandmarkReferenceElevation, m.azimuthDeg, &u, &v);
        Json mark;
        mark["name"] = m.name;
        mark["azimuth"] = JsonNumber(m.azimuthDeg, 6);
        mark["half_width"] = JsonNumber(m.halfWidthDeg, 6);
        mark["bottom_elevation"] = JsonNumber(m.bottomDeg, 6);
        mark["top_elevation"] = JsonNumber(m.topDeg, 6);
        mark["reference_elevation"] = JsonNumber(kLandmarkReferenceElevation, 6);
        mark["rgb"] = Json::array({m.r, m.g, m.b});
        mark["fisheye_u"] = JsonNumber(u, 4);
        mark["fisheye_v"] = JsonNumber(v, 4);
        landmarks.push_back(std::move(mark));
    }
    picture["landmarks"] = std::move(landmarks);
    j["picture"] = std::move(picture);
    return kutil::JsonLine(j) + "\n";
}

} // namespace mkcard
