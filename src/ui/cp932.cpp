#include "ui/cp932.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace kambio {

namespace {

struct Mapping {
    std::uint32_t codePoint;
    std::uint16_t code;
};

constexpr Mapping kTable[] = {
#include "ui/cp932_table.inc"
};

constexpr std::uint32_t kHalfWidthFirst = 0xFF61;  // halfwidth ideographic full stop
constexpr std::uint32_t kHalfWidthLast = 0xFF9F;   // halfwidth semi-voiced sound mark
constexpr std::uint8_t kHalfWidthByteFirst = 0xA1;

// Decodes one UTF-8 sequence at `pos`; returns 0xFFFFFFFF for a broken one.
std::uint32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    std::uint8_t lead = byte(pos);
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || pos + static_cast<std::size_t>(extra) >= text.size()) {
        ++pos;
        return 0xFFFFFFFF;
    }
    std::uint32_t code = extra == 0 ? lead : (lead & (0x3F >> extra));
    for (int i = 1; i <= extra; ++i) {
        std::uint8_t next = byte(pos + static_cast<std::size_t>(i));
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFFFFFF;
        }
        code = (code << 6) | (next & 0x3F);
    }
    pos += static_cast<std::size_t>(extra) + 1;
    return code;
}

}  // namespace

std::string Cp932FromUtf8(std::string_view utf8, bool* complete) {
    std::string out;
    bool allFound = true;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::uint32_t code = NextCodePoint(utf8, pos);
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code >= kHalfWidthFirst && code <= kHalfWidthLast) {
            out.push_back(static_cast<char>(kHalfWidthByteFirst + (code - kHalfWidthFirst)));
        } else {
            auto it = std::lower_bound(std::begin(kTable), std::end(kTable), code,
                                       [](const Mapping& m, std::uint32_t c) { return m.codePoint < c; });
            if (it != std::end(kTable) && it->codePoint == code) {
                out.push_back(static_cast<char>(it->code >> 8));
                out.push_back(static_cast<char>(it->code & 0xFF));
            } else {
                out.push_back('?');
                allFound = false;
            }
        }
    }
    if (complete != nullptr) *complete = allFound;
    return out;
}

}  // namespace kambio
