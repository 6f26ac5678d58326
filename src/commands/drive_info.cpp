#include "commands/drive_info.h"

#include "app/catalogue.h"
#include "app/run_state.h"
#include "commands/standard_commands.h"

namespace kambio {

std::int32_t normalCodeBlank = -1;

void ResetDriveInfoState() { normalCodeBlank = -1; }

namespace {
constexpr std::uint8_t kModeData = 2;
constexpr std::uint8_t kDriveInfoBufferId = 0xF1;
constexpr int kNormalVendorCodeOffset = 32;
}  // namespace

std::int32_t ReadDriveInfo() {
    normalCodeBlank = -1;
    std::int32_t status = ReadBuffer(run.currentIndex, kModeData, kDriveInfoBufferId, 0,
                                     kDriveInfoLength, currentTarget.driveInfo.bytes);
    if (status == 0) normalCodeBlank = currentTarget.driveInfo.bytes[kNormalVendorCodeOffset] == ' ' ? 1 : 0;
    return status;
}

}  // namespace kambio
