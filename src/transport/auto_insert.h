// The auto insert notification check on the ASPI transport: a drive behind
// an IEEE1394 bridge misbehaves while Windows polls it for new media.
#pragma once

#include <cstdint>

namespace kambio {

std::int32_t CheckAutoInsert();

}  // namespace kambio
