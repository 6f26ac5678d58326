#include "commands/standard_commands.h"

#include "app/run_state.h"
#include "transport/platform_setup.h"
#include "transport/scsi_request.h"

namespace kambio {

std::int32_t CommandTimeout = 0;

void ResetCommandState() { CommandTimeout = 0; }

namespace {

constexpr std::uint8_t kOpTestUnitReady = 0x00;
constexpr std::uint8_t kOpInquiry = 0x12;
constexpr std::uint8_t kOpStartStopUnit = 0x1B;
constexpr std::uint8_t kOpWriteBuffer = 0x3B;
constexpr std::uint8_t kOpReadBuffer = 0x3C;
constexpr std::uint8_t kInquiryAllocation = 0x60;
constexpr std::int32_t kInquiryTimeoutMs = 5000;
constexpr std::int32_t kInquiryTimeoutIeee1394Ms = 1000;
constexpr std::uint8_t kModeDownloadAndSave = 5;

ScsiRequest NewRequest(std::int32_t target, std::int32_t cdbLength, std::int32_t timeoutMs) {
    ScsiRequest request;
    request.targetIndex = target;
    request.cdbLength = cdbLength;
    request.timeoutMs = timeoutMs;
    return request;
}

void SetDataPhase(ScsiRequest& request, std::int32_t direction, std::int32_t length,
                  std::uint8_t* data) {
    request.direction = direction;
    request.dataLength = length;
    request.data = data;
}

// READ BUFFER and WRITE BUFFER share one CDB layout, big-endian fields.
ScsiRequest BufferRequest(std::uint8_t opcode, std::int32_t target, std::uint8_t mode,
                          std::uint8_t bufferId, std::uint32_t offset, std::uint16_t length,
                          std::int32_t timeoutMs) {
    ScsiRequest request = NewRequest(target, 10, timeoutMs);
    request.cdb[0] = opcode;
    request.cdb[1] = mode;
    request.cdb[2] = bufferId;
    request.cdb[3] = static_cast<std::uint8_t>(offset >> 16);
    request.cdb[4] = static_cast<std::uint8_t>(offset >> 8);
    request.cdb[5] = static_cast<std::uint8_t>(offset);
    request.cdb[7] = static_cast<std::uint8_t>(length >> 8);
    request.cdb[8] = static_cast<std::uint8_t>(length);
    return request;
}

// A drive on the IEEE1394 bridge under pass-through may take longer to save
// microcode than any fixed limit: its save waits for the port's own default.
std::int32_t WriteBufferTimeout(std::uint8_t mode) {
    bool onIeee1394 = transport.TransportKind == kPassThrough &&
                      transport.Ieee1394Index == run.currentIndex;
    if (onIeee1394 && mode == kModeDownloadAndSave) return 0;
    return CommandTimeout;
}

}  // namespace

std::int32_t TestUnitReady(std::int32_t target) {
    ScsiRequest request = NewRequest(target, 6, CommandTimeout);
    request.cdb[0] = kOpTestUnitReady;
    return ExecuteScsi(&request);
}

std::int32_t Inquiry(std::int32_t target, std::uint8_t* buffer96) {
    std::int32_t timeout = transport.Ieee1394Index == -1 ? kInquiryTimeoutMs : kInquiryTimeoutIeee1394Ms;
    ScsiRequest request = NewRequest(target, 6, timeout);
    request.cdb[0] = kOpInquiry;
    request.cdb[4] = kInquiryAllocation;
    SetDataPhase(request, kDirectionIn, kInquiryAllocation, buffer96);
    return ExecuteScsi(&request);
}

std::int32_t StopUnit(std::int32_t target) {
    CommandTimeout = 0;
    ScsiRequest request = NewRequest(target, 6, CommandTimeout);
    request.cdb[0] = kOpStartStopUnit;
    return ExecuteScsi(&request);
}

std::int32_t ReadBuffer(std::int32_t target, std::uint8_t mode, std::uint8_t bufferId,
                        std::uint32_t offset, std::uint16_t length, std::uint8_t* buffer) {
    ScsiRequest request =
        BufferRequest(kOpReadBuffer, target, mode, bufferId, offset, length, CommandTimeout);
    SetDataPhase(request, kDirectionIn, length, buffer);
    return ExecuteScsi(&request);
}

std::int32_t WriteBuffer(std::int32_t target, std::uint8_t mode, std::uint8_t bufferId,
                         std::uint32_t offset, std::uint16_t length, std::uint8_t* data) {
    ScsiRequest request = BufferRequest(kOpWriteBuffer, target, mode, bufferId, offset, length,
                                        WriteBufferTimeout(mode));
    // A zero-length WRITE BUFFER is a bare vendor command: no data phase.
    if (length != 0) SetDataPhase(request, kDirectionOut, length, data);
    return ExecuteScsi(&request);
}

}  // namespace kambio
