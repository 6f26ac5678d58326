// Puts every process-wide record back to its value at program start, as if
// the process had just been loaded. The program itself never needs it (it
// runs once per process); the simulated PC calls it before each run of the
// program and tests call it before each case.
#pragma once

namespace kambio {

void ResetProcessState();

}  // namespace kambio
