#pragma once
// The settings dialog's rules that need no window: which event switches a
// recorder family shows, their texts and command ids, the explanation text and
// the version line.

#include <array>
#include <string>
#include <string_view>

#include "kinetta/base/recorder_family.h"

namespace kinetta {

// The six event switches, in this order; wParam of UM_SETTINGS_NOTIFY is the
// index, lParam the new state (0 or 1).
inline constexpr int kSettingsSwitchCount = 6;
inline constexpr int kSettingsSwitchFirstCommand = 32968; // 32968..32973
inline constexpr int kSettingsLinkControl = 39100;
inline constexpr int kSettingsVersionControl = 32981;
inline constexpr int kSettingsDialogResource = 175;
// The date the viewer was built, as the version line reads it.
inline constexpr std::string_view kViewerBuildDate = "May 25 2023";
inline constexpr std::string_view kMakerName = "NORVAK";

// Whether the switch of index is shown for family: the TX40 family shows only
// "駐車監視衝撃" (2); the TX50 family all but "レーダー波警報" (5).
bool SettingsSwitchShown(RecorderFamily family, int index);
// The interface text of the switch of index.
std::string_view SettingsSwitchText(int index);

// The explanation as every layout pass sets it: the text about the three
// viewer variants, two line breaks, "現在使用中のビューワソフト：" and this
// viewer's name.
std::string SettingsExplanationText();
// "Version 2.0.1", a line break, then the build year and the maker's name.
std::string SettingsVersionLine();
// The last blank-separated word of a build date ("May 25 2023" gives "2023").
std::string BuildYear(std::string_view buildDate);

} // namespace kinetta
