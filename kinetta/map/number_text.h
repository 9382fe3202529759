#pragma once
// Numbers as the map page reads them, whatever the process locale says (a
// window system may set one whose decimal mark is not "."): "%f" (six
// decimals) and "%d", written with std::to_chars.

#include <cstdint>
#include <string>

namespace kinetta::map {

// Six decimals, like printf's "%f" in the C locale. A non-finite value is
// written as 0.000000 so that a script or message stays well-formed.
std::string FixedText(double value);
// The shortest text that reads back as the same double (17 digits at most);
// 0 for a non-finite value.
std::string RealText(double value);
std::string IntText(int64_t value);

} // namespace kinetta::map
