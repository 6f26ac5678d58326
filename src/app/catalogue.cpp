#include "app/catalogue.h"

#include <cstdio>
#include <cstring>

#include "app/run_state.h"
#include "commands/drive_info.h"
#include "commands/standard_commands.h"
#include "procedures/revision_report.h"
#include "ui/messages.h"

namespace kambio {

FirmwareCatalogue firmwareCatalogue;
CurrentTarget currentTarget;

void ResetCatalogueState() {
    std::memset(&firmwareCatalogue, 0, sizeof firmwareCatalogue);
    std::memset(&currentTarget, 0, sizeof currentTarget);
}

namespace {

constexpr std::uint16_t kFirmwareRevision = 0x0121;
constexpr const char* kFileNameFormat = "Q5518450.%03x";
constexpr const char* kVendor = "KORV    ";
constexpr const char* kProducts[] = {"LMX-5560P/D     ", "LMX-5560P       "};
constexpr std::uint32_t kImageSize = 0x100000;
constexpr std::int32_t kTypeCode = 0x1007;
constexpr std::uint32_t kMinimumDate = 0x20031203;
constexpr std::uint32_t kModeSwitchCode = 0x4E07B1C3;

// The maker's own writer answers for every entry, whatever the OEM names.
constexpr const char* kMakerVendor = "VORTANE ";
constexpr const char* kMakerProduct = "DVD-RW  QZM-450 ";
constexpr const char* kBlankVendorCode = "        ";

bool SameBytes(const char* a, const char* b, std::size_t width) { return std::memcmp(a, b, width) == 0; }

bool IdentityFits(const CatalogueEntry& entry, const InquiryData& inquiry) {
    bool entryIdentity = SameBytes(inquiry.vendor(), entry.inquiryVendor, 8) &&
                         SameBytes(inquiry.product(), entry.productId, 16);
    bool makerIdentity = SameBytes(inquiry.vendor(), kMakerVendor, 8) &&
                         SameBytes(inquiry.product(), kMakerProduct, 16);
    return entryIdentity || makerIdentity;
}

void CopyEntryToCurrentTarget(std::int32_t index) {
    const CatalogueEntry& entry = firmwareCatalogue.entries[index];
    currentTarget.selectedEntry = static_cast<std::int8_t>(index);
    std::memcpy(currentTarget.fileName, entry.fileName, sizeof entry.fileName);
    std::memcpy(currentTarget.modelCode, entry.modelCode, sizeof entry.modelCode);
    std::memcpy(currentTarget.inquiryVendor, entry.inquiryVendor, sizeof entry.inquiryVendor);
    std::memcpy(currentTarget.productId, entry.productId, sizeof entry.productId);
    std::memcpy(currentTarget.versionText, entry.versionText, sizeof entry.versionText);
    std::memcpy(currentTarget.cpuType, entry.cpuType, sizeof entry.cpuType);
    currentTarget.imageSize = entry.imageSize;
    currentTarget.oneWayVersion = entry.oneWayVersion;
    currentTarget.typeCode = entry.typeCode;
    currentTarget.normalPartOnly = entry.normalPartOnly;
    currentTarget.modeSwitchCode = entry.modeSwitchCode;
}

}  // namespace

std::int32_t BuildCatalogue() {
    ResetCatalogueState();
    firmwareCatalogue.firmwareRevision = kFirmwareRevision;
    for (int i = 0; i < 2; ++i) {
        CatalogueEntry& entry = firmwareCatalogue.entries[i];
        std::snprintf(entry.fileName, sizeof entry.fileName, kFileNameFormat,
                      firmwareCatalogue.firmwareRevision);
        std::memcpy(entry.firmwareVendor, kVendor, 8);
        std::memcpy(entry.inquiryVendor, kVendor, 8);
        std::memcpy(entry.productId, kProducts[i], 16);
        entry.normalPartOnly = 1;
        entry.imageSize = kImageSize;
        entry.typeCode = kTypeCode;
        entry.oneWayVersion = 0;
        entry.minimumDate = kMinimumDate;
        entry.modeSwitchCode = kModeSwitchCode;
    }
    firmwareCatalogue.count = 2;
    return firmwareCatalogue.count;
}

std::int32_t MatchCatalogue(const InquiryData& inquiry) {
    const DriveInfoStorage& info = currentTarget.driveInfo;
    for (std::int32_t i = 0; i < firmwareCatalogue.count; ++i) {
        const CatalogueEntry& entry = firmwareCatalogue.entries[i];
        if (!IdentityFits(entry, inquiry)) continue;
        if ((entry.typeCode & 0xFF00) != kTwoPartFamily) return i;
        if (SameBytes(info.normalVendorCode(), entry.firmwareVendor, 8)) return i;
        // No normal part on the drive, and its kernel is of this vendor: the
        // drive was left in kernel mode and can be finished.
        if (SameBytes(info.normalVendorCode(), kBlankVendorCode, 8) &&
            SameBytes(info.kernelVendorCode(), entry.firmwareVendor, 8)) {
            revision.KernelModeFlag = 1;
            return i;
        }
    }
    return -1;
}

std::int32_t IdentifyTarget() {
    std::int32_t status = Inquiry(run.currentIndex, currentTarget.inquiryData.bytes);
    if (status != 0) {
        ShowMessage(9, kStyleError);
        return status;
    }
    status = ReadDriveInfo();
    if (status != 0) {
        ShowMessage(0, kStyleError);
        return status;
    }
    std::int32_t index = MatchCatalogue(currentTarget.inquiryData);
    if (index == -1) {
        // The drive changed since discovery (another drive, or other
        // firmware): the values of the drive matched before must never be
        // used to update this one.
        ShowMessage(49, kStyleError);
        return -1;
    }
    CopyEntryToCurrentTarget(index);
    return 0;
}

}  // namespace kambio
