#include "trace.h"

#include <cstdio>

namespace kambio::sim {

std::vector<std::string> Trace::of(std::string_view kind) const {
    std::vector<std::string> found;
    for (const std::string& line : lines_) {
        if (line.size() > kind.size() && line.compare(0, kind.size(), kind) == 0 &&
            line[kind.size()] == ' ') {
            found.push_back(line);
        }
    }
    return found;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
    std::string out;
    char digits[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        if (i != 0) out += ' ';
        out += digits;
    }
    return out;
}

std::string Hex32(std::uint32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%x", value);
    return digits;
}

}  // namespace kambio::sim
