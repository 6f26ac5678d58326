#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/run_state.h"
#include "sim_fixture.h"
#include "transport/discovery.h"
#include "transport/platform_setup.h"
#include "transport/target_table.h"
#include "virtual_drive.h"

namespace kambio {
namespace {

using testing::SimTest;

std::shared_ptr<sim::VirtualDrive> Writer(const char* product = "LMX-5560P/D     ") {
    auto drive = std::make_shared<sim::VirtualDrive>();
    drive->config().identity.product = product;
    return drive;
}

std::shared_ptr<sim::VirtualDrive> OtherDevice(std::uint8_t type) {
    auto drive = std::make_shared<sim::VirtualDrive>();
    drive->config().identity.deviceType = type;
    drive->config().identity.vendor = "PLUV    ";
    drive->config().identity.product = "CD-ROM CR-48X   ";
    return drive;
}

class DiscoveryTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        BuildCatalogue();
    }
    void TearDown() override {
        TearDownTransport();
        SimTest::TearDown();
    }
    void OnPassThrough() {
        pc.os = sim::OsVersion{VER_PLATFORM_WIN32_NT, 5, 1, 2600};
        DetectPlatform();
    }
    void OnAspi() {
        pc.os = sim::OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000};
        pc.aspi.installed = true;
    }
    void Attach(char letter, std::shared_ptr<sim::Device> device) {
        sim::DriveLetter drive;
        drive.device = std::move(device);
        pc.attachLetter(letter, drive);
    }
    std::vector<char> HeldLetters(BYTE prevent) const {
        std::vector<char> letters;
        for (const sim::McnCall& call : pc.mcnCalls())
            if (call.prevent == prevent) letters.push_back(call.letter);
        return letters;
    }
    // Target ids probed with INQUIRY on an adapter, in order.
    std::vector<int> ProbedIds(int adapter) const {
        std::vector<int> ids;
        std::string prefix = "scsi aspi ha=" + std::to_string(adapter) + " id=";
        for (const std::string& line : pc.trace.of("scsi")) {
            if (line.rfind(prefix, 0) == 0 && line.find("cdb=12 ") != std::string::npos)
                ids.push_back(std::stoi(line.substr(prefix.size())));
        }
        return ids;
    }
};

TEST_F(DiscoveryTest, PassThroughWalksLettersDToZ) {
    OnPassThrough();
    EXPECT_EQ(DiscoverTargets(), 0);
    std::vector<std::string> opens = pc.trace.of("open");
    ASSERT_EQ(opens.size(), 23u);
    EXPECT_NE(opens.front().find("D:"), std::string::npos);
    EXPECT_NE(opens.back().find("Z:"), std::string::npos);
    EXPECT_EQ(run.targetCount, 0);
}

TEST_F(DiscoveryTest, PassThroughHoldsNotificationForEveryCdDriveTargetOrNot) {
    Attach('E', OtherDevice(0x05));
    Attach('G', Writer());
    OnPassThrough();
    EXPECT_EQ(DiscoverTargets(), 1);
    EXPECT_EQ(run.targetCount, 1);
    EXPECT_EQ(targetTable.entries[0].driveLetter, 'G');
    EXPECT_EQ(run.currentIndex, 0);
    EXPECT_EQ(discovery.CdDriveCount, 2);
    EXPECT_EQ(HeldLetters(1), (std::vector<char>{'E', 'G'}));
    EXPECT_TRUE(HeldLetters(0).empty());

    TearDownTransport();
    EXPECT_EQ(HeldLetters(0), (std::vector<char>{'E', 'G'}));  // released on the same handles
}

TEST_F(DiscoveryTest, OnlyWriteOnceAndCdDvdDeviceTypesCountAsCdDrives) {
    struct Case {
        std::uint8_t type;
        bool cd;
    };
    const Case cases[] = {{0x04, true}, {0x05, true}, {0x25, false}, {0x00, false}, {0x85, false}};
    char letter = 'D';
    for (const Case& c : cases) Attach(letter++, OtherDevice(c.type));
    OnPassThrough();
    DiscoverTargets();
    EXPECT_EQ(HeldLetters(1), (std::vector<char>{'D', 'E'}));
}

TEST_F(DiscoveryTest, TargetsAreListedInLetterOrderWhateverTheirDeviceType) {
    auto direct = Writer("LMX-5560P       ");
    direct->config().identity.deviceType = 0x00;
    Attach('H', Writer());
    Attach('K', direct);
    OnPassThrough();
    EXPECT_EQ(DiscoverTargets(), 2);
    EXPECT_EQ(targetTable.entries[0].driveLetter, 'H');
    EXPECT_EQ(targetTable.entries[1].driveLetter, 'K');
    EXPECT_EQ(run.currentIndex, 1);
    EXPECT_EQ(HeldLetters(1), (std::vector<char>{'H'}));
}

TEST_F(DiscoveryTest, DriveThatDoesNotAnswerInquiryIsSkippedAndClosed) {
    auto silent = Writer();
    sim::FaultRule fault;
    fault.opcode = 0x12;
    fault.sense = sim::SenseCode{0x04, 0x44, 0x00};
    silent->addFault(fault);
    Attach('E', silent);
    OnPassThrough();
    EXPECT_EQ(DiscoverTargets(), 0);
    EXPECT_EQ(discovery.CdDriveCount, 0);
    EXPECT_EQ(pc.openDriveHandles(), 0u);
}

// A drive whose information block cannot be read is matched with a zeroed
// block, never with the block of the drive probed before it.
TEST_F(DiscoveryTest, FailedInformationBlockIsMatchedAsZeroes) {
    auto mute = Writer();
    sim::FaultRule fault;
    fault.opcode = 0x3C;
    fault.sense = sim::SenseCode{0x05, 0x24, 0x00};
    mute->addFault(fault);
    Attach('E', Writer());
    Attach('F', mute);
    OnPassThrough();
    EXPECT_EQ(DiscoverTargets(), 1);
    EXPECT_EQ(targetTable.entries[0].driveLetter, 'E');
    EXPECT_TRUE(std::all_of(currentTarget.driveInfo.bytes, currentTarget.driveInfo.bytes + 64,
                            [](std::uint8_t b) { return b == 0; }));
}

TEST_F(DiscoveryTest, AspiProbesTwoIdsOnIdeAdaptersAndSevenOnOthers) {
    OnAspi();
    pc.aspi.addAdapter("ESDI_506");
    pc.aspi.addAdapter("ESDI_506");
    pc.aspi.addAdapter("AIC78XX");
    pc.aspi.attach(1, 1, Writer());
    pc.aspi.attach(2, 5, Writer("LMX-5560P       "));
    DetectPlatform();
    EXPECT_EQ(DiscoverTargets(), 2);
    EXPECT_EQ(ProbedIds(0), (std::vector<int>{0, 1}));
    EXPECT_EQ(ProbedIds(1), (std::vector<int>{0, 1}));
    EXPECT_EQ(ProbedIds(2), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(discovery.IdeAdapters[0], 0);
    EXPECT_EQ(discovery.IdeAdapters[1], 1);
    EXPECT_EQ(run.ideAdapterCount, 2);
    EXPECT_EQ(targetTable.entries[0].adapter, 1);
    EXPECT_EQ(targetTable.entries[0].target, 1);
    EXPECT_EQ(targetTable.entries[1].adapter, 2);
    EXPECT_EQ(targetTable.entries[1].target, 5);
    EXPECT_TRUE(pc.mcnCalls().empty());
}

TEST_F(DiscoveryTest, UnderTheIntelAtaDriverOnlyIdeAdaptersAreScanned) {
    OnAspi();
    pc.aspi.addAdapter("AIC78XX");
    pc.aspi.addAdapter("intelata");
    pc.aspi.addAdapter("AIC78XX");
    DetectPlatform();
    DiscoverTargets();
    EXPECT_TRUE(ProbedIds(0).empty());
    EXPECT_EQ(ProbedIds(1), (std::vector<int>{0, 1}));
    EXPECT_TRUE(ProbedIds(2).empty());
    EXPECT_EQ(discovery.IdeAdapters[0], 1);
    EXPECT_EQ(discovery.IdeAdapters[1], -1);
    EXPECT_EQ(run.ideAdapterCount, 1);
    EXPECT_EQ(transport.IntelIdeDriver, 1);
}

// Two slots for the IDE channels: a third IDE adapter is still scanned but
// nothing is written past the slots.
TEST_F(DiscoveryTest, ThirdIdeAdapterIsScannedWithoutASlot) {
    OnAspi();
    pc.aspi.addAdapter("ESDI_506");
    pc.aspi.addAdapter("ESDI_506");
    pc.aspi.addAdapter("ESDI_506");
    pc.aspi.attach(2, 0, Writer());
    DetectPlatform();
    EXPECT_EQ(DiscoverTargets(), 1);
    EXPECT_EQ(ProbedIds(2), (std::vector<int>{0, 1}));
    EXPECT_EQ(run.ideAdapterCount, 2);
    EXPECT_EQ(discovery.IdeAdapters[0], 0);
    EXPECT_EQ(discovery.IdeAdapters[1], 1);
}

TEST_F(DiscoveryTest, AspiWithoutAdaptersFindsNothingAtOnce) {
    OnAspi();
    pc.aspi.supportStatus = SS_NO_ADAPTERS;
    DetectPlatform();
    EXPECT_EQ(DiscoverTargets(), 0);
    EXPECT_TRUE(pc.trace.of("scsi").empty());
    EXPECT_EQ(run.targetCount, 0);
}

TEST_F(DiscoveryTest, AspiRequestsRefusedAtOnceAreNotWaitedFor) {
    OnAspi();
    pc.aspi.addAdapter("ESDI_506");
    pc.aspi.attach(0, 0, Writer());
    pc.aspi.refuseStatus = SS_INVALID_HA;
    DetectPlatform();
    EXPECT_EQ(DiscoverTargets(), 0);
    EXPECT_TRUE(pc.trace.of("wait").empty());
}

// A device hung on the bus must not hold discovery forever: its probe is
// given up and aborted, and the scan goes on with the next target id.
TEST_F(DiscoveryTest, AspiProbeOfAHungDeviceIsAbortedAndTheScanGoesOn) {
    OnAspi();
    pc.aspi.addAdapter("ESDI_506");
    auto hung = Writer();
    sim::FaultRule fault;
    fault.opcode = 0x12;
    fault.neverCompletes = true;
    hung->addFault(fault);
    pc.aspi.attach(0, 0, hung);
    pc.aspi.attach(0, 1, Writer());
    DetectPlatform();
    EXPECT_EQ(DiscoverTargets(), 1);
    EXPECT_EQ(targetTable.entries[0].target, 1);
    EXPECT_EQ(pc.aspi.pendingRequests(), 0u);
    auto waits = pc.trace.of("wait");
    ASSERT_FALSE(waits.empty());
    EXPECT_NE(waits.front().find("limit=10000 -> timeout"), std::string::npos) << waits.front();
}

}  // namespace
}  // namespace kambio
