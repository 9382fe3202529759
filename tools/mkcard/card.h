#pragma once
// Sample SD cards of either recorder family: the folder tree as the recorder
// leaves it, recordings of every kind the viewer meets, and a manifest that
// says what was written and what the viewer should find.

#include <cstdint>
#include <string>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "tools/mkcard/recording.h"

namespace mkcard {

enum class Preset { Test, Demo, Bench };
bool ParsePreset(const std::string& text, Preset* preset);
const char* PresetName(Preset preset);
bool ParseFamily(const std::string& text, playcore::RecorderFamily* family);
const char* FamilyName(playcore::RecorderFamily family);

inline constexpr const char* kManifestName = "mkcard-manifest.json";
inline constexpr const char* kDeleteFolder = "Delete Folder";
inline constexpr const char* kCardSettingsName = "DRFormatConfig.dfc";
inline constexpr const char* kTraceMarkerName = "pvtrace.txt";

// One file of the card, paths relative to the card root with "/".
struct PlannedFile {
    std::string path;
    // "front", "rear", "combined" (movies), "deleted" (in the delete folder),
    // "outside" (below a folder the scan ignores).
    std::string role;
    bool generated = true; // written by WriteRecording; otherwise a copy of copyOf
    RecordingSpec recipe;
    std::string copyOf;
    bool listed = false; // the viewer's scan lists it
    std::string reason;  // why not, when not listed
    int take = -1;       // the recording it belongs to
};

// An entry of the viewer's recording list: the files it pairs.
struct ExpectedEntry {
    std::string displayName;
    std::string front; // relative path or empty
    std::string rear;
    bool combined = false;
};

struct ExpectedFolder {
    std::string path;
    int entries = 0; // list entries whose displayed file lies directly in it
};

struct CardPlan {
    playcore::RecorderFamily family = playcore::RecorderFamily::TX40;
    Preset preset = Preset::Test;
    uint64_t seed = 1;
    std::string marker;
    std::string markerText;
    std::vector<uint8_t> cardSettings;
    std::string gpsDataVersion; // empty: six blanks on the card
    bool traceMarker = false;
    std::vector<int> deleteNormal, deleteParking, deleteTemp;
    std::vector<PlannedFile> files;   // generated files first, then copies
    std::vector<std::string> folders; // every folder to create, parents first
    std::vector<ExpectedFolder> dateFolders;
    std::vector<ExpectedEntry> catalogue; // in list order
    std::string firmware;                 // of the newest recording
};

// The plan of a preset card. Names are checked against the viewer's grammar;
// a plan whose names would not classify as intended throws std::logic_error.
CardPlan MakeCardPlan(playcore::RecorderFamily family, Preset preset, uint64_t seed = 1);

// Bytes of "DRFormatConfig.dfc": 64 bytes, the GPS data version (six digits,
// or six blanks when empty) at offset 33.
std::vector<uint8_t> CardSettingsBytes(playcore::RecorderFamily family,
                                       const std::string& gpsDataVersion);

struct CardOptions {
    playcore::RecorderFamily family = playcore::RecorderFamily::TX40;
    Preset preset = Preset::Test;
    std::string outDir;
    int jobs = 0; // recordings written at once; 0: one per processor core
    uint64_t seed = 1;
    bool force = false;     // replace an earlier mkcard card in outDir
    std::string x264Preset; // overrides the preset's choice when not empty
};

struct CardReport {
    std::string manifest; // the JSON written to the card
    double seconds = 0;
    uint64_t bytes = 0;
    int files = 0;
    int64_t frames = 0; // video frames encoded
};

bool WriteCard(const CardOptions& options, CardReport* report, std::string* error);

// The manifest of a written card.
std::string ManifestJson(const CardPlan& plan, const std::vector<RecordingReport>& reports,
                         const std::vector<uint64_t>& sizes);

} // namespace mkcard
