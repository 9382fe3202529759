#include "kinetta/base/ui_strings.h"

#include <array>
#include <atomic>

#include "kinetta/base/recorder_family.h"

namespace kinetta {

namespace {

// Every entry must name its own slot inside the table: a repeated or out-of-range
// index would silently overwrite or lose a text.
constexpr bool IndicesAreValid() {
    std::array<bool, kUiStringCount> used{};
#define KINETTA_UI_TEXT(index, id, value)                                                          \
    if ((index) < 0 || (index) >= kUiStringCount || used[index]) return false;                     \
    used[index] = true;
#include "kinetta/base/ui_strings_table.inc"
#undef KINETTA_UI_TEXT
    return true;
}
static_assert(IndicesAreValid(), "ui_strings_table.inc: index repeated or outside 0..259");
static_assert(kStrFontFace == 115, "the shared fonts read their face from entry 115");

struct Table {
    std::array<std::string_view, kUiStringCount> text{};
    constexpr Table() {
#define KINETTA_UI_TEXT(index, id, value) text[index] = value;
#include "kinetta/base/ui_strings_table.inc"
#undef KINETTA_UI_TEXT
    }
};

// Both columns hold the same texts; the column choice is kept so that a
// translated column can be added without touching the callers.
constexpr Table kColumn0{};
constexpr Table kColumn1{};

std::atomic<int> g_column{0}; // written once at start-up on the UI thread

} // namespace

void SelectUiStringColumn(std::string_view locale) {
    g_column.store(locale.substr(0, 5) == "en_US" ? 1 : 0, std::memory_order_relaxed);
}

int UiStringColumn() {
    return g_column.load(std::memory_order_relaxed);
}

std::string_view UiString(int index) {
    if (index < 0 || index >= kUiStringCount) return {};
    return (UiStringColumn() == 1 ? kColumn1 : kColumn0).text[static_cast<size_t>(index)];
}

std::string_view CameraText(UiText mainVariant, UiText frontVariant) {
    return UiString(CurrentFamily() == RecorderFamily::TX50 ? frontVariant : mainVariant);
}

} // namespace kinetta
