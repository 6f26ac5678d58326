#include "ui/messages.h"

#include "app/catalogue.h"
#include "app/run_state.h"
#include "image/binary_image.h"
#include "ui/message_texts.h"

namespace kambio {

namespace {

const char* RawText(MessageId id) {
    // The range test takes the id as unsigned, so negative ids are unknown too.
    if (static_cast<std::uint32_t>(id) > static_cast<std::uint32_t>(kLastMessageId)) return nullptr;
    return UseJapanese() ? JapaneseMessageText(id) : EnglishMessageText(id);
}

// Fills the placeholders of the ids that have them, from the run state.
std::string FillPlaceholders(MessageId id, const char* text) {
    switch (id) {
        case 11: return FormatText(text, currentTarget.fileName);
        case 31: return FormatText(text, run.targetCount);
        case 34: return FormatText(text, run.currentIndex);
        case 46: return FormatText(text, image.imageVersionText);
        case 58: return FormatText(text, run.successCount);
        default: return FormatText("%s", text);
    }
}

bool ShowsBox(MessageStyle style) {
    return style == kStyleOkCancel || style == kStyleYesNo || style == kStyleError ||
           style == kStyleInformation || style == kStyleWarning;
}

bool PrintsText(MessageStyle style) { return style != kStyleOkCancel && style != kStyleYesNo; }

}  // namespace

std::string MessageText(MessageId id) {
    const char* text = RawText(id);
    if (text == nullptr) return kUnknownMessageText;
    return FillPlaceholders(id, text);
}

std::int32_t ShowMessage(MessageId id, MessageStyle style) {
    std::string text = MessageText(id);
    if (PrintsText(style)) PrintText(text);
    if (!ShowsBox(style)) return 0;
    return ShowBox(text, style);
}

}  // namespace kambio
