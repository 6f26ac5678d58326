// How kambio-sim shows the program's console and boxes to a person.
#pragma once

#include <string>
#include <string_view>

#include "sim_pc.h"

namespace kambio::sim {

// Converts code page 932 bytes to UTF-8 when `toUtf8` is set, for a terminal
// that shows UTF-8; otherwise returns the bytes unchanged.
std::string ForTerminal(std::string_view cp932, bool toUtf8);

// The box as kambio-sim prints it on standard error.
std::string DescribeBox(const BoxRecord& box, bool toUtf8);

// Button names of a box ("Yes/No", "OK/Cancel", "OK") and its icon name.
std::string ButtonsOf(UINT flags);
std::string IconOf(UINT flags);

// Reads an answer for the box from the terminal: y/n, o/c or Enter for OK.
// Returns 0 when nothing can be read.
int AskTerminal(const BoxRecord& box, bool toUtf8);

}  // namespace kambio::sim
