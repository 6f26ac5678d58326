// The numbered, bilingual message catalogue.
#pragma once

#include <cstdint>
#include <string>

#include "ui/console.h"

namespace kambio {

using MessageId = std::int32_t;
using MessageStyle = std::int32_t;

inline constexpr MessageId kLastMessageId = 78;
inline constexpr const char* kUnknownMessageText = "\r\nUnknow Message Code\r\n";

// The text of a message in the current language, placeholders filled from
// the run state as it stands now.
std::string MessageText(MessageId id);

// Shows the message in the style; returns the box's button id for the box
// styles and 0 otherwise.
std::int32_t ShowMessage(MessageId id, MessageStyle style);

}  // namespace kambio
