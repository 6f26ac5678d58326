// The console print, the message box and the shared formatting text through
// which all of the program's output reaches the user.
#pragma once

#include <cstdint>
#include <string>

namespace kambio {

// Box styles (the MessageStyle values that show a box).
inline constexpr std::int32_t kStyleConsole = 0;
inline constexpr std::int32_t kStyleOkCancel = 1;
inline constexpr std::int32_t kStyleYesNo = 2;
inline constexpr std::int32_t kStyleError = 16;
inline constexpr std::int32_t kStyleInformation = 17;
inline constexpr std::int32_t kStyleWarning = 18;

inline constexpr const char* kBoxCaption = "KAMBIO";

// The process-wide text that callers format a line into and then print.
// Every formatting replaces its content; it grows as needed.
extern std::string SharedMessageText;
void ResetSharedMessageText();

// printf-style formatting into a new text that is never cut short.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats into SharedMessageText and returns it.
const std::string& FormatShared(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the text to standard output unchanged; a percent sign stays as it is.
void PrintText(std::string text);

// Shows a modal box captioned "KAMBIO" with the buttons and icon of the
// style; returns the button id, or 0 when no box could be shown.
std::int32_t ShowBox(std::string text, std::int32_t style);

// The MessageBoxA flags of a box style.
unsigned BoxFlags(std::int32_t style);

}  // namespace kambio
