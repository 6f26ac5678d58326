#include "device.h"

namespace kambio::sim {

std::vector<std::uint8_t> MakeSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    std::vector<std::uint8_t> sense(18, 0);
    sense[0] = 0x70;  // current error, fixed format
    sense[2] = key;
    sense[7] = 10;    // additional sense length
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

}  // namespace kambio::sim
