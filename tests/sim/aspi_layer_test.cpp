// The simulated ASPI layer on its own, driven through the platform calls.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "scripted_device.h"
#include "sim_pc.h"

namespace kambio::sim {
namespace {

class AspiLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        pc.aspi.installed = true;
        pc.aspi.addAdapter("ESDI_506");
        pc.aspi.addAdapter("NTMAPHLP");
        pc.aspi.attach(0, 1, device);
        pc.beginRun();
        ASSERT_NE(pc.LoadLibraryA("wnaspi32.dll"), nullptr);
    }

    // A request for 8 bytes into `buffer`, signalled on a fresh event.
    SRB_ExecSCSICmd Request(int adapter, int target) {
        SRB_ExecSCSICmd srb{};
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_HaId = static_cast<BYTE>(adapter);
        srb.SRB_Target = static_cast<BYTE>(target);
        srb.SRB_Flags = SRB_EVENT_NOTIFY | SRB_DIR_IN;
        srb.SRB_BufLen = 8;
        srb.SRB_BufPointer = buffer.data();
        srb.SRB_SenseLen = 18;
        srb.SRB_CDBLen = 6;
        srb.CDBByte[0] = 0x12;
        srb.SRB_PostProc = pc.CreateEventA(nullptr, 0, 0, nullptr);
        return srb;
    }

    SimPc pc;
    std::shared_ptr<ScriptedDevice> device = std::make_shared<ScriptedDevice>();
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(8, 0xEE);
};

const std::vector<std::uint8_t> kData = {1, 2, 3, 4, 5, 6, 7, 8};

TEST_F(AspiLayerTest, LibraryIsFoundOnlyWhenInstalled) {
    pc.aspi.installed = false;
    pc.beginRun();
    EXPECT_EQ(pc.LoadLibraryA("WNASPI32.DLL"), nullptr);
    EXPECT_EQ(pc.GetLastError(), ERROR_FILE_NOT_FOUND);
    pc.aspi.installed = true;
    EXPECT_EQ(pc.LoadLibraryA("OTHER.DLL"), nullptr);
    EXPECT_NE(pc.LoadLibraryA("WNASPI32.DLL"), nullptr);
}

TEST_F(AspiLayerTest, SupportInfoCarriesStatusAndCount) {
    EXPECT_EQ(pc.GetASPI32SupportInfo(), 0x0102u);
    pc.aspi.supportStatus = SS_NO_ADAPTERS;
    pc.aspi.reportedAdapterCount = 20;
    EXPECT_EQ(pc.GetASPI32SupportInfo(), 0xE814u);
    EXPECT_EQ(pc.aspi.supportInfoCalls(), 2);
}

TEST_F(AspiLayerTest, InquiryFillsTheBlockOrLeavesItAsItWas) {
    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = 0;
    EXPECT_EQ(pc.SendASPI32Command(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.SRB_Status, SS_COMP);
    EXPECT_EQ(inquiry.HA_Count, 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry.HA_Identifier), 16), std::string("ESDI_506") + std::string(8, '\0'));

    pc.aspi.adapters[1].inquiryFails = true;
    SRB_HAInquiry failing;
    std::memset(&failing, 0x5A, sizeof failing);
    failing.SRB_Cmd = SC_HA_INQUIRY;
    failing.SRB_HaId = 1;
    SRB_HAInquiry before = failing;
    EXPECT_EQ(pc.SendASPI32Command(&failing), SS_ERR);
    EXPECT_EQ(std::memcmp(&failing, &before, sizeof failing), 0);

    SRB_HAInquiry missing{};
    missing.SRB_HaId = 2;
    EXPECT_EQ(pc.SendASPI32Command(&missing), SS_INVALID_HA);
    EXPECT_EQ(missing.SRB_Status, SS_INVALID_HA);
}

TEST_F(AspiLayerTest, RequestEndsAfterTheDevicesDurationAndOnlyThenDeliversItsData) {
    device->respond({.data = kData, .durationMs = 40});
    SRB_ExecSCSICmd srb = Request(0, 1);
    EXPECT_EQ(pc.SendASPI32Command(&srb), SS_PENDING);
    EXPECT_EQ(srb.SRB_Status, SS_PENDING);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xEE));
    pc.clock.advance(39);
    EXPECT_EQ(srb.SRB_Status, SS_PENDING);
    EXPECT_EQ(pc.WaitForSingleObject(srb.SRB_PostProc, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(pc.clock.now(), 40u);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    EXPECT_EQ(buffer, kData);
}

TEST_F(AspiLayerTest, LateCompletionWritesIntoTheBlockAndBufferItWasGiven) {
    device->respond({.data = kData, .durationMs = 100});
    SRB_ExecSCSICmd srb = Request(0, 1);
    ASSERT_EQ(pc.SendASPI32Command(&srb), SS_PENDING);
    // The program gives up on it and reuses the block and the buffer.
    std::memset(&srb, 0, sizeof srb);
    buffer.assign(8, 0x00);
    pc.clock.advance(100);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    EXPECT_EQ(buffer, kData);
}

TEST_F(AspiLayerTest, CheckConditionFillsTheSenseArea) {
    device->respond({.status = kStatusCheckCondition, .sense = MakeSense(0x02, 0x3A, 0x00)});
    SRB_ExecSCSICmd srb = Request(0, 1);
    ASSERT_EQ(pc.SendASPI32Command(&srb), SS_PENDING);
    ASSERT_EQ(pc.WaitForSingleObject(srb.SRB_PostProc, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(srb.SRB_Status, SS_ERR);
    EXPECT_EQ(srb.SRB_TargStat, kStatusCheckCondition);
    EXPECT_EQ(std::vector<std::uint8_t>(srb.SenseArea, srb.SenseArea + 18), MakeSense(0x02, 0x3A, 0x00));
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xEE));
}

TEST_F(AspiLayerTest, TargetWithoutDeviceEndsWithNoDevice) {
    SRB_ExecSCSICmd srb = Request(0, 4);
    EXPECT_EQ(pc.SendASPI32Command(&srb), SS_PENDING);
    EXPECT_EQ(pc.WaitForSingleObject(srb.SRB_PostProc, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(pc.clock.now(), 1u);
    EXPECT_EQ(srb.SRB_Status, SS_NO_DEVICE);
    EXPECT_EQ(srb.SRB_HaStat, 0x11);
}

TEST_F(AspiLayerTest, RefusedRequestsAreNeverSignalled) {
    struct Case {
        const char* name;
        BYTE refuseStatus;
        int adapter;
        BYTE expected;
    };
    for (const Case& c : {Case{"configured", SS_INVALID_HA, 0, SS_INVALID_HA},
                          Case{"configured other", 0xE0, 0, 0xE0},
                          Case{"no such adapter", 0, 5, SS_INVALID_HA}}) {
        pc.aspi.refuseStatus = c.refuseStatus;
        SRB_ExecSCSICmd srb = Request(c.adapter, 1);
        EXPECT_EQ(pc.SendASPI32Command(&srb), c.expected) << c.name;
        EXPECT_EQ(srb.SRB_Status, c.expected) << c.name;
        EXPECT_EQ(pc.WaitForSingleObject(srb.SRB_PostProc, 1000), WAIT_TIMEOUT) << c.name;
    }
    EXPECT_TRUE(device->received().empty());
}

TEST_F(AspiLayerTest, AbortEndsThePendingRequestAndNothingArrivesLater) {
    device->respond({.data = kData, .durationMs = 100});
    SRB_ExecSCSICmd srb = Request(0, 1);
    ASSERT_EQ(pc.SendASPI32Command(&srb), SS_PENDING);
    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &srb;
    EXPECT_EQ(pc.SendASPI32Command(&abort), SS_COMP);
    EXPECT_EQ(srb.SRB_Status, SS_ABORTED);
    EXPECT_EQ(pc.WaitForSingleObject(srb.SRB_PostProc, 0), WAIT_OBJECT_0);
    srb.SRB_Status = 0x77;
    pc.clock.advance(1000);
    EXPECT_EQ(srb.SRB_Status, 0x77);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xEE));
    // Nothing left to abort.
    EXPECT_EQ(pc.SendASPI32Command(&abort), SS_ABORT_FAIL);
}

TEST_F(AspiLayerTest, IgnoredAbortLetsTheRequestRunOn) {
    pc.aspi.abortIgnored = true;
    device->respond({.data = kData, .durationMs = 100});
    SRB_ExecSCSICmd srb = Request(0, 1);
    ASSERT_EQ(pc.SendASPI32Command(&srb), SS_PENDING);
    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &srb;
    EXPECT_EQ(pc.SendASPI32Command(&abort), SS_COMP);
    EXPECT_EQ(srb.SRB_Status, SS_PENDING);
    pc.clock.advance(100);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
}

TEST_F(AspiLayerTest, RequestThatNeverEndsStopsAnUnboundedWaitAsAHang) {
    device->respond({.neverCompletes = true});
    SRB_ExecSCSICmd srb = Request(0, 1);
    ASSERT_EQ(pc.SendASPI32Command(&srb), SS_PENDING);
    EXPECT_EQ(pc.WaitForSingleObject(srb.SRB_PostProc, 60000), WAIT_TIMEOUT);
    EXPECT_THROW(pc.WaitForSingleObject(srb.SRB_PostProc, INFINITE), SimHang);
    EXPECT_EQ(pc.trace.of("scsi").back(),
              "scsi aspi ha=0 id=1 cdb=12 00 00 00 00 00 dir=in len=8 timeout=60000ms mode=event status=pending");
}

TEST_F(AspiLayerTest, PollingARequestThatNeverEndsIsStoppedAsAHang) {
    device->respond({.neverCompletes = true});
    SRB_ExecSCSICmd srb = Request(0, 1);
    srb.SRB_Flags = SRB_DIR_IN;
    ASSERT_EQ(pc.SendASPI32Command(&srb), SS_PENDING);
    auto pollForAYear = [&] {
        for (int i = 0; i < 2 * 60 * 60 * 24 * 365; ++i) pc.Sleep(500);
    };
    EXPECT_THROW(pollForAYear(), SimHang);
    EXPECT_LE(pc.clock.now(), 24u * 60 * 60 * 1000 + 500);
}

TEST_F(AspiLayerTest, NewProcessDropsTheRequestsOfTheLastOne) {
    device->respond({.data = kData, .durationMs = 100});
    SRB_ExecSCSICmd srb = Request(0, 1);
    ASSERT_EQ(pc.SendASPI32Command(&srb), SS_PENDING);
    pc.beginRun();
    pc.clock.advance(1000);
    EXPECT_EQ(srb.SRB_Status, SS_PENDING);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xEE));
    EXPECT_EQ(pc.aspi.pendingRequests(), 0u);
}

TEST_F(AspiLayerTest, EntryPointsWithoutTheLibraryAnswerNoAdapters) {
    pc.beginRun();
    EXPECT_EQ(pc.GetASPI32SupportInfo(), DWORD{SS_NO_ADAPTERS} << 8);
    SRB_ExecSCSICmd srb = Request(0, 1);
    EXPECT_EQ(pc.SendASPI32Command(&srb), SS_NO_ADAPTERS);
    EXPECT_TRUE(device->received().empty());
}

}  // namespace
}  // namespace kambio::sim
