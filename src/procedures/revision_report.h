// The revision report and the revision state it derives from INQUIRY data.
#pragma once

#include <cstdint>

namespace kambio {

struct RevisionState {
    std::uint16_t DriveRevisionNumber = 0;  // a.bc read as 0xabc
    std::uint32_t DriveFirmwareDate = 0;    // 0xYYYYMMDD
    std::int32_t KernelModeFlag = 0;        // the drive runs its kernel (update mode)
    std::int32_t HandshakeRequired = 0;
    std::int32_t KernelUpdateRequired = 0;
    std::int32_t UtilityTooOld = 0;
    std::int32_t RomPatchRequired = 0;
};

extern RevisionState revision;

void ResetRevisionState();

}  // namespace kambio
