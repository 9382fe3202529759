#pragma once
// Process-wide state every skinned window draws with: the display scale S, the
// font factor F and the seven shared fonts (face "メイリオ"). Owned by the UI
// thread; the main window sets it at start-up and whenever the scale changes.

#include <QColor>
#include <QFont>

#include <array>

namespace kinetta {

// The seven shared fonts, in the order of their point sizes 9, 10, 13, 17, 22, 12, 15.
enum SharedFontIndex : int {
    kFont9 = 0,
    kFont10 = 1,
    kFont13 = 2,
    kFont17 = 3,
    kFont22 = 4,
    kFont12 = 5,
    kFont15 = 6,
};

// S: pixels per design unit; 1.0 until set.
double SkinScale();
// F: the font factor; 1.0 until set.
double SkinFontFactor();

// Sets S and F and recreates the shared fonts for a screen of dpiY logical
// pixels per inch (heights -MulDiv(trunc(F x p), dpiY, 72)).
void SetSkinScale(double s, double f, int dpiY);

// The seven shared fonts, all of face "メイリオ" (UiStrings entry 115); their pixel
// heights are -MulDiv(trunc(F x p), dpiY, 72) for the points p of SharedFontIndex.
class DrawingFontSet {
public:
    // Recreates the fonts for font factor f on a screen of dpiY pixels per inch.
    void Create(double f, int dpiY);
    bool Created() const { return created_; }
    // The font of index (SharedFontIndex); the 10-point font for unknown indices.
    const QFont& Font(int index) const;

private:
    std::array<QFont, 7> fonts_;
    bool created_ = false;
};

// The process's font set; it exists (at F = 1, 96 dpi) before SetSkinScale.
const DrawingFontSet& SharedFonts();
// SharedFonts().Font(index).
const QFont& SharedFont(int index);

// Colours of the skin.
inline const QColor kSkinWindowColor{0x3F, 0x3F, 0x3F}; // main window background
inline const QColor kSkinTitleColor{0x80, 0x80, 0x80};  // title strip (stock grey brush)
inline const QColor kSkinFrameColor{0x8F, 0x8F, 0x8F};  // frame of the floating windows
inline const QColor kSkinAccentColor{0x00, 0xCC, 0xFF}; // selection and hover accent
inline const QColor kSkinTextColor{0xFF, 0xFF, 0xFF};

} // namespace kinetta
