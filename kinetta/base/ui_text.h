#pragma once
// The interface texts as Qt strings, for the windows. The table holds UTF-8.

#include <QString>

#include <string_view>

#include "kinetta/base/ui_strings.h"

namespace kinetta {

inline QString UiQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The text of a table entry in the selected column.
inline QString Text(int id) {
    return UiQString(UiString(id));
}

} // namespace kinetta
