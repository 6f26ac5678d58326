// The trace of a simulated run: one line per event the host saw, in a stable
// format (docs/trace.md), so that scenarios and tests can check what the
// program did on the wire and on the screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kambio::sim {

class Trace {
public:
    void add(std::string line) { lines_.push_back(std::move(line)); }
    const std::vector<std::string>& lines() const { return lines_; }
    void clear() { lines_.clear(); }

    // Lines that begin with `kind` followed by a blank.
    std::vector<std::string> of(std::string_view kind) const;

private:
    std::vector<std::string> lines_;
};

// A text as a trace field: in double quotes, with backslash, quote and
// control characters escaped C-style; bytes from 80h up are kept as they are,
// so that code page 932 texts keep their bytes.
std::string Quoted(std::string_view text);

// Bytes as two-digit lower-case hexadecimal numbers separated by blanks.
std::string HexBytes(const std::uint8_t* bytes, std::size_t count);

std::string Hex32(std::uint32_t value);

}  // namespace kambio::sim
