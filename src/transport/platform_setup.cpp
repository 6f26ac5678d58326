#include "transport/platform_setup.h"

namespace kambio {

TransportState transport;

void ResetTransportState() { transport = TransportState{}; }

void DetectPlatform() {}
std::int32_t SetUpAspi() { return 1; }
std::int32_t SetUpPassThrough() { return 0; }
void TearDownTransport() {}

}  // namespace kambio
