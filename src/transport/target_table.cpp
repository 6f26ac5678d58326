#include "transport/target_table.h"

namespace kambio {

TargetTable targetTable;
DriveAccess driveAccess;

void ResetTargetTableState() {
    targetTable = TargetTable{};
    driveAccess = DriveAccess{};
}

std::int32_t OpenDrive(char) { return -1; }
std::int32_t CloseDrive() { return 0; }

}  // namespace kambio
