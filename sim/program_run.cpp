#include "program_run.h"

#include "app/entry.h"
#include "app/process_state.h"

namespace kambio::sim {

int RunProgram(SimPc& pc, std::string* hangReason) {
    pc.beginRun();
    ResetProcessState();
    SetHost(&pc);
    int exitCode;
    try {
        exitCode = KambioMain();
    } catch (const SimHang& hang) {
        if (hangReason != nullptr) *hangReason = hang.what();
        exitCode = kExitHang;
    }
    pc.trace.add("exit " + std::to_string(exitCode));
    SetHost(nullptr);
    return exitCode;
}

}  // namespace kambio::sim
