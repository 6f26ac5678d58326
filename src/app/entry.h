// The program's entry point: one pass over the drives of the machine.
#pragma once

namespace kambio {

// Runs the program on the platform installed with SetHost and returns the
// process exit code. Command-line arguments are not taken: nothing in the
// run depends on them.
int KambioMain();

}  // namespace kambio
