#include "kinetta/skin/skin_pictures.h"

#include <algorithm>
#include <array>

namespace kinetta {

namespace {

constexpr SkinPictureInfo kPictures[] = {
    {kPicAppIcon, 32, 32, 1, "application icon"},
    {kPicPositionTrackRest, 800, 10, 1, "position slider: track after the thumb"},
    {kPicPositionThumb, 25, 10, 1, "position slider: thumb"},
    {kPicPositionThumbDrag, 25, 10, 1, "position slider: thumb while dragging"},
    {kPicVolumeTrackLeft, 100, 20, 1, "volume slider: track before the thumb"},
    {kPicVolumeTrackRight, 100, 20, 1, "volume slider: track after the thumb"},
    {kPicVolumeThumb, 10, 20, 1, "volume slider: thumb"},
    {kPicVolumeThumbDrag, 10, 20, 1, "volume slider: thumb while dragging"},
    {kPicPositionTrackPlayed, 800, 10, 1, "position slider: track before the thumb"},
    {kPicCheckBox, 72, 12, 6, "check box"},
    {kPicDialogClose, 52, 12, 4, "close button of the skinned dialogs"},
    {kPicControllerUp, 128, 32, 4, "controller: up"},
    {kPicControllerDown, 128, 32, 4, "controller: down"},
    {kPicControllerLeft, 128, 32, 4, "controller: left"},
    {kPicControllerRight, 128, 32, 4, "controller: right"},
    {kPicControllerReset, 128, 32, 4, "controller: reset"},
    {kPicMaskFrame, 400, 400, 1, "conversion: mask in the preview"},
    {kPicMaskBand, 800, 600, 1, "conversion: fixed band"},
    {kPicFloatingClose, 52, 12, 4, "close button of the floating windows"},
    {kPicCaptionMinimise, 104, 18, 4, "caption: minimise"},
    {kPicCaptionMaximise, 104, 18, 4, "caption: maximise"},
    {kPicCaptionClose, 184, 18, 4, "caption: close"},
    {kPicPauseButton, 128, 32, 4, "toolbar: pause face of the play button"},
    {kPicTextButton, 400, 30, 4, "face of text buttons"},
    {kPicMainBackground, 140, 120, 1, "main window background"},
    {kPicLogoTx40, 160, 24, 1, "product logo TX40/40L"},
    {kPicLogoTx50, 160, 24, 1, "product logo TX50"},
    {kPicMapLogo, 392, 406, 1, "map logo panel"},
    {kPicMapLogoOffline, 392, 406, 1, "map logo panel: no connection"},
    {kPicGraphTx40, 656, 70, 1, "acceleration graph background TX40"},
    {kPicGraphTx50, 640, 120, 1, "acceleration graph background TX50"},
    {kPicGraphStar, 11, 11, 1, "graph event star"},
    {kPicGraphBand, 1000, 300, 1, "graph speeding band"},
    {kPicInfoBackground, 569, 120, 1, "information panel background"},
    {kPicResolutionFirst + 0, 40, 16, 1, "resolution icon 1"},
    {kPicResolutionFirst + 1, 40, 16, 1, "resolution icon 2"},
    {kPicResolutionFirst + 2, 40, 16, 1, "resolution icon 3 (720)"},
    {kPicResolutionFirst + 3, 40, 16, 1, "resolution icon 4"},
    {kPicResolutionFirst + 4, 40, 16, 1, "resolution icon 5 (1080)"},
    {kPicResolutionFirst + 5, 40, 16, 1, "resolution icon 6"},
    {kPicCameraDefault, 32, 16, 1, "camera icon: front / main"},
    {kPicCameraRear, 32, 16, 1, "camera icon: rear"},
    {kPicCameraRearTx40, 32, 16, 1, "camera icon: rear TX40"},
    {kPicCameraRearTx50, 32, 16, 1, "camera icon: rear TX50"},
    {kPicGps, 36, 16, 1, "GPS icon"},
    {kPicSpeedPlaceholder, 90, 30, 1, "speed placeholder"},
    {kPicAccelPlaceholder, 70, 20, 1, "acceleration placeholder"},
    {kPicVoltagePlaceholder, 40, 20, 1, "voltage placeholder"},
    {kPicAxisX, 160, 20, 4, "axis button X"},
    {kPicAxisY, 160, 20, 4, "axis button Y"},
    {kPicAxisZ, 160, 20, 4, "axis button Z"},
    {kPicFolderTx40, 18, 14, 1, "folder TX40"},
    {kPicFolderTx50, 18, 14, 1, "folder TX50"},
    {kPicMarkFirst + 0, 12, 12, 1, "mark 0x02 manual"},
    {kPicMarkFirst + 1, 12, 12, 1, "mark 0x04 shock"},
    {kPicMarkFirst + 2, 12, 12, 1, "mark 0x08 parking"},
    {kPicMarkFirst + 3, 12, 12, 1, "mark 0x10 parking shock"},
    {kPicMarkFirst + 4, 12, 12, 1, "mark 0x20 speed camera"},
    {kPicMarkFirst + 5, 12, 12, 1, "mark 0x40 radar"},
    {kPicFilterSwitch, 128, 16, 4, "trigger filter switch"},
    {kPicSourceSd, 192, 48, 4, "source: SD card"},
    {kPicSourceFolder, 192, 48, 4, "source: folder"},
    {kPicSourceFile, 192, 48, 4, "source: file"},
    {kPicMapPinFirst + 0, 32, 32, 1, "map pin 0 shock"},
    {kPicMapPinFirst + 1, 32, 32, 1, "map pin 1 shock"},
    {kPicMapPinFirst + 2, 32, 32, 1, "map pin 2 shock"},
    {kPicMapPinFirst + 3, 32, 32, 1, "map pin 3 shock"},
    {kPicMapPinFirst + 4, 32, 32, 1, "map pin 4 shock"},
    {kPicMapPinFirst + 5, 32, 32, 1, "map pin 5 user point"},
    {kPicMapPinFirst + 6, 32, 32, 1, "map pin 6 emergency stop"},
    {kPicMapPinFirst + 7, 32, 32, 1, "map pin 7 parking"},
    {kPicMapPinFirst + 8, 32, 32, 1, "map pin 8 speeding"},
    {kPicMapPinFirst + 9, 32, 32, 1, "map pin 9 speed camera"},
    {kPicMapPinFirst + 10, 32, 32, 1, "map pin 10 radar"},
    {kPicMapPinFirst + 11, 32, 32, 1, "map pin 11 drive assist DH"},
    {kPicMapPinFirst + 12, 32, 32, 1, "map pin 12 drive assist DA"},
    {kPicMapPinFirst + 13, 32, 32, 1, "map pin 13 drive assist DB"},
    {kPicMapPinShadow, 49, 32, 1, "map pin shadow"},
    {38000, 128, 32, 4, "toolbar 38000 to the start"},
    {38001, 128, 32, 4, "toolbar 38001 previous"},
    {38002, 128, 32, 4, "toolbar 38002 play"},
    {38003, 128, 32, 4, "toolbar 38003 slow"},
    {38004, 128, 32, 4, "toolbar 38004 fast-forward"},
    {38005, 128, 32, 4, "toolbar 38005 next"},
    {38006, 128, 32, 4, "toolbar 38006 still picture"},
    {38007, 128, 32, 4, "toolbar 38007 join"},
    {38008, 128, 32, 4, "toolbar 38008 save (split)"},
    {38009, 128, 32, 4, "toolbar 38009 zoom"},
    {38010, 128, 32, 4, "toolbar 38010 display mode"},
    {38011, 128, 32, 4, "toolbar 38011 flip picture"},
    {38012, 128, 32, 4, "toolbar 38012 normal / mirror"},
    {38013, 128, 32, 4, "toolbar 38013 map display"},
    {38014, 128, 32, 4, "toolbar 38014 browse"},
    {38015, 128, 32, 4, "toolbar 38015 delete"},
    {38016, 128, 32, 4, "toolbar 38016 settings"},
    {38017, 128, 32, 4, "toolbar 38017 CSV"},
    {38018, 128, 32, 4, "toolbar 38018 switch camera"},
};

constexpr bool SortedById() {
    for (size_t i = 1; i < std::size(kPictures); ++i)
        if (kPictures[i - 1].id >= kPictures[i].id) return false;
    return true;
}
static_assert(SortedById(), "the picture table is kept in ascending id order");

} // namespace

std::span<const SkinPictureInfo> SkinPictures() {
    return kPictures;
}

const SkinPictureInfo* FindSkinPicture(int id) {
    auto it = std::lower_bound(std::begin(kPictures), std::end(kPictures), id,
                               [](const SkinPictureInfo& p, int v) { return p.id < v; });
    return it != std::end(kPictures) && it->id == id ? &*it : nullptr;
}

int FolderMarkPicture(int filterBit) {
    constexpr std::array<int, 6> kBits = {0x02, 0x04, 0x08, 0x10, 0x20, 0x40};
    for (size_t i = 0; i < kBits.size(); ++i)
        if (kBits[i] == filterBit) return kPicMarkFirst + static_cast<int>(i);
    return 0;
}

} // namespace kinetta
