#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/catalogue.h"
#include "app/run_state.h"
#include "procedures/revision_report.h"
#include "sim_fixture.h"
#include "transport/platform_setup.h"
#include "transport/target_table.h"
#include "virtual_drive.h"

namespace kambio {
namespace {

using testing::SimTest;

class IdentifyTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        BuildCatalogue();
        sim::DriveLetter letter;
        letter.device = drive;
        pc.attachLetter('F', letter);
        DetectPlatform();
        targetTable.entries[0].driveLetter = 'F';
        run.targetCount = 1;
    }
    void TearDown() override {
        TearDownTransport();
        SimTest::TearDown();
    }
    void Refuse(std::uint8_t opcode) {
        sim::FaultRule fault;
        fault.opcode = opcode;
        fault.sense = sim::SenseCode{0x05, 0x24, 0x00};
        drive->addFault(fault);
    }

    std::shared_ptr<sim::VirtualDrive> drive = std::make_shared<sim::VirtualDrive>();
};

TEST_F(IdentifyTest, MatchedDriveGetsItsEntryCopied) {
    drive->config().identity.product = "LMX-5560P       ";
    EXPECT_EQ(IdentifyTarget(), 0);
    EXPECT_EQ(currentTarget.selectedEntry, 1);
    EXPECT_STREQ(currentTarget.fileName, "Q5518450.121");
    EXPECT_EQ(std::string(currentTarget.productId, 16), "LMX-5560P       ");
    EXPECT_EQ(currentTarget.typeCode, 0x1007);
    EXPECT_EQ(currentTarget.imageSize, 0x100000u);
    EXPECT_EQ(currentTarget.modeSwitchCode, 0x4E07B1C3u);
    EXPECT_EQ(std::string(currentTarget.inquiryData.revision(), 4), "1.05");
    EXPECT_EQ(pc.console, "");
}

TEST_F(IdentifyTest, DriveLeftInKernelModeIsRecognised) {
    drive->config().identity.normalVendorCode = "        ";
    EXPECT_EQ(IdentifyTarget(), 0);
    EXPECT_EQ(revision.KernelModeFlag, 1);
    EXPECT_EQ(currentTarget.selectedEntry, 0);
}

TEST_F(IdentifyTest, FailedInquiryShowsMessage9) {
    Refuse(0x12);
    pc.boxAnswers = {IDOK};
    EXPECT_NE(IdentifyTarget(), 0);
    EXPECT_EQ(pc.console, "\nFailed to execute Inquiry Command.");
    ASSERT_EQ(pc.boxes.size(), 1u);
    EXPECT_EQ(pc.boxes[0].flags, MB_ICONERROR);
}

TEST_F(IdentifyTest, FailedInformationBlockShowsMessage0) {
    Refuse(0x3C);
    EXPECT_NE(IdentifyTarget(), 0);
    EXPECT_EQ(pc.console, "\nFailed to get a drive information.");
}

// A drive whose identity or firmware changed since it was found must not be
// updated with the entry of the drive matched before it.
TEST_F(IdentifyTest, DriveThatNoLongerMatchesIsRefusedAndKeepsNothingOfAnother) {
    ASSERT_EQ(IdentifyTarget(), 0);
    currentTarget.typeCode = 0x1007;
    const char* changes[][2] = {{"product", "DVD-RW  QZM-999 "}, {"normalVendorCode", "VORTANE "}};
    for (auto& change : changes) {
        pc.console.clear();
        drive->config().identity = sim::DriveIdentity{};
        if (std::string(change[0]) == "product") drive->config().identity.product = change[1];
        else drive->config().identity.normalVendorCode = change[1];
        currentTarget.selectedEntry = 0;
        std::memcpy(currentTarget.fileName, "KEPT", 5);
        EXPECT_NE(IdentifyTarget(), 0) << change[0];
        EXPECT_EQ(pc.console, "\r\nCurrent Firmware is not supported by this program.") << change[0];
        EXPECT_STREQ(currentTarget.fileName, "KEPT") << "no entry may be copied";
    }
    ASSERT_FALSE(pc.boxes.empty());
    EXPECT_EQ(pc.boxes.back().flags, MB_ICONERROR);
}

}  // namespace
}  // namespace kambio
