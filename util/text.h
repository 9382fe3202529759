#pragma once
// Small text helpers shared by the pure core.

#include <string>
#include <string_view>

namespace kutil {

// ASCII-only case folding: recorder names and card files are ASCII, and FAT
// folds only ASCII letters. Other bytes (UTF-8 sequences) are left alone.
char AsciiLower(char c);
std::string AsciiLower(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Position of needle in hay without regard to ASCII case, or npos.
size_t FindNoCase(std::string_view hay, std::string_view needle);

// Decimal integer with the C library's leading-digits rule: optional blanks,
// optional sign, then digits; text that does not start with a number gives 0.
// Saturates at the int range instead of overflowing.
int LeadingInt(std::string_view s);

std::string_view TrimBlanks(std::string_view s);

// Last path component ("a/b/c.MP4" gives "c.MP4"); the path itself when it has no '/'.
std::string_view FileNameOf(std::string_view path);
// Everything before the last '/' ("a/b/c" gives "a/b"); "." when there is none.
std::string DirectoryOf(std::string_view path);
std::string JoinPath(std::string_view dir, std::string_view name);

// Whether s is valid UTF-8 (no overlongs, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view s);

} // namespace kutil
