#include "transport/discovery.h"

namespace kambio {

DiscoveryState discovery;

void ResetDiscoveryState() { discovery = DiscoveryState{}; }

std::int32_t DiscoverTargets() { return 0; }
void HoldMediaNotification(std::int32_t) {}
void ReleaseMediaNotification(std::int32_t) {}

}  // namespace kambio
