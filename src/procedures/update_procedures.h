// The per-drive update procedures: 0 updated, 1 this drive not updated,
// -1 end the run.
#pragma once

#include <cstdint>

namespace kambio {

std::int32_t RunTwoPartUpdate();
std::int32_t RunLegacyUpdate();

}  // namespace kambio
