// The standard SCSI/MMC commands the updater sends: each builds one request
// and returns ExecuteScsi's status unchanged.
#pragma once

#include <cstdint>

namespace kambio {

// The time-out most commands carry, in milliseconds; set by whoever sends
// next and never restored. 0 asks the transport for its own default.
extern std::int32_t CommandTimeout;

std::int32_t TestUnitReady(std::int32_t target);
std::int32_t Inquiry(std::int32_t target, std::uint8_t* buffer96);
std::int32_t StopUnit(std::int32_t target);
std::int32_t ReadBuffer(std::int32_t target, std::uint8_t mode, std::uint8_t bufferId,
                        std::uint32_t offset, std::uint16_t length, std::uint8_t* buffer);
std::int32_t WriteBuffer(std::int32_t target, std::uint8_t mode, std::uint8_t bufferId,
                         std::uint32_t offset, std::uint16_t length, std::uint8_t* data);

void ResetCommandState();

}  // namespace kambio
