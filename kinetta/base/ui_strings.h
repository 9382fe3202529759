#pragma once
// The table of the interface texts: 260 entries in two language columns.
// Column 1 is used when the user's language is US English, column 0 otherwise;
// both columns hold the same Japanese texts. Every window takes its fixed texts
// (captions, tooltips, messages) from here.

#include <string_view>

namespace kinetta {

inline constexpr int kUiStringCount = 300;

// Named entries of the table (the index is the entry's number).
enum UiText : int {
#define KINETTA_UI_TEXT(index, id, text) id = index,
#include "kinetta/base/ui_strings_table.inc"
#undef KINETTA_UI_TEXT
};

// Chooses the column once at start-up from the user's language (for example
// "en_US.UTF-8" selects column 1).
void SelectUiStringColumn(std::string_view locale);
int UiStringColumn();

// The text of an entry in the selected column; empty for unknown indices.
std::string_view UiString(int index);

// The family's wording of a front-camera text: the main variant ("メイン…") for the
// TX40 family, the front variant ("フロント…") for the TX50 family, judged by
// CurrentFamily() at the call.
std::string_view CameraText(UiText mainVariant, UiText frontVariant);

} // namespace kinetta
