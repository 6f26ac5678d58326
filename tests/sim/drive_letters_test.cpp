// The simulated drive letters and SCSI port, driven through the platform calls.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "scripted_device.h"
#include "sim_pc.h"

namespace kambio::sim {
namespace {

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

class DriveLettersTest : public ::testing::Test {
protected:
    void SetUp() override {
        DriveLetter drive;
        drive.device = device;
        drive.address = SCSI_ADDRESS{8, 2, 0, 1, 0};
        pc.attachLetter('F', drive);
        pc.beginRun();
    }

    HANDLE Open(char letter, DWORD access = kReadWrite) {
        const char path[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
        return pc.CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    }

    static ScsiPassThroughDirectRecord Direct(std::vector<std::uint8_t> cdb, UCHAR dataIn, void* data,
                                              ULONG length, ULONG timeoutS = 5) {
        ScsiPassThroughDirectRecord record{};
        record.sptd.Length = sizeof record.sptd;
        record.sptd.CdbLength = static_cast<UCHAR>(cdb.size());
        record.sptd.SenseInfoLength = 18;
        record.sptd.DataIn = dataIn;
        record.sptd.DataTransferLength = length;
        record.sptd.TimeOutValue = timeoutS;
        record.sptd.DataBuffer = data;
        record.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectRecord, sense);
        std::memcpy(record.sptd.Cdb, cdb.data(), cdb.size());
        return record;
    }

    BOOL Send(HANDLE handle, ScsiPassThroughDirectRecord& record) {
        DWORD returned = 0;
        return pc.DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, &record, sizeof record, &record,
                                  sizeof record, &returned);
    }

    SimPc pc;
    std::shared_ptr<ScriptedDevice> device = std::make_shared<ScriptedDevice>();
};

TEST_F(DriveLettersTest, OnlyAttachedLettersOpen) {
    struct Case {
        const char* path;
        DWORD error;
    };
    DriveLetter refusing;
    refusing.openError = ERROR_ACCESS_DENIED;
    pc.attachLetter('G', refusing);
    for (const Case& c : {Case{"\\\\.\\E:", ERROR_FILE_NOT_FOUND}, Case{"\\\\.\\G:", ERROR_ACCESS_DENIED},
                          Case{"\\\\.\\F", ERROR_FILE_NOT_FOUND}, Case{"F:\\IMAGE.BIN", ERROR_FILE_NOT_FOUND}}) {
        EXPECT_EQ(pc.CreateFileA(c.path, kReadWrite, 3, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE) << c.path;
        EXPECT_EQ(pc.GetLastError(), c.error) << c.path;
    }
    HANDLE lower = pc.CreateFileA("\\\\.\\f:", 0, 3, OPEN_EXISTING, 0);
    EXPECT_NE(lower, INVALID_HANDLE_VALUE);
    EXPECT_EQ(pc.openDriveHandles(), 1u);
    EXPECT_EQ(pc.CloseHandle(lower), 1);
    EXPECT_EQ(pc.openDriveHandles(), 0u);
}

TEST_F(DriveLettersTest, QueriesAnswerOrFailAsConfigured) {
    HANDLE handle = Open('F');
    IO_SCSI_CAPABILITIES capabilities{};
    SCSI_ADDRESS address{};
    DWORD returned = 0;
    EXPECT_EQ(pc.DeviceIoControl(handle, IOCTL_SCSI_GET_CAPABILITIES, nullptr, 0, &capabilities,
                                 sizeof capabilities, &returned), 1);
    EXPECT_EQ(capabilities.Length, sizeof capabilities);
    EXPECT_EQ(pc.DeviceIoControl(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address, &returned), 1);
    EXPECT_EQ(address.PathId, 0);
    EXPECT_EQ(address.TargetId, 1);
    EXPECT_EQ(address.PortNumber, 2);
    EXPECT_EQ(pc.DeviceIoControl(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, 4, &returned), 0);
    EXPECT_EQ(pc.GetLastError(), kErrorInsufficientBuffer);

    pc.letter('F')->capabilitiesError = ERROR_NOT_SUPPORTED;
    pc.letter('F')->addressError = ERROR_IO_DEVICE;
    EXPECT_EQ(pc.DeviceIoControl(handle, IOCTL_SCSI_GET_CAPABILITIES, nullptr, 0, &capabilities,
                                 sizeof capabilities, &returned), 0);
    EXPECT_EQ(pc.GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(pc.DeviceIoControl(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address, &returned), 0);
    EXPECT_EQ(pc.GetLastError(), ERROR_IO_DEVICE);
    EXPECT_EQ(pc.trace.of("ioctl").back(), "ioctl letter=F code=0x41018 -> error=1117");
}

TEST_F(DriveLettersTest, HandleWithoutAccessHoldsNotificationsButSendsNoCommands) {
    HANDLE handle = Open('F', 0);
    PREVENT_MEDIA_REMOVAL hold{1};
    DWORD returned = 0;
    EXPECT_EQ(pc.DeviceIoControl(handle, IOCTL_STORAGE_MCN_CONTROL, &hold, sizeof hold, nullptr, 0, &returned), 1);
    ASSERT_EQ(pc.mcnCalls().size(), 1u);
    EXPECT_EQ(pc.mcnCalls()[0].letter, 'F');
    EXPECT_EQ(pc.mcnCalls()[0].prevent, 1);
    EXPECT_EQ(pc.trace.of("ioctl").back(), "ioctl letter=F code=0x2d0944 prevent=1 -> ok");

    ScsiPassThroughDirectRecord record = Direct({0, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0);
    EXPECT_EQ(Send(handle, record), 0);
    EXPECT_EQ(pc.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(device->received().empty());
}

TEST_F(DriveLettersTest, DirectRequestReturnsDataStatusAndSense) {
    device->respond({.match = {0x12}, .data = {5, 0x80, 2, 2}, .durationMs = 30});
    device->respond({.match = {0x00}, .status = kStatusCheckCondition, .sense = MakeSense(2, 0x3A, 0)});
    HANDLE handle = Open('F');
    std::vector<std::uint8_t> data(8, 0xEE);
    ScsiPassThroughDirectRecord inquiry = Direct({0x12, 0, 0, 0, 8, 0}, SCSI_IOCTL_DATA_IN, data.data(), 8);
    EXPECT_EQ(Send(handle, inquiry), 1);
    EXPECT_EQ(pc.clock.now(), 30u);
    EXPECT_EQ(inquiry.sptd.ScsiStatus, 0);
    EXPECT_EQ(inquiry.sptd.SenseInfoLength, 0);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{5, 0x80, 2, 2, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(pc.trace.of("scsi").back(),
              "scsi spt letter=F cdb=12 00 00 00 08 00 dir=in len=8 timeout=5s mode=direct status=0x00");

    ScsiPassThroughDirectRecord tur = Direct({0, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0);
    EXPECT_EQ(Send(handle, tur), 1);
    EXPECT_EQ(tur.sptd.ScsiStatus, kStatusCheckCondition);
    EXPECT_EQ(tur.sptd.SenseInfoLength, 18);
    EXPECT_EQ(std::vector<std::uint8_t>(tur.sense, tur.sense + 18), MakeSense(2, 0x3A, 0));
    EXPECT_EQ(pc.trace.of("scsi").back(),
              "scsi spt letter=F cdb=00 00 00 00 00 00 dir=none len=0 timeout=5s mode=direct status=0x02 "
              "sense=02/3a/00");
}

TEST_F(DriveLettersTest, PortGivesUpAtTheTimeOutAndLeavesTheRecordAsSent) {
    device->respond({.durationMs = 6000});
    HANDLE handle = Open('F');
    ScsiPassThroughDirectRecord record = Direct({0, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0, 5);
    record.sptd.ScsiStatus = 0x77;
    ScsiPassThroughDirectRecord sent = record;
    EXPECT_EQ(Send(handle, record), 0);
    EXPECT_EQ(pc.GetLastError(), kErrorSemTimeout);
    EXPECT_EQ(pc.clock.now(), 5000u);
    EXPECT_EQ(std::memcmp(&record, &sent, sizeof record), 0);

    // The same six seconds within a limit of six pass.
    record = Direct({0, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0, 6);
    EXPECT_EQ(Send(handle, record), 1);
}

TEST_F(DriveLettersTest, DeviceThatNeverAnswersWithoutTimeOutIsAHang) {
    device->respond({.neverCompletes = true});
    HANDLE handle = Open('F');
    ScsiPassThroughDirectRecord record = Direct({0, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0, 0);
    EXPECT_THROW(Send(handle, record), SimHang);
}

TEST_F(DriveLettersTest, ConfiguredFailureBringsTheRecordBackOnlyWithStatusOrSense) {
    HANDLE handle = Open('F');
    pc.letter('F')->passThroughFailure = PassThroughFailure{ERROR_IO_DEVICE, 0, {}};
    ScsiPassThroughDirectRecord record = Direct({0, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0);
    ScsiPassThroughDirectRecord sent = record;
    EXPECT_EQ(Send(handle, record), 0);
    EXPECT_EQ(pc.GetLastError(), ERROR_IO_DEVICE);
    EXPECT_EQ(std::memcmp(&record, &sent, sizeof record), 0);

    pc.letter('F')->passThroughFailure = PassThroughFailure{ERROR_MORE_DATA, 2, MakeSense(2, 4, 1)};
    EXPECT_EQ(Send(handle, record), 0);
    EXPECT_EQ(record.sptd.ScsiStatus, 2);
    EXPECT_EQ(record.sptd.SenseInfoLength, 18);
    EXPECT_EQ(std::vector<std::uint8_t>(record.sense, record.sense + 18), MakeSense(2, 4, 1));
    EXPECT_TRUE(device->received().empty());
}

// METHOD_BUFFERED: the port sees the record only as far as the input length
// reaches, whatever the caller put behind it.
TEST_F(DriveLettersTest, BufferedRequestSeesOnlyTheInputLengthOfTheRecord) {
    device->respond({.match = {0x3B}});
    device->respond({.match = {0x3C}, .data = {9, 8, 7, 6}});
    HANDLE handle = Open('F');
    struct Case {
        DWORD inSize;
        std::vector<std::uint8_t> received;
    };
    const DWORD header = sizeof(SCSI_PASS_THROUGH);
    const DWORD withData = offsetof(ScsiPassThroughRecord, data) + 4;
    for (const Case& c : {Case{header, {0, 0, 0, 0}}, Case{withData, {1, 2, 3, 4}}}) {
        ScsiPassThroughRecord record{};
        record.spt.Length = sizeof record.spt;
        record.spt.CdbLength = 10;
        record.spt.SenseInfoLength = 18;
        record.spt.DataIn = SCSI_IOCTL_DATA_OUT;
        record.spt.DataTransferLength = 4;
        record.spt.DataBufferOffset = offsetof(ScsiPassThroughRecord, data);
        record.spt.SenseInfoOffset = offsetof(ScsiPassThroughRecord, sense);
        record.spt.Cdb[0] = 0x3B;
        std::memcpy(record.data, "\x01\x02\x03\x04", 4);
        DWORD returned = 0;
        EXPECT_EQ(pc.DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH, &record, c.inSize, &record, withData,
                                     &returned), 1);
        EXPECT_EQ(device->received().back().dataOut, c.received) << c.inSize;
    }

    ScsiPassThroughRecord read{};
    read.spt.Length = sizeof read.spt;
    read.spt.CdbLength = 10;
    read.spt.DataIn = SCSI_IOCTL_DATA_IN;
    read.spt.DataTransferLength = 4;
    read.spt.DataBufferOffset = offsetof(ScsiPassThroughRecord, data);
    read.spt.SenseInfoOffset = offsetof(ScsiPassThroughRecord, sense);
    read.spt.Cdb[0] = 0x3C;
    DWORD returned = 0;
    EXPECT_EQ(pc.DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH, &read, header, &read, withData, &returned), 1);
    EXPECT_EQ(std::vector<std::uint8_t>(read.data, read.data + 4), (std::vector<std::uint8_t>{9, 8, 7, 6}));
    EXPECT_EQ(pc.trace.of("scsi").back(),
              "scsi spt letter=F cdb=3c 00 00 00 00 00 00 00 00 00 dir=in len=4 timeout=0s mode=buffered status=0x00");
}

TEST_F(DriveLettersTest, MalformedRecordIsRefused) {
    HANDLE handle = Open('F');
    ScsiPassThroughDirectRecord record = Direct({0, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0);
    record.sptd.Length = 12;
    EXPECT_EQ(Send(handle, record), 0);
    EXPECT_EQ(pc.GetLastError(), ERROR_INVALID_PARAMETER);
    record = Direct({0x12, 0, 0, 0, 8, 0}, SCSI_IOCTL_DATA_IN, nullptr, 8);  // data but no buffer
    EXPECT_EQ(Send(handle, record), 0);
    EXPECT_EQ(pc.GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(device->received().empty());
}

TEST_F(DriveLettersTest, NewProcessHoldsNoHandle) {
    HANDLE handle = Open('F');
    pc.beginRun();
    EXPECT_EQ(pc.openDriveHandles(), 0u);
    DWORD returned = 0;
    SCSI_ADDRESS address{};
    EXPECT_EQ(pc.DeviceIoControl(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address, &returned), 0);
    EXPECT_EQ(pc.GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace kambio::sim
