#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_state.h"
#include "sim_fixture.h"
#include "transport/platform_setup.h"
#include "transport/target_table.h"

namespace kambio {
namespace {

using testing::SimTest;

struct OpenCase {
    const char* name;
    bool attached;
    sim::DriveLetter drive;
    std::int32_t result;
    std::int32_t ieee1394;              // with currentIndex 5 and Ieee1394Index 9 before
    std::vector<DWORD> ioctls;          // the codes sent, in order
};

class OpenDriveTest : public SimTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenDriveTest, OpensAndAddressesOrLeavesNothingOpen) {
    const OpenCase& c = GetParam();
    if (c.attached) pc.attachLetter('F', c.drive);
    run.currentIndex = 5;
    transport.Ieee1394Index = 9;
    driveAccess.ScsiAddressCache = SCSI_ADDRESS{8, 9, 9, 9, 9};

    EXPECT_EQ(OpenDrive('F'), c.result);
    EXPECT_EQ(transport.Ieee1394Index, c.ieee1394);
    std::vector<DWORD> sent;
    for (const sim::IoctlCall& call : pc.ioctlCalls()) sent.push_back(call.code);
    EXPECT_EQ(sent, c.ioctls);
    if (c.result == 0) {
        EXPECT_EQ(pc.openDriveHandles(), 1u);
        EXPECT_NE(driveAccess.driveHandle, INVALID_HANDLE_VALUE);
        CloseDrive();
    }
    EXPECT_EQ(pc.openDriveHandles(), 0u);
    EXPECT_EQ(driveAccess.driveHandle, INVALID_HANDLE_VALUE);
}

sim::DriveLetter Drive(DWORD openError, DWORD capabilitiesError, DWORD addressError) {
    sim::DriveLetter drive;
    drive.openError = openError;
    drive.capabilitiesError = capabilitiesError;
    drive.addressError = addressError;
    drive.address = SCSI_ADDRESS{8, 1, 0, 1, 0};
    return drive;
}

constexpr DWORD kCaps = IOCTL_SCSI_GET_CAPABILITIES;
constexpr DWORD kAddress = IOCTL_SCSI_GET_ADDRESS;

INSTANTIATE_TEST_SUITE_P(
    Letters, OpenDriveTest,
    ::testing::Values(
        OpenCase{"NoDevice", false, {}, -1, -1, {}},
        OpenCase{"OpenRefused", true, Drive(ERROR_ACCESS_DENIED, 0, 0), -1, -1, {}},
        OpenCase{"Addressed", true, Drive(0, 0, 0), 0, -1, {kCaps, kAddress}},
        OpenCase{"CapabilitiesNotSupported", true, Drive(0, ERROR_NOT_SUPPORTED, 0), 0, -1, {kCaps, kAddress}},
        OpenCase{"CapabilitiesFail", true, Drive(0, ERROR_GEN_FAILURE, 0), -1, -1, {kCaps}},
        OpenCase{"AddressNotSupported", true, Drive(0, 0, ERROR_NOT_SUPPORTED), 0, 5, {kCaps, kAddress}},
        OpenCase{"AddressFails", true, Drive(0, 0, ERROR_IO_DEVICE), -1, -1, {kCaps, kAddress}}),
    [](const auto& info) { return std::string(info.param.name); });

class DriveAccessTest : public SimTest {};

TEST_F(DriveAccessTest, OpensTheDevicePathForReadingAndWritingShared) {
    pc.attachLetter('E', sim::DriveLetter{});
    ASSERT_EQ(OpenDrive('E'), 0);
    EXPECT_EQ(pc.trace.of("open"),
              std::vector<std::string>{"open \"\\\\\\\\.\\\\E:\" -> drive access=0xc0000000"});
    CloseDrive();
}

TEST_F(DriveAccessTest, AddressCacheHoldsWhatTheDriveReportsOrZero) {
    sim::DriveLetter addressed;
    addressed.address = SCSI_ADDRESS{8, 2, 3, 4, 5};
    pc.attachLetter('E', addressed);
    sim::DriveLetter bridge = addressed;
    bridge.addressError = ERROR_NOT_SUPPORTED;
    pc.attachLetter('G', bridge);

    ASSERT_EQ(OpenDrive('E'), 0);
    EXPECT_EQ(driveAccess.ScsiAddressCache.PathId, 3);
    EXPECT_EQ(driveAccess.ScsiAddressCache.TargetId, 4);
    EXPECT_EQ(driveAccess.ScsiAddressCache.Lun, 5);
    CloseDrive();

    ASSERT_EQ(OpenDrive('G'), 0);
    EXPECT_EQ(driveAccess.ScsiAddressCache.PathId, 0);
    EXPECT_EQ(driveAccess.ScsiAddressCache.TargetId, 0);
    EXPECT_EQ(driveAccess.ScsiAddressCache.Lun, 0);
    CloseDrive();
}

}  // namespace
}  // namespace kambio
