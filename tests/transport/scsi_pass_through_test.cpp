// ExecuteScsi and CaptureSense on the NT family's pass-through.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/run_state.h"
#include "scripted_device.h"
#include "sim_fixture.h"
#include "transport/platform_setup.h"
#include "transport/scsi_request.h"
#include "transport/target_table.h"

namespace kambio {
namespace {

using testing::SimTest;

constexpr std::uint8_t kFill = 0xAA;

class PassThroughTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        pc.os = sim::OsVersion{VER_PLATFORM_WIN32_NT, 5, 1, 2600};
        device = std::make_shared<sim::ScriptedDevice>();
        sim::DriveLetter drive;
        drive.device = device;
        drive.address = SCSI_ADDRESS{8, 1, 2, 3, 0};
        pc.attachLetter('F', drive);
        DetectPlatform();
        targetTable.entries[0].driveLetter = 'F';
        run.targetCount = 1;
        std::memset(senseInfo.senseData, kFill, sizeof senseInfo.senseData);
    }
    void TearDown() override {
        TearDownTransport();
        SimTest::TearDown();
    }

    ScsiRequest Request(std::vector<std::uint8_t> cdb, std::int32_t direction, std::int32_t length,
                        std::int32_t timeoutMs = 5000) {
        ScsiRequest request;
        request.targetIndex = 0;
        request.direction = direction;
        request.cdbLength = static_cast<std::int32_t>(cdb.size());
        request.timeoutMs = timeoutMs;
        request.dataLength = length;
        request.data = buffer.data();
        std::memcpy(request.cdb, cdb.data(), cdb.size());
        return request;
    }

    std::string LastScsiLine() const {
        auto lines = pc.trace.of("scsi");
        return lines.empty() ? std::string() : lines.back();
    }

    std::shared_ptr<sim::ScriptedDevice> device;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(256, 0xEE);
};

const std::vector<std::uint8_t> kTestUnitReady = {0x00, 0, 0, 0, 0, 0};

std::vector<std::uint8_t> ReadBufferCdb(std::uint8_t length) {
    return {0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, length, 0};
}

TEST_F(PassThroughTest, TargetIndexOutsideTheTableSendsNothing) {
    for (std::int32_t index : {1, -1, 256}) {
        ScsiRequest request = Request(kTestUnitReady, kDirectionNone, 0);
        request.targetIndex = index;
        EXPECT_EQ(ExecuteScsi(&request), -1) << index;
    }
    EXPECT_TRUE(pc.trace.of("open").empty());
    EXPECT_TRUE(device->received().empty());
}

TEST_F(PassThroughTest, LetterThatCannotBeOpenedIsMinusTwo) {
    targetTable.entries[0].driveLetter = 'Q';
    ScsiRequest request = Request(kTestUnitReady, kDirectionNone, 0);
    EXPECT_EQ(ExecuteScsi(&request), -2);
    EXPECT_TRUE(pc.ioctlCalls().empty());
}

TEST_F(PassThroughTest, RecordCarriesTheAddressCdbDirectionAndBuffer) {
    struct Case {
        std::int32_t direction;
        UCHAR dataIn;
        const char* shown;
    };
    device->respond({.match = {0x3C}});
    for (const Case& c : {Case{kDirectionNone, SCSI_IOCTL_DATA_UNSPECIFIED, "dir=none"},
                          Case{kDirectionIn, SCSI_IOCTL_DATA_IN, "dir=in"},
                          Case{kDirectionOut, SCSI_IOCTL_DATA_OUT, "dir=out"}}) {
        ScsiRequest request = Request(ReadBufferCdb(48), c.direction, 48);
        ASSERT_EQ(ExecuteScsi(&request), 0);
        const SCSI_PASS_THROUGH_DIRECT& sptd = scsiRecords.passThroughDirect.sptd;
        EXPECT_EQ(sptd.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
        EXPECT_EQ(sptd.PathId, 2);
        EXPECT_EQ(sptd.TargetId, 3);
        EXPECT_EQ(sptd.Lun, 0);
        EXPECT_EQ(sptd.CdbLength, 10);
        EXPECT_EQ(sptd.DataIn, c.dataIn);
        EXPECT_EQ(sptd.DataBuffer, buffer.data());
        EXPECT_EQ(sptd.SenseInfoOffset, offsetof(ScsiPassThroughDirectRecord, sense));
        EXPECT_NE(LastScsiLine().find(std::string("cdb=3c 02 f1 00 00 00 00 00 30 00 ") + c.shown + " len=48 "),
                  std::string::npos)
            << LastScsiLine();
    }
    EXPECT_EQ(pc.openDriveHandles(), 0u);  // each request closes its drive
}

struct VariantCase {
    const char* name;
    std::int32_t intelDriver;
    std::int32_t length;
    bool buffered;
};

class VariantTest : public PassThroughTest, public ::testing::WithParamInterface<VariantCase> {};

TEST_P(VariantTest, ShortTransfersGoInsideTheRecordUnderTheAccelerator) {
    const VariantCase& c = GetParam();
    transport.IntelIdeDriver = c.intelDriver;
    device->respond({});
    std::vector<std::uint8_t> cdb = c.length == 0 ? kTestUnitReady : ReadBufferCdb(static_cast<std::uint8_t>(c.length));
    ScsiRequest request = Request(cdb, c.length == 0 ? kDirectionNone : kDirectionIn, c.length);
    ASSERT_EQ(ExecuteScsi(&request), 0);
    ASSERT_EQ(pc.ioctlCalls().size(), 3u);  // capabilities, address, the request
    const sim::IoctlCall& call = pc.ioctlCalls()[2];
    if (c.buffered) {
        EXPECT_EQ(call.code, IOCTL_SCSI_PASS_THROUGH);
        EXPECT_EQ(call.inSize, sizeof(SCSI_PASS_THROUGH));  // 44 on i686
        EXPECT_EQ(call.outSize, offsetof(ScsiPassThroughRecord, data) + c.length);  // 80 + length
        EXPECT_NE(LastScsiLine().find("mode=buffered"), std::string::npos);
    } else {
        EXPECT_EQ(call.code, IOCTL_SCSI_PASS_THROUGH_DIRECT);
        EXPECT_EQ(call.inSize, sizeof(ScsiPassThroughDirectRecord));  // 80 on i686
        EXPECT_EQ(call.outSize, sizeof(ScsiPassThroughDirectRecord));
        EXPECT_NE(LastScsiLine().find("mode=direct"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Choice, VariantTest,
                         ::testing::Values(VariantCase{"AcceleratorTestUnitReady", 2, 0, true},
                                           VariantCase{"AcceleratorEightBytes", 2, 8, true},
                                           VariantCase{"AcceleratorThirtyTwoBytes", 2, 32, true},
                                           VariantCase{"AcceleratorThirtyThreeBytes", 2, 33, false},
                                           VariantCase{"AcceleratorReadBuffer48", 2, 48, false},
                                           VariantCase{"UltraAtaEightBytes", 1, 8, false},
                                           VariantCase{"NoIntelDriverEightBytes", 0, 8, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PassThroughTest, BufferedReadCopiesThirtyTwoBytesBack) {
    transport.IntelIdeDriver = kIntelApplicationAccelerator;
    device->respond({.match = {0x3C}, .data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}});
    ScsiRequest request = Request(ReadBufferCdb(8), kDirectionIn, 8);
    ASSERT_EQ(ExecuteScsi(&request), 0);
    std::vector<std::uint8_t> expected(256, 0xEE);
    for (int i = 0; i < 8; ++i) expected[i] = static_cast<std::uint8_t>(i + 1);
    for (int i = 8; i < 32; ++i) expected[i] = 0;  // the rest of the record's data area
    EXPECT_EQ(buffer, expected);
}

// The buffered control passes the port only as much of the record as its
// input length covers: a short write must include its data area, or the
// drive would get zeros instead of the caller's bytes.
TEST_F(PassThroughTest, BufferedWriteCarriesItsDataToTheDrive) {
    transport.IntelIdeDriver = kIntelApplicationAccelerator;
    device->respond({});
    for (int i = 0; i < 32; ++i) buffer[i] = static_cast<std::uint8_t>(0x40 + i);
    ScsiRequest request = Request({0x3B, 0x01, 0x30, 0, 0, 0, 0, 0, 16, 0}, kDirectionOut, 16);
    ASSERT_EQ(ExecuteScsi(&request), 0);
    ASSERT_EQ(device->received().size(), 1u);
    std::vector<std::uint8_t> sent(buffer.begin(), buffer.begin() + 16);
    EXPECT_EQ(device->received()[0].dataOut, sent);
    const sim::IoctlCall& call = pc.ioctlCalls().back();
    EXPECT_EQ(call.inSize, offsetof(ScsiPassThroughRecord, data) + 16);
}

// CaptureSense must read the record the failed request travelled in; under
// the Accelerator a short request goes buffered while an older direct one
// may have left other sense in the direct record.
TEST_F(PassThroughTest, CaptureSenseReadsTheRecordOfTheLastRequest) {
    device->respond({.match = {0x3C}, .status = sim::kStatusCheckCondition, .sense = sim::MakeSense(0x05, 0x24, 0x00)});
    device->respond({.match = {0x00}, .status = sim::kStatusCheckCondition, .sense = sim::MakeSense(0x02, 0x3A, 0x00)});
    ScsiRequest direct = Request(ReadBufferCdb(48), kDirectionIn, 48);
    ASSERT_EQ(ExecuteScsi(&direct), 2);
    transport.IntelIdeDriver = kIntelApplicationAccelerator;
    ScsiRequest buffered = Request(kTestUnitReady, kDirectionNone, 0);
    ASSERT_EQ(ExecuteScsi(&buffered), 2);
    CaptureSense();
    EXPECT_EQ(senseInfo.senseSummary, 0x023A00u);
}

TEST_F(PassThroughTest, TimeOutIsSentInWholeSeconds) {
    struct Case {
        std::int32_t timeoutMs;
        ULONG direct;
        ULONG buffered;
    };
    device->respond({});
    for (const Case& c : {Case{0, 60, 0}, Case{999, 0, 0}, Case{5000, 5, 5}, Case{80000, 80, 80}}) {
        for (std::int32_t intel : {0, 2}) {
            transport.IntelIdeDriver = intel;
            ScsiRequest request = Request(kTestUnitReady, kDirectionNone, 0, c.timeoutMs);
            ASSERT_EQ(ExecuteScsi(&request), 0);
            ULONG sent = intel == 0 ? scsiRecords.passThroughDirect.sptd.TimeOutValue
                                    : scsiRecords.passThrough.spt.TimeOutValue;
            ULONG expected = intel == 0 ? c.direct : c.buffered;
            EXPECT_EQ(sent, expected) << c.timeoutMs << " ms, IntelIdeDriver " << intel;
            EXPECT_NE(LastScsiLine().find(" timeout=" + std::to_string(expected) + "s "), std::string::npos)
                << LastScsiLine();
        }
    }
}

TEST_F(PassThroughTest, CheckConditionKeepsTheSenseOnBothVariants) {
    std::vector<std::uint8_t> sense = sim::MakeSense(0x05, 0x24, 0x00);
    sense[2] = 0x25;  // ILI with ILLEGAL REQUEST: byte 2 counts whole
    device->respond({.status = sim::kStatusCheckCondition, .sense = sense});
    for (std::int32_t intel : {0, 2}) {
        SCOPED_TRACE(intel);
        transport.IntelIdeDriver = intel;
        std::memset(senseInfo.senseData, kFill, sizeof senseInfo.senseData);
        ScsiRequest request = Request(kTestUnitReady, kDirectionNone, 0);
        EXPECT_EQ(ExecuteScsi(&request), 2);
        EXPECT_EQ(std::vector<std::uint8_t>(senseInfo.senseData, senseInfo.senseData + 18), sense);
        EXPECT_EQ(std::vector<std::uint8_t>(senseInfo.senseData + 18, senseInfo.senseData + 64),
                  std::vector<std::uint8_t>(46, kFill));
        CaptureSense();
        EXPECT_EQ(senseInfo.senseSummary, 0x252400u);
    }
}

TEST_F(PassThroughTest, CaptureSenseRereadsTheDirectRecord) {
    device->respond({.status = sim::kStatusCheckCondition, .sense = sim::MakeSense(0x02, 0x04, 0x01)});
    ScsiRequest request = Request(kTestUnitReady, kDirectionNone, 0);
    ASSERT_EQ(ExecuteScsi(&request), 2);
    std::memset(senseInfo.senseData, 0, sizeof senseInfo.senseData);
    EXPECT_EQ(CaptureSense(), 0);
    EXPECT_EQ(senseInfo.senseData[2], 0x02);
    EXPECT_EQ(senseInfo.senseSummary, 0x020401u);
}

// A DeviceIoControl that fails is a failed request, whatever the record
// says, and any sense that came back with it is kept.
struct FailureCase {
    const char* name;
    std::int32_t intelDriver;
    sim::PassThroughFailure failure;
    bool senseKept;
};

class FailedCallTest : public PassThroughTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedCallTest, IsAFailedRequest) {
    const FailureCase& c = GetParam();
    transport.IntelIdeDriver = c.intelDriver;
    pc.letter('F')->passThroughFailure = c.failure;
    ScsiRequest request = Request(ReadBufferCdb(8), kDirectionIn, 8);
    EXPECT_EQ(ExecuteScsi(&request), 2);
    if (c.senseKept) {
        EXPECT_EQ(std::vector<std::uint8_t>(senseInfo.senseData, senseInfo.senseData + 18), c.failure.sense);
    }
    EXPECT_EQ(buffer[0], 0xEE);  // no data taken from a failed call
}

const std::vector<std::uint8_t> kNotReady = sim::MakeSense(0x02, 0x04, 0x01);

INSTANTIATE_TEST_SUITE_P(
    Failures, FailedCallTest,
    ::testing::Values(FailureCase{"DirectNoSense", 0, {ERROR_IO_DEVICE, 0, {}}, false},
                      FailureCase{"DirectSenseWithoutStatus", 0, {ERROR_MORE_DATA, 0, kNotReady}, true},
                      FailureCase{"DirectSenseWithStatus", 0, {ERROR_MORE_DATA, 2, kNotReady}, true},
                      FailureCase{"BufferedNoSense", 2, {ERROR_IO_DEVICE, 0, {}}, false},
                      FailureCase{"BufferedSenseWithoutStatus", 2, {ERROR_MORE_DATA, 0, kNotReady}, true},
                      FailureCase{"BufferedSenseWithStatus", 2, {ERROR_MORE_DATA, 2, kNotReady}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PassThroughTest, PortTimeOutIsAFailedRequestOnBothVariants) {
    device->respond({.data = std::vector<std::uint8_t>(8, 0x11), .durationMs = 10000});
    for (std::int32_t intel : {0, 2}) {
        transport.IntelIdeDriver = intel;
        std::uint64_t start = pc.clock.now();
        ScsiRequest request = Request(ReadBufferCdb(8), kDirectionIn, 8, 5000);
        EXPECT_EQ(ExecuteScsi(&request), 2) << intel;
        EXPECT_EQ(pc.ioctlCalls().back().error, sim::kErrorSemTimeout);
        EXPECT_EQ(pc.clock.now() - start, 5000u);  // the port gave up at the limit
    }
}

}  // namespace
}  // namespace kambio
