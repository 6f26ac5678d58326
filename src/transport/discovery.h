// Drive discovery: which drives of this machine the catalogue supports.
#pragma once

#include <cstdint>

#include "transport/platform/win_types.h"

namespace kambio {

inline constexpr int kCdDriveSlots = 256;

struct DiscoveryState {
    std::int32_t IdeAdapters[2] = {-1, -1};  // primary and secondary IDE adapter (ASPI)
    std::int8_t CdDriveCount = 0;            // CD/DVD letters met (pass-through)
    char CdDriveLetters[kCdDriveSlots] = {};
    HANDLE McnHandles[kCdDriveSlots] = {};
};

extern DiscoveryState discovery;

// Fills the TargetTable; returns the number of targets.
std::int32_t DiscoverTargets();
void HoldMediaNotification(std::int32_t cdIndex);
void ReleaseMediaNotification(std::int32_t cdIndex);

void ResetDiscoveryState();

}  // namespace kambio
