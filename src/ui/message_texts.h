// The two text tables of the message catalogue: the raw texts with their
// placeholders, or nullptr for an id that has no text of its own.
#pragma once

#include <cstdint>

namespace kambio {

const char* EnglishMessageText(std::int32_t id);

// Code page 932 bytes, ready for the console and the ANSI message box.
const char* JapaneseMessageText(std::int32_t id);

}  // namespace kambio

namespace kambio {

// The readable source of a Japanese text, before its conversion.
const char* JapaneseMessageTextUtf8(std::int32_t id);

}  // namespace kambio
