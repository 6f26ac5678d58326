// The drive information block: the identity of the firmware a drive runs.
#pragma once

#include <cstdint>

namespace kambio {

inline constexpr int kDriveInfoLength = 48;
// The block is read into 64 bytes of storage, so that a buffered transfer
// of up to 32 bytes past its start never leaves it.
inline constexpr int kDriveInfoStorage = 64;

struct DriveInfoStorage {
    std::uint8_t bytes[kDriveInfoStorage];

    const char* hardwareRevision() const { return reinterpret_cast<const char*>(bytes + 16); }
    const char* kernelVendorCode() const { return reinterpret_cast<const char*>(bytes + 24); }
    const char* normalVendorCode() const { return reinterpret_cast<const char*>(bytes + 32); }
};

}  // namespace kambio

namespace kambio {

// -1 before a read and after a failed one; 1 when the normal vendor code
// starts with a blank (the drive holds no normal part); 0 otherwise.
extern std::int32_t normalCodeBlank;

// Reads the current target's information block into CurrentTarget.
std::int32_t ReadDriveInfo();

void ResetDriveInfoState();

}  // namespace kambio
