#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commands/standard_commands.h"
#include "program_run.h"
#include "scripted_device.h"
#include "sim_fixture.h"
#include "transport/discovery.h"
#include "transport/platform_setup.h"
#include "transport/target_table.h"
#include "ui/messages.h"

namespace kambio {
namespace {

using testing::SimTest;

constexpr sim::OsVersion kWindowsMe{VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000};
constexpr sim::OsVersion kWindowsXp{VER_PLATFORM_WIN32_NT, 5, 1, 2600};

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

int Shown(const sim::SimPc& pc, MessageId id) { return Count(pc.console, MessageText(id)); }

std::size_t LinesStarting(const sim::SimPc& pc, const std::string& start) {
    std::size_t count = 0;
    for (const std::string& line : pc.trace.lines()) count += line.rfind(start, 0) == 0 ? 1 : 0;
    return count;
}

void InstallAspi(sim::SimPc& pc, const std::vector<std::string>& identifiers) {
    pc.os = kWindowsMe;
    pc.aspi.installed = true;
    for (const std::string& identifier : identifiers) pc.aspi.addAdapter(identifier);
}

// --- Which transport each Windows version gets -----------------------------------

struct VersionCase {
    const char* name;
    DWORD platformId;
    DWORD major;
    DWORD minor;
    std::int32_t kind;
};

class DetectPlatformTest : public SimTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(DetectPlatformTest, ChoosesTheTransportAndSetsItUp) {
    const VersionCase& c = GetParam();
    pc.os = sim::OsVersion{c.platformId, c.major, c.minor, 0};
    CommandTimeout = 0;
    DetectPlatform();
    EXPECT_EQ(transport.TransportKind, c.kind);
    EXPECT_EQ(CommandTimeout, 1000);
    // The set-up of that transport ran, and only that one.
    EXPECT_EQ(LinesStarting(pc, "loadlibrary \"WNASPI32.DLL\""), c.kind == kAspi ? 1u : 0u);
    EXPECT_EQ(LinesStarting(pc, "regopen HKLM\\SOFTWARE\\INTEL\\"), c.kind == kAspi ? 0u : 2u);
    TearDownTransport();
}

INSTANTIATE_TEST_SUITE_P(
    Versions, DetectPlatformTest,
    ::testing::Values(VersionCase{"Windows95", 1, 4, 0, kAspi},
                      VersionCase{"Windows98", 1, 4, 10, kAspi},
                      VersionCase{"WindowsMe", 1, 4, 90, kAspi},
                      VersionCase{"NineXMinor3", 1, 4, 3, kPassThrough},
                      VersionCase{"NineXMinor91", 1, 4, 91, kPassThrough},
                      VersionCase{"Nt40", 2, 4, 0, kPassThrough},
                      VersionCase{"NtWithNineXMinor10", 2, 4, 10, kPassThrough},
                      VersionCase{"Windows2000", 2, 5, 0, kPassThrough},
                      VersionCase{"WindowsXp", 2, 5, 1, kPassThrough},
                      VersionCase{"Windows52", 2, 5, 2, kPassThrough},
                      VersionCase{"Windows60", 2, 6, 0, kPassThrough},
                      VersionCase{"Win32sMinor10", 0, 3, 10, kPassThrough},
                      VersionCase{"PlatformId3Minor0", 3, 4, 0, kPassThrough}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The Intel IDE drivers under pass-through ------------------------------------

struct IntelKeysCase {
    const char* name;
    bool accelerator;
    bool ultraAta;
    std::int32_t driver;
    int messages;
};

class IntelKeysTest : public SimTest, public ::testing::WithParamInterface<IntelKeysCase> {};

TEST_P(IntelKeysTest, BothKeysAreLookedForAndTheLastFoundDecides) {
    const IntelKeysCase& c = GetParam();
    pc.os = kWindowsXp;
    if (c.accelerator) pc.registry.addKey("HKLM\\SOFTWARE\\INTEL\\Intel Application Accelerator");
    if (c.ultraAta) pc.registry.addKey("HKLM\\software\\intel\\INTEL ULTRA ATA STORAGE DRIVER");
    transport.IntelIdeDriver = 7;  // whatever an earlier step left
    EXPECT_EQ(SetUpPassThrough(), 0);
    EXPECT_EQ(transport.IntelIdeDriver, c.driver);
    EXPECT_EQ(Shown(pc, 48), c.messages);
    EXPECT_EQ(pc.registry.openKeys(), 0u);
    TearDownTransport();
}

INSTANTIATE_TEST_SUITE_P(Keys, IntelKeysTest,
                         ::testing::Values(IntelKeysCase{"Neither", false, false, 0, 0},
                                           IntelKeysCase{"AcceleratorAlone", true, false, 2, 1},
                                           IntelKeysCase{"UltraAtaAlone", false, true, 1, 1},
                                           IntelKeysCase{"Both", true, true, 1, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Host adapters under ASPI ------------------------------------------------------

struct AdapterCase {
    const char* name;
    std::vector<std::string> identifiers;
    std::vector<int> failingInquiries;
    std::int32_t intel;
    std::int32_t ieee1394;
    int intelMessages;
    int ieee1394Messages;
};

class AdapterScanTest : public SimTest, public ::testing::WithParamInterface<AdapterCase> {};

TEST_P(AdapterScanTest, NamesTellTheIntelDriverAndTheIeee1394Bridge) {
    const AdapterCase& c = GetParam();
    InstallAspi(pc, c.identifiers);
    for (int failing : c.failingInquiries) pc.aspi.adapters[failing].inquiryFails = true;
    EXPECT_EQ(SetUpAspi(), 0);
    EXPECT_EQ(transport.HostAdapterCount, c.identifiers.size());
    EXPECT_EQ(transport.IntelIdeDriver, c.intel);
    EXPECT_EQ(transport.Ieee1394Index, c.ieee1394);
    EXPECT_EQ(Shown(pc, 48), c.intelMessages);
    EXPECT_EQ(Shown(pc, 52), c.ieee1394Messages);
    TearDownTransport();
}

const std::string kBlanks = "        ";
const std::string kNone;

INSTANTIATE_TEST_SUITE_P(
    Adapters, AdapterScanTest,
    ::testing::Values(
        AdapterCase{"PlainIde", {"ESDI_506"}, {}, 0, -1, 0, 0},
        AdapterCase{"SeveralIntelAta", {"intelata", "ESDI_506", "intelata", "intelata"}, {}, 1, -1, 1, 0},
        AdapterCase{"IntelAtaByItsFirstEightBytes", {"intelataXYZ"}, {}, 1, -1, 1, 0},
        AdapterCase{"NtmaphlpUpper", {"ESDI_506", "NTMAPHLP"}, {}, 0, 1, 0, 1},
        AdapterCase{"NtmaphlpLower", {"ESDI_506", "ntmaphlp"}, {}, 0, 1, 0, 1},
        AdapterCase{"NtmaphlpMixedCaseIsNot", {"ESDI_506", "NtMapHlp"}, {}, 0, -1, 0, 0},
        AdapterCase{"EightBlanks", {"ESDI_506", kBlanks}, {}, 0, 1, 0, 1},
        AdapterCase{"EightZeroBytes", {"ESDI_506", kNone}, {}, 0, 1, 0, 1},
        AdapterCase{"SevenLettersAndZeroIsNot", {"NTMAPHL"}, {}, 0, -1, 0, 0},
        AdapterCase{"FailedInquiryLooksLikeIeee1394", {"ESDI_506", "ESDI_506"}, {1}, 0, 1, 0, 1},
        AdapterCase{"HighestIeee1394Wins", {"NTMAPHLP", "ESDI_506", kBlanks, "ESDI_506"}, {}, 0, 2, 0, 2},
        AdapterCase{"IntelAndIeee1394", {"intelata", "ntmaphlp", "intelata"}, {}, 1, 1, 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

class AspiSetUpTest : public SimTest {};

TEST_F(AspiSetUpTest, AdapterNamesHoldTheSixteenIdentifierBytes) {
    InstallAspi(pc, {"ESDI_506", "0123456789ABCDEFGHIJ"});
    ASSERT_EQ(SetUpAspi(), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(transport.AdapterNames[0])), "ESDI_506");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(transport.AdapterNames[1]), 17),
              std::string("0123456789ABCDEF") + '\0');
    TearDownTransport();
}

struct SupportCase {
    const char* name;
    BYTE status;
    int reportedCount;
    std::int32_t result;
    std::uint8_t adapters;
};

class SupportInfoTest : public SimTest, public ::testing::WithParamInterface<SupportCase> {};

TEST_P(SupportInfoTest, OnlyAFailedStartOrNoAdapterStopsTheSetUp) {
    const SupportCase& c = GetParam();
    InstallAspi(pc, {"ESDI_506", "ESDI_506"});
    pc.aspi.supportStatus = c.status;
    pc.aspi.reportedAdapterCount = c.reportedCount;
    EXPECT_EQ(SetUpAspi(), c.result);
    EXPECT_EQ(transport.HostAdapterCount, c.adapters);
    EXPECT_EQ(pc.aspi.commandCalls(), c.adapters);  // one inquiry per adapter used
    TearDownTransport();
    EXPECT_EQ(pc.liveAllocations(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Statuses, SupportInfoTest,
                         ::testing::Values(SupportCase{"FailedInit", SS_FAILED_INIT, 2, 2, 0},
                                           SupportCase{"FailedInitNoCount", SS_FAILED_INIT, 0, 2, 0},
                                           SupportCase{"NoAdaptersCountZero", SS_NO_ADAPTERS, 0, 3, 0},
                                           SupportCase{"CompletedCountZero", SS_COMP, 0, 3, 0},
                                           SupportCase{"NoAdaptersStatusWithCount", SS_NO_ADAPTERS, 2, 0, 2},
                                           SupportCase{"Completed", SS_COMP, 2, 0, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AspiSetUpTest, MissingLibraryReturnsOneAndNoEntryPointIsCalled) {
    pc.os = kWindowsMe;  // the layer is not installed
    EXPECT_EQ(SetUpAspi(), 1);
    EXPECT_EQ(pc.aspi.supportInfoCalls(), 0);
    EXPECT_EQ(pc.aspi.commandCalls(), 0);
    EXPECT_EQ(transport.HostAdapterCount, 0);
    TearDownTransport();
}

TEST_F(AspiSetUpTest, MoreThanSixteenAdaptersUseTheFirstSixteen) {
    std::vector<std::string> identifiers(20, "ESDI_506");
    identifiers[3] = "ntmaphlp";
    identifiers[17] = "NTMAPHLP";
    identifiers[19] = "intelata";
    InstallAspi(pc, identifiers);
    ASSERT_EQ(SetUpAspi(), 0);
    EXPECT_EQ(transport.HostAdapterCount, 16);
    EXPECT_EQ(pc.aspi.commandCalls(), 16);
    EXPECT_EQ(LinesStarting(pc, "alloc flags=0x40 bytes=960 "), 1u);  // sixteen 60-byte blocks
    EXPECT_EQ(transport.Ieee1394Index, 3);  // adapter 17 is not looked at
    EXPECT_EQ(transport.IntelIdeDriver, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(transport.AdapterNames[15])), "ESDI_506");
    TearDownTransport();
}

// --- Buffers ---------------------------------------------------------------------

std::vector<std::string> Allocations(const sim::SimPc& pc) {
    std::vector<std::string> sizes;
    for (const std::string& line : pc.trace.of("alloc")) {
        EXPECT_EQ(line.rfind("alloc flags=0x40 ", 0), 0u) << line;  // zero-filled, every one
        std::size_t at = line.find("bytes=") + 6;
        sizes.push_back(line.substr(at, line.find(' ', at) - at));
    }
    return sizes;
}

TEST_F(AspiSetUpTest, AspiBuffersAreOneMebibyteEach) {
    InstallAspi(pc, {"ESDI_506", "ESDI_506"});
    DetectPlatform();
    EXPECT_EQ(Allocations(pc), (std::vector<std::string>{"1048576", "1048576", "1048576", "1048576", "120"}));
    for (const GlobalBuffer* buffer : {&transport.TransferBuffer, &transport.SrbArea,
                                       &transport.FirmwareImage, &transport.ModelIdBlock}) {
        EXPECT_EQ(buffer->size, 0x100000u);
        EXPECT_NE(buffer->data, nullptr);
    }
    TearDownTransport();
}

TEST_F(AspiSetUpTest, PassThroughHasNoSrbAreaALargerImageAndASmallModelIdBlock) {
    pc.os = kWindowsXp;
    driveAccess.ScsiAddressCache = SCSI_ADDRESS{8, 1, 2, 3, 4};
    DetectPlatform();
    EXPECT_EQ(Allocations(pc), (std::vector<std::string>{"1048576", "4194304", "512"}));
    EXPECT_EQ(transport.TransferBuffer.size, 0x100000u);
    EXPECT_EQ(transport.FirmwareImage.size, 0x400000u);
    EXPECT_EQ(transport.ModelIdBlock.size, 512u);
    EXPECT_EQ(transport.SrbArea.data, nullptr);
    // No drive opened yet: the address of the last one is forgotten.
    EXPECT_EQ(driveAccess.ScsiAddressCache.PathId, 0);
    EXPECT_EQ(driveAccess.ScsiAddressCache.TargetId, 0);
    EXPECT_EQ(driveAccess.ScsiAddressCache.Lun, 0);
    TearDownTransport();
}

struct AllocationCase {
    const char* name;
    bool aspi;
    int failing;  // the GlobalAlloc call that fails, from 1
};

class AllocationFailureTest : public SimTest, public ::testing::WithParamInterface<AllocationCase> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        if (GetParam().aspi) {
            InstallAspi(pc, {"ESDI_506"});
        } else {
            pc.os = kWindowsXp;
        }
        pc.failingAllocations = {GetParam().failing};
    }
};

TEST_P(AllocationFailureTest, SetUpStopsAndLaterBuffersStayEmpty) {
    const AllocationCase& c = GetParam();
    std::int32_t result = c.aspi ? SetUpAspi() : SetUpPassThrough();
    EXPECT_EQ(result, -1);
    std::vector<const GlobalBuffer*> order = {&transport.TransferBuffer, &transport.FirmwareImage,
                                              &transport.ModelIdBlock};
    if (c.aspi) order = {&transport.TransferBuffer, &transport.SrbArea, &transport.FirmwareImage,
                         &transport.ModelIdBlock, &transport.HostAdapterInquiries};
    for (int i = 0; i < static_cast<int>(order.size()); ++i) {
        EXPECT_EQ(order[i]->data != nullptr, i + 1 < c.failing) << "buffer " << i;
    }
    // Discovery must not walk adapters whose names were never read.
    EXPECT_EQ(transport.HostAdapterCount, 0);
    TearDownTransport();
    EXPECT_EQ(pc.liveAllocations(), 0u);
}

TEST_P(AllocationFailureTest, WholeRunEndsInMessage28WithEverythingFreed) {
    pc.boxAnswers = {IDOK};
    EXPECT_EQ(sim::RunProgram(pc), 1);
    EXPECT_EQ(Shown(pc, 28), 1);
    ASSERT_FALSE(pc.boxes.empty());
    EXPECT_EQ(pc.boxes.back().text, MessageText(28));
    EXPECT_EQ(pc.liveAllocations(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Positions, AllocationFailureTest,
                         ::testing::Values(AllocationCase{"PassThroughTransfer", false, 1},
                                           AllocationCase{"PassThroughImage", false, 2},
                                           AllocationCase{"PassThroughModelId", false, 3},
                                           AllocationCase{"AspiTransfer", true, 1},
                                           AllocationCase{"AspiSrbArea", true, 2},
                                           AllocationCase{"AspiImage", true, 3},
                                           AllocationCase{"AspiModelId", true, 4},
                                           AllocationCase{"AspiInquiries", true, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Tear-down ----------------------------------------------------------------------

struct WayOutCase {
    const char* name;
    std::function<void(sim::SimPc&)> configure;
    std::int32_t result;
};

class TearDownTest : public SimTest, public ::testing::WithParamInterface<WayOutCase> {};

TEST_P(TearDownTest, FreesEverythingWhateverTheSetUpReturnedAndCanRunTwice) {
    GetParam().configure(pc);
    transport.TransportKind = pc.os.platformId == VER_PLATFORM_WIN32_NT ? kPassThrough : kAspi;
    EXPECT_EQ(transport.TransportKind == kAspi ? SetUpAspi() : SetUpPassThrough(), GetParam().result);
    TearDownTransport();
    EXPECT_EQ(pc.liveAllocations(), 0u);
    for (const GlobalBuffer* buffer : {&transport.TransferBuffer, &transport.SrbArea,
                                       &transport.FirmwareImage, &transport.ModelIdBlock,
                                       &transport.HostAdapterInquiries}) {
        EXPECT_EQ(buffer->handle, nullptr);
        EXPECT_EQ(buffer->data, nullptr);
    }
    TearDownTransport();
    EXPECT_EQ(pc.liveAllocations(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    WaysOut, TearDownTest,
    ::testing::Values(
        WayOutCase{"AspiReady", [](sim::SimPc& pc) { InstallAspi(pc, {"ESDI_506"}); }, 0},
        WayOutCase{"AspiNoLibrary", [](sim::SimPc& pc) { pc.os = kWindowsMe; }, 1},
        WayOutCase{"AspiFailedInit",
                   [](sim::SimPc& pc) {
                       InstallAspi(pc, {"ESDI_506"});
                       pc.aspi.supportStatus = SS_FAILED_INIT;
                   },
                   2},
        WayOutCase{"AspiNoAdapter", [](sim::SimPc& pc) { InstallAspi(pc, {}); }, 3},
        WayOutCase{"AspiNoInquiryBlocks",
                   [](sim::SimPc& pc) {
                       InstallAspi(pc, {"ESDI_506"});
                       pc.failingAllocations = {5};
                   },
                   -1},
        WayOutCase{"AspiNoSrbArea",
                   [](sim::SimPc& pc) {
                       InstallAspi(pc, {"ESDI_506"});
                       pc.failingAllocations = {2};
                   },
                   -1},
        WayOutCase{"PassThroughReady", [](sim::SimPc& pc) { pc.os = kWindowsXp; }, 0},
        WayOutCase{"PassThroughNoImage",
                   [](sim::SimPc& pc) {
                       pc.os = kWindowsXp;
                       pc.failingAllocations = {2};
                   },
                   -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AspiSetUpTest, PassThroughTearDownReleasesEveryHeldNotification) {
    pc.os = kWindowsXp;
    for (char letter : {'E', 'G'}) pc.attachLetter(letter, sim::DriveLetter{});
    DetectPlatform();
    discovery.CdDriveLetters[0] = 'E';
    discovery.CdDriveLetters[1] = 'G';
    HoldMediaNotification(0);
    HoldMediaNotification(1);
    if (pc.mcnCalls().size() != 2) GTEST_SKIP() << "discovery does not hold notifications yet";
    discovery.CdDriveCount = 2;
    TearDownTransport();
    ASSERT_EQ(pc.mcnCalls().size(), 4u);
    EXPECT_EQ(pc.mcnCalls()[2].letter, 'E');
    EXPECT_EQ(pc.mcnCalls()[2].prevent, 0);
    EXPECT_EQ(pc.mcnCalls()[3].letter, 'G');
    EXPECT_EQ(pc.mcnCalls()[3].prevent, 0);
}

}  // namespace
}  // namespace kambio
