// The per-drive question of the one-by-one mode.
#pragma once

#include <cstdint>

namespace kambio {

// Asks whether the current target is to be updated; returns the button id
// (6 Yes, 7 No, 0 when no box could be shown).
std::int32_t ConfirmUpdate();

}  // namespace kambio
