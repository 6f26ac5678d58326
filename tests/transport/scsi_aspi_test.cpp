// ExecuteScsi, CaptureSense and PollDeferredCompletion on the ASPI layer.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/run_state.h"
#include "image/binary_image.h"
#include "scripted_device.h"
#include "sim_fixture.h"
#include "transport/platform_setup.h"
#include "transport/scsi_request.h"
#include "transport/target_table.h"

namespace kambio {
namespace {

using testing::SimTest;

constexpr std::uint8_t kFill = 0xAA;
const std::vector<std::uint8_t> kInquiry = {0x12, 0, 0, 0, 0x60, 0};
const std::vector<std::uint8_t> kTestUnitReady = {0x00, 0, 0, 0, 0, 0};

std::vector<std::uint8_t> WriteBufferCdb(std::uint8_t mode) { return {0x3B, mode, 0, 0, 0, 0, 0, 0, 0x20, 0}; }
std::vector<std::uint8_t> ReadBufferCdb() { return {0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, 0x30, 0}; }

// Adapter 0 is an IDE channel with drives at ids 0 and 1; adapter 1 is the
// IEEE1394 bridge with a drive at id 0. Targets: 0 = 0/1, 1 = 1/0, 2 = 0/0.
class AspiRequestTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        pc.os = sim::OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000};
        pc.aspi.installed = true;
        pc.aspi.addAdapter("ESDI_506");
        pc.aspi.addAdapter("NTMAPHLP");
        pc.aspi.attach(0, 1, drive);
        pc.aspi.attach(1, 0, bridged);
        pc.aspi.attach(0, 0, other);
        DetectPlatform();
        ASSERT_EQ(transport.TransportKind, kAspi);
        ASSERT_EQ(transport.Ieee1394Index, 1);
        // The tables keep the adapter and target as wide numbers; only the
        // low byte goes into the request block.
        targetTable.entries[0] = TargetDrive{0x100, 0x201, 0};
        targetTable.entries[1] = TargetDrive{1, 0, 0};
        targetTable.entries[2] = TargetDrive{0, 0, 0};
        run.targetCount = 3;
        std::memset(senseInfo.senseData, kFill, sizeof senseInfo.senseData);
        pc.trace.clear();
    }
    void TearDown() override {
        TearDownTransport();
        SimTest::TearDown();
    }

    ScsiRequest Request(std::int32_t target, std::vector<std::uint8_t> cdb, std::int32_t direction,
                        std::int32_t length, std::int32_t timeoutMs) {
        ScsiRequest request;
        request.targetIndex = target;
        request.direction = direction;
        request.cdbLength = static_cast<std::int32_t>(cdb.size());
        request.timeoutMs = timeoutMs;
        request.dataLength = length;
        request.data = transport.TransferBuffer.data;
        std::memcpy(request.cdb, cdb.data(), cdb.size());
        return request;
    }
    std::int32_t Execute(std::int32_t target, std::vector<std::uint8_t> cdb, std::int32_t direction,
                         std::int32_t length, std::int32_t timeoutMs) {
        ScsiRequest request = Request(target, std::move(cdb), direction, length, timeoutMs);
        return ExecuteScsi(&request);
    }
    std::int32_t Inquiry(std::int32_t target = 0, std::int32_t timeoutMs = 5000) {
        return Execute(target, kInquiry, kDirectionIn, 96, timeoutMs);
    }

    const SRB_ExecSCSICmd& Block(std::uint32_t slot = 0) const {
        return *reinterpret_cast<const SRB_ExecSCSICmd*>(
            transport.SrbArea.data + slot * ((sizeof(SRB_ExecSCSICmd) + 15) & ~std::size_t{15}));
    }
    std::vector<std::uint8_t> Transfer(std::size_t count) const {
        return {transport.TransferBuffer.data, transport.TransferBuffer.data + count};
    }
    std::vector<std::string> Lines(const char* kind) const { return pc.trace.of(kind); }
    std::string LastScsiLine() const {
        auto lines = Lines("scsi");
        return lines.empty() ? std::string() : lines.back();
    }

    std::shared_ptr<sim::ScriptedDevice> drive = std::make_shared<sim::ScriptedDevice>();
    std::shared_ptr<sim::ScriptedDevice> bridged = std::make_shared<sim::ScriptedDevice>();
    std::shared_ptr<sim::ScriptedDevice> other = std::make_shared<sim::ScriptedDevice>();
};

const std::vector<std::uint8_t> kLetterA(96, 'A');
const std::vector<std::uint8_t> kLetterB(96, 'B');

TEST_F(AspiRequestTest, TargetIndexOutsideTheTableSendsNothing) {
    int sent = pc.aspi.commandCalls();
    for (std::int32_t index : {3, -1}) EXPECT_EQ(Inquiry(index), -1) << index;
    EXPECT_EQ(pc.aspi.commandCalls(), sent);
}

TEST_F(AspiRequestTest, EventRequestFillsTheBlockAndTheBuffer) {
    drive->respond({.match = {0x12}, .data = kLetterA, .durationMs = 30});
    EXPECT_EQ(Inquiry(), 0);
    EXPECT_EQ(Transfer(96), kLetterA);
    EXPECT_EQ(Lines("scsi"), std::vector<std::string>{"scsi aspi ha=0 id=1 cdb=12 00 00 00 60 00 dir=in len=96 "
                                                      "timeout=5000ms mode=event status=0x01"});
    EXPECT_EQ(Lines("wait"), std::vector<std::string>{"wait limit=5000 -> signalled after=30"});
    const SRB_ExecSCSICmd& srb = Block();
    EXPECT_EQ(srb.SRB_Flags, SRB_EVENT_NOTIFY | SRB_DIR_IN);
    EXPECT_EQ(srb.SRB_SenseLen, 18);
    EXPECT_EQ(srb.SRB_CDBLen, 6);
    EXPECT_EQ(srb.SRB_Lun, 0);
    EXPECT_EQ(pc.openEvents(), 0u);
}

TEST_F(AspiRequestTest, WaitIsUnboundedForNoTimeOutAndForClass300) {
    struct Case {
        std::int32_t timeoutMs;
        std::int32_t classCode;
        const char* limit;
        const char* shown;
    };
    drive->respond({.match = {0x12}, .data = kLetterA});
    for (const Case& c : {Case{5000, 0, "5000", "5000ms"}, Case{0, 0, "INFINITE", "INFINITE"},
                          Case{5000, 0x300, "INFINITE", "INFINITE"}, Case{7000, 0x301, "7000", "7000ms"}}) {
        pc.trace.clear();
        image.DriveClassCode = c.classCode;
        EXPECT_EQ(Inquiry(0, c.timeoutMs), 0);
        EXPECT_EQ(Lines("wait").at(0).rfind(std::string("wait limit=") + c.limit + " ", 0), 0u) << Lines("wait")[0];
        EXPECT_NE(LastScsiLine().find(std::string(" timeout=") + c.shown + " mode=event "), std::string::npos)
            << LastScsiLine();
    }
}

TEST_F(AspiRequestTest, CheckConditionCopiesEighteenSenseBytes) {
    std::vector<std::uint8_t> sense = sim::MakeSense(0x05, 0x24, 0x00);
    sense[2] = 0x65;  // flag bits with the key: byte 2 counts whole
    drive->respond({.match = {0x12}, .status = sim::kStatusCheckCondition, .sense = sense});
    EXPECT_EQ(Inquiry(), -1);
    EXPECT_EQ(std::vector<std::uint8_t>(senseInfo.senseData, senseInfo.senseData + 18), sense);
    EXPECT_EQ(std::vector<std::uint8_t>(senseInfo.senseData + 18, senseInfo.senseData + 64),
              std::vector<std::uint8_t>(46, kFill));
    EXPECT_EQ(senseInfo.senseSummary, 0x652400u);
    EXPECT_NE(LastScsiLine().find("status=0x04 sense=65/24/00"), std::string::npos) << LastScsiLine();
}

TEST_F(AspiRequestTest, CaptureSenseSummarisesWhatIsThereWithoutRereading) {
    senseInfo.senseData[2] = 0x22;
    senseInfo.senseData[12] = 0x3A;
    senseInfo.senseData[13] = 0x01;
    EXPECT_EQ(CaptureSense(), 0);
    EXPECT_EQ(senseInfo.senseSummary, 0x223A01u);
    EXPECT_EQ(senseInfo.senseData[0], kFill);
}

TEST_F(AspiRequestTest, TargetWithNoDeviceFails) {
    targetTable.entries[2] = TargetDrive{0, 5, 0};
    EXPECT_EQ(Inquiry(2), -1);
    EXPECT_NE(LastScsiLine().find("status=0x82"), std::string::npos) << LastScsiLine();
}

struct NotReadyCase {
    const char* name;
    std::int32_t intelDriver;
    std::vector<std::uint8_t> cdb;
    std::uint8_t senseByte2;
    std::int32_t result;
};

class IntelNotReadyTest : public AspiRequestTest, public ::testing::WithParamInterface<NotReadyCase> {};

TEST_P(IntelNotReadyTest, OnlyAPlainNotReadyToAnythingButTestUnitReadyPasses) {
    const NotReadyCase& c = GetParam();
    transport.IntelIdeDriver = c.intelDriver;
    std::vector<std::uint8_t> sense = sim::MakeSense(0x02, 0x04, 0x01);
    sense[2] = c.senseByte2;
    drive->respond({.status = sim::kStatusCheckCondition, .sense = sense});
    EXPECT_EQ(Execute(0, c.cdb, kDirectionNone, 0, 5000), c.result);
    EXPECT_EQ(senseInfo.senseData[2], c.senseByte2);  // the sense is kept either way
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntelNotReadyTest,
    ::testing::Values(NotReadyCase{"UltraAtaNotReadyPasses", 1, kInquiry, 0x02, 0},
                      NotReadyCase{"UltraAtaNotReadyWithIliFails", 1, kInquiry, 0x22, -1},
                      NotReadyCase{"UltraAtaTestUnitReadyFails", 1, kTestUnitReady, 0x02, -1},
                      NotReadyCase{"UltraAtaOtherKeyFails", 1, kInquiry, 0x03, -1},
                      NotReadyCase{"NoIntelDriverFails", 0, kInquiry, 0x02, -1},
                      NotReadyCase{"AcceleratorValueFails", 2, kInquiry, 0x02, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Polled requests ---------------------------------------------------------------

struct ModeCase {
    const char* name;
    std::int32_t typeCode;
    std::int32_t target;
    std::vector<std::uint8_t> cdb;
    bool polled;
};

class CompletionModeTest : public AspiRequestTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(CompletionModeTest, SavesOnTheBridgeAndOn1003DrivesArePolled) {
    const ModeCase& c = GetParam();
    currentTarget.typeCode = c.typeCode;
    for (auto& device : {drive, bridged}) device->respond({});
    EXPECT_EQ(Execute(c.target, c.cdb, kDirectionOut, 32, 5000), 0);
    EXPECT_NE(LastScsiLine().find(c.polled ? "mode=polled" : "mode=event"), std::string::npos) << LastScsiLine();
    EXPECT_EQ(Lines("wait").empty(), c.polled);
    EXPECT_EQ(Block().SRB_Flags, c.polled ? SRB_DIR_OUT : SRB_EVENT_NOTIFY | SRB_DIR_OUT);
    void* postProc = Block().SRB_PostProc;  // a packed field: read before comparing
    if (c.polled) {
        EXPECT_EQ(postProc, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompletionModeTest,
    ::testing::Values(ModeCase{"BridgeWriteBuffer", 0, 1, WriteBufferCdb(0x07), true},
                      ModeCase{"BridgeReadBuffer", 0, 1, ReadBufferCdb(), false},
                      ModeCase{"Type1003SaveAnyAdapter", 0x1003, 0, WriteBufferCdb(0x05), true},
                      ModeCase{"Type1003OtherMode", 0x1003, 0, WriteBufferCdb(0x07), false},
                      ModeCase{"Type1003ReadBufferMode5", 0x1003, 0, {0x3C, 0x05, 0, 0, 0, 0, 0, 0, 0x20, 0}, false},
                      ModeCase{"OtherTypeSave", 0x1001, 0, WriteBufferCdb(0x05), false}),
    [](const auto& info) { return std::string(info.param.name); });

struct PollCase {
    const char* name;
    std::int32_t timeoutMs;
    std::uint32_t durationMs;
    bool neverCompletes;
    std::int32_t result;
    std::size_t sleeps;
};

class PolledTest : public AspiRequestTest, public ::testing::WithParamInterface<PollCase> {};

TEST_P(PolledTest, StatusIsLookedAtEveryHalfSecondUntilTheLimitIsPassed) {
    const PollCase& c = GetParam();
    bridged->respond({.durationMs = c.durationMs, .neverCompletes = c.neverCompletes});
    EXPECT_EQ(Execute(1, WriteBufferCdb(0x05), kDirectionOut, 32, c.timeoutMs), c.result);
    std::vector<std::string> sleeps = Lines("sleep");
    EXPECT_EQ(sleeps, std::vector<std::string>(c.sleeps, "sleep 500"));
    EXPECT_EQ(senseInfo.senseData[0], kFill);  // a request given up leaves no sense
    EXPECT_EQ(pc.aspi.pendingRequests(), 0u);  // and is not left running
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PolledTest,
    ::testing::Values(PollCase{"EndsBeforeTheLimit", 5000, 1200, false, 0, 3},
                      PollCase{"EndsExactlyAtTheLimit", 5000, 5000, false, 0, 10},
                      PollCase{"EndsJustAfterTheLimit", 5000, 5001, false, -1, 11},
                      PollCase{"NeverEnds", 5000, 0, true, -1, 11},
                      PollCase{"NoLimitWaitsForTheDevice", 0, 30000, false, 0, 60}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Requests posted without waiting ---------------------------------------------------

TEST_F(AspiRequestTest, DeferredRequestReturnsAtOnceAndIsPolledToItsEnd) {
    drive->respond({.match = {0x12}, .data = kLetterA, .durationMs = 2000});
    run.deferredCompletion = 1;
    std::uint64_t start = pc.clock.now();
    EXPECT_EQ(Inquiry(), 0);
    EXPECT_EQ(pc.clock.now(), start);
    EXPECT_TRUE(Lines("wait").empty());

    EXPECT_EQ(PollDeferredCompletion(), 1);
    EXPECT_EQ(run.deferredCompletion, 0);
    pc.Sleep(1000);
    EXPECT_EQ(PollDeferredCompletion(), 1);
    pc.Sleep(1500);
    EXPECT_EQ(PollDeferredCompletion(), 0);
    EXPECT_EQ(Transfer(96), kLetterA);
    EXPECT_EQ(pc.openEvents(), 0u);
    EXPECT_NE(LastScsiLine().find("timeout=none mode=deferred status=0x01"), std::string::npos) << LastScsiLine();
}

TEST_F(AspiRequestTest, DeferredRequestThatFailsCapturesNoSense) {
    drive->respond({.match = {0x12}, .status = sim::kStatusCheckCondition, .sense = sim::MakeSense(5, 0x24, 0)});
    run.deferredCompletion = 1;
    EXPECT_EQ(Inquiry(), 0);
    pc.Sleep(10);
    EXPECT_EQ(PollDeferredCompletion(), -1);
    EXPECT_EQ(senseInfo.senseData[2], kFill);
}

// --- Requests the layer refuses -----------------------------------------------------

TEST_F(AspiRequestTest, RefusedRequestIsNotWaitedFor) {
    pc.aspi.refuseStatus = SS_INVALID_HA;
    std::uint64_t start = pc.clock.now();
    EXPECT_EQ(Inquiry(), -1);                                             // event
    EXPECT_EQ(Execute(1, WriteBufferCdb(5), kDirectionOut, 32, 5000), -1);  // polled
    run.deferredCompletion = 1;
    EXPECT_EQ(Inquiry(), -1);                                             // posted without waiting
    EXPECT_EQ(pc.clock.now(), start);
    EXPECT_TRUE(Lines("wait").empty());
    EXPECT_TRUE(Lines("sleep").empty());
    EXPECT_EQ(pc.openEvents(), 0u);
    EXPECT_EQ(senseInfo.senseData[2], kFill);
}

// --- Requests left at their time limit ------------------------------------------------

TEST_F(AspiRequestTest, TimedOutEventRequestIsAbortedAndItsEventClosed) {
    drive->respond({.match = {0x12}, .durationMs = 8000});
    EXPECT_EQ(Inquiry(0, 5000), -2);
    EXPECT_EQ(Lines("aspi"), std::vector<std::string>{"aspi abort ha=0 -> 0x01"});
    EXPECT_EQ(Block().SRB_Status, SS_ABORTED);
    EXPECT_EQ(pc.aspi.pendingRequests(), 0u);
    EXPECT_EQ(pc.openEvents(), 0u);
    EXPECT_EQ(senseInfo.senseData[2], kFill);
}

TEST_F(AspiRequestTest, LateCompletionCannotOverwriteTheNextRequestsBlockOrBuffer) {
    drive->respond({.match = {0x12}, .data = kLetterA, .durationMs = 8000});
    other->respond({.match = {0x12}, .data = kLetterB, .durationMs = 10});
    ASSERT_EQ(Inquiry(0, 5000), -2);
    ASSERT_EQ(Inquiry(2, 5000), 0);
    ASSERT_EQ(Transfer(96), kLetterB);
    pc.Sleep(10000);  // well past the moment the first request would have ended
    EXPECT_EQ(Transfer(96), kLetterB);
}

TEST_F(AspiRequestTest, LateCompletionCannotEndAPolledRequestEarly) {
    drive->respond({.match = {0x12}, .durationMs = 8000});
    bridged->respond({.status = sim::kStatusCheckCondition, .sense = sim::MakeSense(3, 0x0C, 0), .durationMs = 6000});
    ASSERT_EQ(Inquiry(0, 5000), -2);
    // The save fails at about 11 s; the abandoned INQUIRY would have ended at 8 s.
    EXPECT_EQ(Execute(1, WriteBufferCdb(5), kDirectionOut, 32, 20000), -1);
    EXPECT_EQ(senseInfo.senseSummary, 0x030C00u);
}

TEST_F(AspiRequestTest, RequestTheLayerWillNotAbortIsWaitedForBoundedAndItsBlockLeftBehind) {
    pc.aspi.abortIgnored = true;
    drive->respond({.match = {0x12}, .durationMs = 12000});
    bridged->respond({.status = sim::kStatusCheckCondition, .sense = sim::MakeSense(3, 0x0C, 0), .durationMs = 6000});
    std::uint64_t start = pc.clock.now();
    ASSERT_EQ(Inquiry(0, 5000), -2);
    EXPECT_EQ(pc.clock.now() - start, 8000u);  // the limit, then three seconds for the abort
    EXPECT_EQ(Lines("sleep"), std::vector<std::string>(30, "sleep 100"));
    EXPECT_EQ(scsiRecords.srbSlot, 1u);
    // The stuck request ends at 12 s, into the old block and not into the
    // save's, which fails at about 14 s.
    EXPECT_EQ(Execute(1, WriteBufferCdb(5), kDirectionOut, 32, 20000), -1);
    EXPECT_EQ(Block(0).SRB_Status, SS_COMP);
    EXPECT_EQ(Block(1).SRB_Status, SS_ERR);
}

}  // namespace
}  // namespace kambio
