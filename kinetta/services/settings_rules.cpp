#include "kinetta/services/settings_rules.h"

#include "kinetta/services/update_check.h"
#include "kinetta/base/ui_strings.h"

namespace kinetta {

bool SettingsSwitchShown(RecorderFamily family, int index) {
    if (index < 0 || index >= kSettingsSwitchCount) return false;
    return family == RecorderFamily::TX40 ? index == 2 : index != 5;
}

std::string_view SettingsSwitchText(int index) {
    static constexpr UiText kTexts[kSettingsSwitchCount] = {
        kStrDriveSupport, kStrEmergencyStop,   kStrParkingMonitorShock,
        kStrSpeeding,     kStrAutoSpeedCamera, kStrRadarWarning};
    return index >= 0 && index < kSettingsSwitchCount ? UiString(kTexts[index])
                                                      : std::string_view();
}

std::string SettingsExplanationText() {
    return std::string(UiString(kStrViewerAboutText)) + "\n\n" +
           std::string(UiString(kStrViewerInUse)) + std::string(UiString(kStrAppCaption));
}

std::string BuildYear(std::string_view date) {
    const size_t end = date.find_last_not_of(' ');
    if (end == std::string_view::npos) return {};
    const size_t start = date.find_last_of(' ', end);
    return std::string(date.substr(start == std::string_view::npos ? 0 : start + 1,
                                   end - (start == std::string_view::npos ? 0 : start + 1) + 1));
}

std::string SettingsVersionLine() {
    return "Version " + std::string(kViewerVersion) + "\nCopyright (C) " +
           BuildYear(kViewerBuildDate) + " " + std::string(kMakerName);
}

} // namespace kinetta
