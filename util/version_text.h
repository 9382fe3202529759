// The answer of every kinetta program to --version.
#pragma once

#include <string>
#include <string_view>

namespace kutil {

// The program's version (the project version of the build, "0.1.0").
std::string_view ProgramVersion();

// "PROGRAM VERSION" on the first line, then the copyright and licence lines,
// in the form help2man reads into the manual pages' COPYRIGHT section.
std::string VersionText(std::string_view program);

} // namespace kutil
