#include "kinetta/skin/skin_context.h"

#include <QFontDatabase>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/ui_strings.h"

namespace kinetta {

namespace {

// UI thread only.
struct SkinState {
    double s = 1.0;
    double f = 1.0;
    DrawingFontSet fonts;
};

SkinState& State() {
    static SkinState state;
    return state;
}

} // namespace

void DrawingFontSet::Create(double f, int dpiY) {
    const std::string_view name = UiString(kStrFontFace);
    const QString face = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    // Where the face is not installed, fontconfig's default would be a Latin
    // face; name the CJK face that stands in for it so that the metrics of the
    // Japanese texts stay those of one font.
    static bool substituted = false;
    if (!substituted && !QFontDatabase::hasFamily(face)) {
        QFont::insertSubstitution(face, QStringLiteral("Noto Sans CJK JP"));
        substituted = true;
    }
    const auto heights = FontHeights(f, dpiY > 0 ? dpiY : 96);
    for (size_t i = 0; i < heights.size(); ++i) {
        QFont font(face);
        font.setPixelSize(std::max(1, std::abs(heights[i])));
        font.setWeight(QFont::Normal);
        fonts_[i] = font;
    }
    created_ = true;
}

const QFont& DrawingFontSet::Font(int index) const {
    if (index < 0 || index >= static_cast<int>(fonts_.size())) index = kFont10;
    return fonts_[static_cast<size_t>(index)];
}

double SkinScale() {
    return State().s;
}
double SkinFontFactor() {
    return State().f;
}

void SetSkinScale(double s, double f, int dpiY) {
    SkinState& st = State();
    st.s = s > 0.0 ? s : 1.0;
    // Without a usable font factor the fonts keep their sizes.
    if (f > 0.0) {
        st.f = f;
        st.fonts.Create(f, dpiY);
    }
}

const DrawingFontSet& SharedFonts() {
    SkinState& st = State();
    if (!st.fonts.Created()) st.fonts.Create(st.f, 96);
    return st.fonts;
}

const QFont& SharedFont(int index) {
    return SharedFonts().Font(index);
}

} // namespace kinetta
