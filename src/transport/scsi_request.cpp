#include "transport/scsi_request.h"

namespace kambio {

SenseInfo senseInfo;

void ResetScsiState() { senseInfo = SenseInfo{}; }

std::int32_t ExecuteScsi(ScsiRequest*) { return -1; }
std::int32_t CaptureSense() { return 0; }
std::int32_t PollDeferredCompletion() { return -1; }

}  // namespace kambio
