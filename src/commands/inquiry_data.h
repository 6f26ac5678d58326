// The 96 bytes of INQUIRY data as the program reads them.
#pragma once

#include <cstdint>

namespace kambio {

inline constexpr int kInquiryLength = 96;

struct InquiryData {
    std::uint8_t bytes[kInquiryLength];

    std::uint8_t deviceType() const { return bytes[0]; }
    const char* vendor() const { return reinterpret_cast<const char*>(bytes + 8); }     // 8
    const char* product() const { return reinterpret_cast<const char*>(bytes + 16); }   // 16
    const char* driveName() const { return reinterpret_cast<const char*>(bytes + 8); }  // 24
    const char* revision() const { return reinterpret_cast<const char*>(bytes + 32); }  // 4
    const char* dateText() const { return reinterpret_cast<const char*>(bytes + 37); }
};

}  // namespace kambio
