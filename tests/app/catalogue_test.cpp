#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/catalogue.h"
#include "procedures/revision_report.h"
#include "sim_fixture.h"

namespace kambio {
namespace {

using testing::SimTest;

class CatalogueTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        BuildCatalogue();
    }

    // Exact bytes: no padding is added, so padding mistakes can be written down.
    static InquiryData Inquiry(const std::string& vendor8, const std::string& product16) {
        InquiryData data{};
        std::memcpy(data.bytes + 8, vendor8.data(), std::min<std::size_t>(vendor8.size(), 8));
        std::memcpy(data.bytes + 16, product16.data(), std::min<std::size_t>(product16.size(), 16));
        return data;
    }
    static void SetVendorCodes(const std::string& kernel8, const std::string& normal8) {
        std::memcpy(currentTarget.driveInfo.bytes + 24, kernel8.data(), 8);
        std::memcpy(currentTarget.driveInfo.bytes + 32, normal8.data(), 8);
    }
};

TEST_F(CatalogueTest, BuildsTwoEntriesForFirmware121) {
    EXPECT_EQ(firmwareCatalogue.count, 2);
    EXPECT_EQ(firmwareCatalogue.firmwareRevision, 0x0121);
    for (int i = 0; i < 2; ++i) {
        const CatalogueEntry& entry = firmwareCatalogue.entries[i];
        EXPECT_STREQ(entry.fileName, "Q5518450.121");
        EXPECT_EQ(std::string(entry.inquiryVendor, 8), "KORV    ");
        EXPECT_EQ(std::string(entry.firmwareVendor, 8), "KORV    ");
        EXPECT_EQ(entry.typeCode, 0x1007);
        EXPECT_EQ(entry.imageSize, 0x100000u);
        EXPECT_EQ(entry.normalPartOnly, 1);
        EXPECT_EQ(entry.oneWayVersion, 0);
        EXPECT_EQ(entry.minimumDate, 0x20031203u);
        EXPECT_EQ(entry.modeSwitchCode, 0x4E07B1C3u);
    }
    EXPECT_EQ(std::string(firmwareCatalogue.entries[0].productId, 16), "LMX-5560P/D     ");
    EXPECT_EQ(std::string(firmwareCatalogue.entries[1].productId, 16), "LMX-5560P       ");
    EXPECT_EQ(firmwareCatalogue.entries[2].typeCode, 0);
    EXPECT_EQ(currentTarget.typeCode, 0);
}

struct MatchCase {
    const char* what;
    std::string vendor;
    std::string product;
    std::string kernelCode;
    std::string normalCode;
    int expected;
    bool kernelMode;
};

TEST_F(CatalogueTest, MatchesByIdentityAndFirmwareVendorCode) {
    const MatchCase cases[] = {
        {"OEM writer, first product", "KORV    ", "LMX-5560P/D     ", "KORV    ", "KORV    ", 0, false},
        {"OEM writer, second product", "KORV    ", "LMX-5560P       ", "KORV    ", "KORV    ", 1, false},
        {"left in kernel mode", "KORV    ", "LMX-5560P/D     ", "KORV    ", "        ", 0, true},
        {"maker's own writer", "VORTANE ", "DVD-RW  QZM-450 ", "KORV    ", "KORV    ", 0, false},
        {"maker's writer with maker firmware", "VORTANE ", "DVD-RW  QZM-450 ", "KORV    ", "VORTANE ", -1, false},
        {"blank normal, other kernel vendor", "KORV    ", "LMX-5560P/D     ", "GENERAL ", "        ", -1, false},
        {"vendor short of padding", "KORV   \0", "LMX-5560P/D     ", "KORV    ", "KORV    ", -1, false},
        {"vendor in lower case", "korv    ", "LMX-5560P/D     ", "KORV    ", "KORV    ", -1, false},
        {"product padded differently", "KORV    ", " LMX-5560P/D    ", "KORV    ", "KORV    ", -1, false},
        {"product cut short", "KORV    ", "LMX-5560P/D\0\0\0\0\0", "KORV    ", "KORV    ", -1, false},
        {"unknown drive", "PLUV    ", "PV-K90Z         ", "KORV    ", "KORV    ", -1, false},
    };
    for (const MatchCase& c : cases) {
        revision.KernelModeFlag = 0;
        SetVendorCodes(c.kernelCode, c.normalCode);
        EXPECT_EQ(MatchCatalogue(Inquiry(c.vendor, c.product)), c.expected) << c.what;
        EXPECT_EQ(revision.KernelModeFlag, c.kernelMode ? 1 : 0) << c.what;
    }
}

TEST_F(CatalogueTest, FailedMatchLeavesKernelModeFlagAsItWas) {
    revision.KernelModeFlag = 1;
    SetVendorCodes("GENERAL ", "        ");
    EXPECT_EQ(MatchCatalogue(Inquiry("KORV    ", "LMX-5560P/D     ")), -1);
    EXPECT_EQ(revision.KernelModeFlag, 1);
}

TEST_F(CatalogueTest, LegacyFamilyEntriesMatchOnIdentityAlone) {
    firmwareCatalogue.entries[0].typeCode = 0x0008;
    SetVendorCodes("GENERAL ", "OTHER   ");
    EXPECT_EQ(MatchCatalogue(Inquiry("KORV    ", "LMX-5560P/D     ")), 0);
}

}  // namespace
}  // namespace kambio
