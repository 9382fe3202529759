#include "kinetta/skin/skin_context.h"

#include <QFontDatabase>
#include <QString>

#include <array>
#include <cstdlib>

#include "kinetta/shell/display_scale.h"
#include "kinetta/shell/ui_strings.h"

namespace kinetta {

namespace {

// UI thread only.
struct SkinState {
    double s = 1.0;
    double f = 1.0;
    std::array<QFont, 7> fonts;
    bool fontsMade = false;
};

SkinState& State() {
    static SkinState state;
    return state;
}

void MakeFonts(SkinState& st, int dpiY) {
    const QString face = QString::fromUtf8(UiString(kStrFontFace).data(),
                                           static_cast<qsizetype>(UiString(kStrFontFace).size()));
    // Where the face is not installed, fontconfig's default would be a Latin
    // face; name the CJK face that stands in for it so that the metrics of the
    // Japanese texts stay those of one font.
    static bool substituted = false;
    if (!substituted && !QFontDatabase::hasFamily(face)) {
        QFont::insertSubstitution(face, QStringLiteral("Noto Sans CJK JP"));
        substituted = true;
    }
    const auto heights = FontHeights(st.f, dpiY > 0 ? dpiY : 96);
    for (size_t i = 0; i < heights.size(); ++i) {
        QFont font(face);
        font.setPixelSize(std::max(1, std::abs(heights[i])));
        font.setWeight(QFont::Normal);
        st.fonts[i] = font;
    }
    st.fontsMade = true;
}

} // namespace

double SkinScale() {
    return State().s;
}
double SkinFontFactor() {
    return State().f;
}

void SetSkinScale(double s, double f, int dpiY) {
    SkinState& st = State();
    st.s = s > 0.0 ? s : 1.0;
    st.f = f > 0.0 ? f : st.s;
    MakeFonts(st, dpiY);
}

const QFont& SharedFont(int index) {
    SkinState& st = State();
    if (!st.fontsMade) MakeFonts(st, 96);
    if (index < 0 || index >= static_cast<int>(st.fonts.size())) index = kFont10;
    return st.fonts[static_cast<size_t>(index)];
}

} // namespace kinetta
