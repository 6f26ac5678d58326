// Code page 932 (Shift JIS as Windows has it) for the program's own
// Japanese texts, which are kept as UTF-8 in the sources.
#pragma once

#include <string>
#include <string_view>

namespace kambio {

// Converts UTF-8 text to code page 932 bytes. ASCII passes unchanged,
// half-width katakana become their single bytes A1h..DFh, and the other
// characters are looked up in the table of the characters the program uses.
// A character outside that table becomes "?" and the result is marked
// incomplete through `complete`.
std::string Cp932FromUtf8(std::string_view utf8, bool* complete = nullptr);

}  // namespace kambio
