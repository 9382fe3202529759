#include "kinetta/shell/ui_strings.h"

#include <array>
#include <atomic>

namespace kinetta {

namespace {

struct Table {
    std::array<std::string_view, kUiStringCount> text{};
    constexpr Table() {
#define KINETTA_UI_TEXT(index, id, value) text[index] = value;
#include "kinetta/shell/ui_strings_table.inc"
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

int UiStringColumn() { return g_column.load(std::memory_order_relaxed); }

std::string_view UiString(int index) {
    if (index < 0 || index >= kUiStringCount) return {};
    return (UiStringColumn() == 1 ? kColumn1 : kColumn0).text[static_cast<size_t>(index)];
}

} // namespace kinetta
