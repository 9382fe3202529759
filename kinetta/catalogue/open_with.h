#pragma once
// The source named on the command line ("kinetta PATH", the desktop's "Open
// with"): a removable card's mount root opens as an SD card, any other folder
// as a folder source, a regular file as a file source — what choosing it in
// the source dialog opens. A path that does not exist, or names something
// that is neither a file nor a folder (a FIFO, a device, a socket), is
// refused with a message and the viewer starts with its usual source.

#include <string>
#include <string_view>
#include <vector>

#include "kinetta/catalogue/source.h"

namespace kinetta {

// Message texts of a refused path, followed by a line with the path.
inline constexpr std::string_view kOpenPathMissingText =
    "指定されたファイルまたはフォルダーが見つかりません。";
inline constexpr std::string_view kOpenPathNotSourceText =
    "指定されたパスはファイルでもフォルダーでもないため開けません。";

struct OpenWithChoice {
    SourceChoice choice; // kind kSourceNone when refused
    std::string refusal; // the message when refused, else empty
};

// path: as given (relative paths are taken from currentDirectory, one
// trailing separator is dropped). removableRoots: the removable cards' mount
// roots.
OpenWithChoice ChooseOpenWithSource(const std::string& path, const std::string& currentDirectory,
                                    const std::vector<std::string>& removableRoots);

} // namespace kinetta
