#include "transport/platform/platform.h"

namespace kambio {

namespace {
Platform* installed = nullptr;
}

Platform& Host() { return *installed; }

void SetHost(Platform* platform) { installed = platform; }

}  // namespace kambio
