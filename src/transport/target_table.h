// The table of target drives that every command addresses by index, and
// drive access by letter on the pass-through transport.
#pragma once

#include <cstdint>

#include "transport/platform/win_types.h"

namespace kambio {

inline constexpr int kTargetTableSize = 256;

struct TargetDrive {
    std::int32_t adapter = 0;   // ASPI host adapter number
    std::int32_t target = 0;    // ASPI target id (logical unit 0)
    char driveLetter = 0;       // pass-through drive letter
};

struct TargetTable {
    TargetDrive entries[kTargetTableSize];
};

struct DriveAccess {
    SCSI_ADDRESS ScsiAddressCache = {};  // of the drive opened last
    HANDLE driveHandle = INVALID_HANDLE_VALUE;
};

extern TargetTable targetTable;
extern DriveAccess driveAccess;

// Opens the drive by letter and asks for its SCSI address: 0 open and
// addressed, -1 not usable.
std::int32_t OpenDrive(char driveLetter);
std::int32_t CloseDrive();

void ResetTargetTableState();

}  // namespace kambio
