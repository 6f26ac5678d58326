#include "ui/console.h"

#include <cstdarg>
#include <cstdio>

#include "transport/platform/platform.h"

namespace kambio {

namespace {
constexpr std::size_t kSharedTextInitialSize = 256;

std::string VFormat(const char* format, va_list args) {
    va_list sizing;
    va_copy(sizing, args);
    int length = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (length <= 0) return std::string();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}
}  // namespace

std::string SharedMessageText(kSharedTextInitialSize, '\0');

void ResetSharedMessageText() { SharedMessageText.assign(kSharedTextInitialSize, '\0'); }

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    return text;
}

const std::string& FormatShared(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SharedMessageText = VFormat(format, args);
    va_end(args);
    return SharedMessageText;
}

void PrintText(std::string text) { Host().WriteStdout(text); }

unsigned BoxFlags(std::int32_t style) {
    switch (style) {
        case kStyleOkCancel: return MB_OKCANCEL | MB_ICONQUESTION;
        case kStyleYesNo: return MB_YESNO | MB_ICONQUESTION;
        case kStyleError: return MB_ICONERROR;
        case kStyleInformation: return MB_ICONINFORMATION;
        case kStyleWarning: return MB_ICONWARNING;
        default: return MB_OK;
    }
}

std::int32_t ShowBox(std::string text, std::int32_t style) {
    return Host().MessageBoxA(nullptr, text.c_str(), kBoxCaption, BoxFlags(style));
}

}  // namespace kambio
