// Turning names read from a volume into names that are safe to create below an output folder.
#pragma once

#include <string>
#include <string_view>

namespace velmora::fs {

// Longest name, in bytes, that the usual Linux file systems accept for one path component.
constexpr size_t kMaxNameBytes = 255;

// Valid UTF-8 of `text`: every byte sequence that is not well-formed UTF-8 becomes U+FFFD.
std::string validUtf8(std::string_view text);

// Leading and trailing white space (blanks, tabs, line ends) removed.
std::string trimWhitespace(std::string_view text);

// A name that can be created as one path component: valid UTF-8, no "/" and no NUL (both
// become "_"), never empty, never "." or "..", at most kMaxNameBytes bytes (shortened at a
// character boundary, keeping a short extension).
std::string safeName(std::string_view name);

// A name as a one-line listing shows it: control characters and "/" as "\xNN", so that
// every entry keeps to its line and its path splits at the right places.
std::string listedName(std::string_view name);

// `name` with " (n)" inserted before its extension ("a.txt" -> "a (2).txt"), kept within
// kMaxNameBytes. A leading dot does not start an extension (".bashrc" -> ".bashrc (2)").
std::string numberedName(const std::string& name, unsigned n);

} // namespace velmora::fs
