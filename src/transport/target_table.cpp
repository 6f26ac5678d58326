#include "transport/target_table.h"

#include "app/run_state.h"
#include "transport/platform/platform.h"
#include "transport/platform_setup.h"

namespace kambio {

TargetTable targetTable;
DriveAccess driveAccess;

void ResetTargetTableState() {
    targetTable = TargetTable{};
    driveAccess = DriveAccess{};
}

namespace {

bool Query(DWORD code, void* out, DWORD outSize) {
    DWORD returned = 0;
    return Host().DeviceIoControl(driveAccess.driveHandle, code, nullptr, 0, out, outSize,
                                  &returned) != 0;
}

std::int32_t Unusable() {
    CloseDrive();
    return -1;
}

}  // namespace

std::int32_t OpenDrive(char driveLetter) {
    transport.Ieee1394Index = -1;
    const char path[] = {'\\', '\\', '.', '\\', driveLetter, ':', '\0'};
    driveAccess.driveHandle = Host().CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (driveAccess.driveHandle == INVALID_HANDLE_VALUE) return -1;

    // A driver that does not answer the question is still a SCSI port; any
    // other refusal means the letter is not one.
    IO_SCSI_CAPABILITIES capabilities{};
    if (!Query(IOCTL_SCSI_GET_CAPABILITIES, &capabilities, sizeof capabilities) &&
        Host().GetLastError() != ERROR_NOT_SUPPORTED) {
        return Unusable();
    }

    // The IEEE1394 bridge's driver has no SCSI address to give; its drive is
    // addressed as 0/0/0 and marked as the one behind the bridge.
    driveAccess.ScsiAddressCache = SCSI_ADDRESS{};
    if (Query(IOCTL_SCSI_GET_ADDRESS, &driveAccess.ScsiAddressCache,
              sizeof driveAccess.ScsiAddressCache)) {
        return 0;
    }
    if (Host().GetLastError() == ERROR_NOT_SUPPORTED) {
        driveAccess.ScsiAddressCache = SCSI_ADDRESS{};
        transport.Ieee1394Index = run.currentIndex;
        return 0;
    }
    return Unusable();
}

std::int32_t CloseDrive() {
    if (driveAccess.driveHandle != INVALID_HANDLE_VALUE) Host().CloseHandle(driveAccess.driveHandle);
    driveAccess.driveHandle = INVALID_HANDLE_VALUE;
    return 0;
}

}  // namespace kambio
