// Runs the real program on a simulated PC, as a fresh process would.
#pragma once

#include "sim_pc.h"

namespace kambio::sim {

// Exit code reported when the run was stopped because the program would
// have waited forever.
inline constexpr int kExitHang = 124;

// Starts a new run on the PC, puts every process-wide record back to its
// program-start value, installs the PC as the host and calls the program's
// entry point. Returns the program's exit code, or kExitHang.
int RunProgram(SimPc& pc, std::string* hangReason = nullptr);

}  // namespace kambio::sim
