#include "util/version_text.h"

// Set from the project version by util/CMakeLists.txt.
#ifndef KINETTA_VERSION
#error "KINETTA_VERSION is not defined"
#endif

namespace kutil {

std::string_view ProgramVersion() {
    return KINETTA_VERSION;
}

std::string VersionText(std::string_view program) {
    std::string text(program);
    text += ' ';
    text += ProgramVersion();
    text += "\nCopyright (C) 2026 The kinetta developers\n"
            "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
            "This is free software: you are free to change and redistribute it.\n"
            "There is NO WARRANTY, to the extent permitted by law.\n";
    return text;
}

} // namespace kutil
