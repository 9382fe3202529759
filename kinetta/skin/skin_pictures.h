#pragma once
// The skin's pictures: resource number, stored (nominal) size and frame layout
// of every picture the viewer draws. The artwork itself is resources/skin/<id>.svg,
// drawn at the stored size; it is loaded at the current display scale by the
// scaling rule of ScaledPictureSize().

#include <span>

namespace kinetta {

struct SkinPictureInfo {
    int id;    // resource number; the artwork is "<id>.svg"
    int width; // stored size in pixels
    int height;
    int frames;       // frames side by side (1 for a single picture)
    const char* what; // what it shows, for listings
};

// Every picture of the skin, in ascending id order.
std::span<const SkinPictureInfo> SkinPictures();
// The entry of id, or null.
const SkinPictureInfo* FindSkinPicture(int id);

// ---- Numbers given by the viewer's windows ---------------------------------
// Position slider (control 38100): played track, rest of the track, thumb,
// thumb while dragging.
inline constexpr int kPicPositionTrackPlayed = 174;
inline constexpr int kPicPositionTrackRest = 159;
inline constexpr int kPicPositionThumb = 160;
inline constexpr int kPicPositionThumbDrag = 161;
// Volume slider (control 38101).
inline constexpr int kPicVolumeTrackLeft = 167;
inline constexpr int kPicVolumeTrackRight = 168;
inline constexpr int kPicVolumeThumb = 169;
inline constexpr int kPicVolumeThumbDrag = 170;
// Box strip of the check buttons (12 x 12 frames, see CheckFrameIndex).
inline constexpr int kPicCheckBox = 217;
// Close button of the skinned dialogs and of the floating windows (13 x 12 frames).
inline constexpr int kPicDialogClose = 352;
inline constexpr int kPicFloatingClose = 375;
// Controller bar: up, down, left, right, reset (32 x 32 frames).
inline constexpr int kPicControllerUp = 360;
inline constexpr int kPicControllerDown = 361;
inline constexpr int kPicControllerLeft = 362;
inline constexpr int kPicControllerRight = 363;
inline constexpr int kPicControllerReset = 364;
// Upload conversion: the mask drawn in the preview and the fixed band.
inline constexpr int kPicMaskFrame = 370;
inline constexpr int kPicMaskBand = 371;
// Toolbar buttons of the main window carry their command id (38000 .. 38018).
inline constexpr int kPicToolbarFirst = 38000;
inline constexpr int kPicToolbarLast = 38018;

// ---- Numbers of this skin for pictures the windows name without one ---------
inline constexpr int kPicAppIcon = 128;
inline constexpr int kPicCaptionMinimise = 600; // caption button, command 20 (26 x 18 frames)
inline constexpr int kPicCaptionMaximise = 601; // command 21 (26 x 18 frames)
inline constexpr int kPicCaptionClose = 602;    // command 19 (46 x 18 frames)
inline constexpr int kPicPauseButton = 603;     // play button 38002 in its pause face
inline constexpr int kPicTextButton = 604;      // face of buttons with a text (100 x 30 frames)
inline constexpr int kPicMainBackground = 605;  // background of the main window's panels
inline constexpr int kPicLogoTx40 = 610;        // product logo in the main window, TX40 family
inline constexpr int kPicLogoTx50 = 611;        // the same, TX50 family
inline constexpr int kPicMapLogo = 612;         // logo panel over the map window: plain logo
inline constexpr int kPicMapLogoOffline = 613;  // logo with the no-connection notice
inline constexpr int kPicGraphTx40 = 620;       // acceleration graph background, TX40 family
inline constexpr int kPicGraphTx50 = 621;       // the same, TX50 family
inline constexpr int kPicGraphStar = 622;       // event glyph of kind 11
inline constexpr int kPicGraphBand = 623;       // speeding band, RGB(170,0,0) at 50 %
inline constexpr int kPicInfoBackground = 630;  // information panel background
inline constexpr int kPicResolutionFirst = 631; // resolution icons 1 .. 6 are 631 .. 636
inline constexpr int kPicCameraDefault = 637;   // camera icon: front / main camera
inline constexpr int kPicCameraRear = 638;      // camera icon: rear ("r")
inline constexpr int kPicCameraRearTx40 = 639;  // camera icon: the family's rear ("R"), TX40
inline constexpr int kPicCameraRearTx50 = 640;  // the same, TX50
inline constexpr int kPicGps = 641;             // GPS fix icon
inline constexpr int kPicSpeedPlaceholder = 642;
inline constexpr int kPicAccelPlaceholder = 643;
inline constexpr int kPicVoltagePlaceholder = 644;
inline constexpr int kPicAxisX = 645; // axis toggle buttons 38600 .. 38602 (40 x 20 frames)
inline constexpr int kPicAxisY = 646;
inline constexpr int kPicAxisZ = 647;
inline constexpr int kPicFolderTx40 = 650; // folder tree item, TX40 family
inline constexpr int kPicFolderTx50 = 651; // folder tree item, TX50 family
// Folder tree marks of the trigger filter bits 0x02, 0x04, 0x08, 0x10, 0x20, 0x40.
inline constexpr int kPicMarkFirst = 652;
inline constexpr int kPicFilterSwitch = 660; // trigger filter switches 39000 .. 39006 (32 x 16)
inline constexpr int kPicSourceSd = 670;     // source dialog choices (48 x 48 frames)
inline constexpr int kPicSourceFolder = 671;
inline constexpr int kPicSourceFile = 672;
inline constexpr int kPicMapPinFirst = 680; // map event pins of kinds 0 .. 13 are 680 .. 693
inline constexpr int kPicMapPinShadow = 694;

// The folder-tree mark of one filter bit (0x02 .. 0x40), or 0.
int FolderMarkPicture(int filterBit);

} // namespace kinetta
