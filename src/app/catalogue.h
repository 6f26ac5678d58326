// The built-in firmware catalogue, target selection and the current target.
#pragma once

#include <cstdint>

#include "commands/inquiry_data.h"
#include "commands/drive_info.h"

namespace kambio {

inline constexpr int kCatalogueCapacity = 8;

struct CatalogueEntry {
    char fileName[128];
    char modelCode[64];
    char inquiryVendor[8];
    char firmwareVendor[8];
    char productId[16];
    char versionText[4];
    char cpuType[8];
    std::uint32_t imageSize;
    std::int32_t oneWayVersion;
    std::int32_t typeCode;
    std::int32_t normalPartOnly;
    std::uint32_t minimumDate;
    std::uint32_t modeSwitchCode;
};

struct FirmwareCatalogue {
    CatalogueEntry entries[kCatalogueCapacity];
    std::int32_t count;
    std::uint16_t firmwareRevision;
};

// The drive at currentIndex: the copy of its catalogue entry and its answers.
struct CurrentTarget {
    std::int8_t selectedEntry;
    char fileName[128];
    char modelCode[64];
    char inquiryVendor[8];
    char productId[16];
    char versionText[4];
    char cpuType[8];
    std::uint32_t imageSize;
    std::int32_t oneWayVersion;
    std::int32_t typeCode;
    std::int32_t normalPartOnly;
    std::uint32_t modeSwitchCode;
    InquiryData inquiryData;
    DriveInfoStorage driveInfo;
};

extern FirmwareCatalogue firmwareCatalogue;
extern CurrentTarget currentTarget;

// Type code families: bits 12 to 15 choose the update procedure.
inline constexpr std::int32_t kFamilyMask = 0xF000;
inline constexpr std::int32_t kTwoPartFamily = 0x1000;
inline constexpr std::int32_t kLegacyFamily = 0x0000;

void ResetCatalogueState();

}  // namespace kambio

namespace kambio {

std::int32_t BuildCatalogue();
// Index of the first entry the drive fits, or -1. May set KernelModeFlag.
std::int32_t MatchCatalogue(const InquiryData& inquiry);
// Questions the drive at currentIndex and selects its entry.
std::int32_t IdentifyTarget();

}  // namespace kambio
