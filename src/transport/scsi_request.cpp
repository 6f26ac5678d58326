#include "transport/scsi_request.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "app/catalogue.h"
#include "app/run_state.h"
#include "image/binary_image.h"
#include "transport/platform/platform.h"
#include "transport/platform_setup.h"
#include "transport/target_table.h"

namespace kambio {

SenseInfo senseInfo;
ScsiRecords scsiRecords;

void ResetScsiState() {
    senseInfo = SenseInfo{};
    scsiRecords = ScsiRecords{};
}

namespace {

constexpr std::uint8_t kSenseRequestLength = 18;
constexpr std::uint8_t kStatusCheckCondition = 0x02;
constexpr std::uint8_t kSenseKeyNotReady = 0x02;
constexpr std::uint8_t kOpTestUnitReady = 0x00;
constexpr std::uint8_t kOpWriteBuffer = 0x3B;
constexpr std::uint8_t kModeDownloadAndSave = 0x05;

// The drive type whose microcode save outlasts any event wait the layer
// keeps, and the kernel class whose commands are waited for without limit.
constexpr std::int32_t kPolledSaveTypeCode = 0x1003;
constexpr std::int32_t kUnboundedWaitClass = 0x300;

constexpr DWORD kPollIntervalMs = 500;
constexpr ULONG kPortDefaultTimeoutS = 60;

// How long a request abandoned at its time limit is given to end after the
// abort, and how often it is looked at meanwhile. The layer answers an
// abort within milliseconds; a request still running after this is stuck
// in the layer for good.
constexpr DWORD kAbortWaitMs = 3000;
constexpr DWORD kAbortPollMs = 100;

// Request blocks sit in the SrbArea one after the other, each on a 16-byte
// boundary so that the pointers in them stay aligned.
constexpr std::size_t kSrbStride = (sizeof(SRB_ExecSCSICmd) + 15) & ~std::size_t{15};

constexpr std::size_t kSenseAreaSize = sizeof(ScsiPassThroughDirectRecord::sense);
constexpr std::int32_t kBufferedDataSize = sizeof(ScsiPassThroughRecord::data);

UCHAR PassThroughDirection(std::int32_t direction) {
    switch (direction) {
        case kDirectionIn: return SCSI_IOCTL_DATA_IN;
        case kDirectionOut: return SCSI_IOCTL_DATA_OUT;
        default: return SCSI_IOCTL_DATA_UNSPECIFIED;
    }
}

BYTE AspiDirection(std::int32_t direction) {
    switch (direction) {
        case kDirectionIn: return SRB_DIR_IN;
        case kDirectionOut: return SRB_DIR_OUT;
        default: return 0;
    }
}

std::size_t CdbBytes(const ScsiRequest& request) {
    return static_cast<std::size_t>(std::clamp(request.cdbLength, 0, 16));
}

// The sense bytes the platform returned, never more than the record holds.
void KeepSense(const UCHAR* area, UCHAR length) {
    std::memcpy(senseInfo.senseData, area, std::min<std::size_t>(length, kSenseAreaSize));
}

// The fields both pass-through records share.
template <typename Record>
void FillPassThrough(Record& record, const ScsiRequest& request) {
    record.Length = sizeof record;
    record.PathId = driveAccess.ScsiAddressCache.PathId;
    record.TargetId = driveAccess.ScsiAddressCache.TargetId;
    record.Lun = driveAccess.ScsiAddressCache.Lun;
    record.CdbLength = static_cast<UCHAR>(request.cdbLength);
    record.SenseInfoLength = kSenseRequestLength;
    record.DataIn = PassThroughDirection(request.direction);
    record.DataTransferLength = static_cast<ULONG>(request.dataLength);
    std::memcpy(record.Cdb, request.cdb, CdbBytes(request));
}

std::int32_t SendDirect(const ScsiRequest& request) {
    ScsiPassThroughDirectRecord& record = scsiRecords.passThroughDirect;
    record = ScsiPassThroughDirectRecord{};
    SCSI_PASS_THROUGH_DIRECT& sptd = record.sptd;
    FillPassThrough(sptd, request);
    sptd.TimeOutValue = request.timeoutMs != 0 ? static_cast<ULONG>(request.timeoutMs) / 1000
                                               : kPortDefaultTimeoutS;
    sptd.DataBuffer = request.data;
    sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectRecord, sense);

    DWORD returned = 0;
    scsiRecords.lastPassThroughBuffered = false;
    BOOL sent = Host().DeviceIoControl(driveAccess.driveHandle, IOCTL_SCSI_PASS_THROUGH_DIRECT,
                                       &record, sizeof record, &record, sizeof record, &returned);
    // A call that failed carried nothing out, whatever the status field
    // says; what sense came back with it is kept all the same.
    if (sent == 0) {
        if (sptd.SenseInfoLength != 0) KeepSense(record.sense, sptd.SenseInfoLength);
        return 2;
    }
    if (sptd.ScsiStatus != 0) {
        if (sptd.SenseInfoLength != 0) KeepSense(record.sense, sptd.SenseInfoLength);
        return 2;
    }
    return 0;
}

// The Intel Application Accelerator loses the data of short transfers sent
// direct; they go inside the record instead. The record's data area is
// copied whole both ways: every caller's buffer holds at least that much.
std::int32_t SendBuffered(const ScsiRequest& request) {
    ScsiPassThroughRecord& record = scsiRecords.passThrough;
    record = ScsiPassThroughRecord{};
    SCSI_PASS_THROUGH& spt = record.spt;
    FillPassThrough(spt, request);
    spt.TimeOutValue = static_cast<ULONG>(request.timeoutMs) / 1000;
    spt.DataBufferOffset = offsetof(ScsiPassThroughRecord, data);
    spt.SenseInfoOffset = offsetof(ScsiPassThroughRecord, sense);
    if (request.direction == kDirectionOut && request.data != nullptr) {
        std::memcpy(record.data, request.data, sizeof record.data);
    }

    DWORD returned = 0;
    DWORD withData = static_cast<DWORD>(offsetof(ScsiPassThroughRecord, data)) +
                     static_cast<DWORD>(request.dataLength);
    // The control is buffered: the port sees only as much of the record as
    // the input length covers. A write must carry its data area along, or
    // the drive would be sent whatever the port's buffer held.
    DWORD inSize = request.direction == kDirectionOut ? withData : sizeof(SCSI_PASS_THROUGH);
    scsiRecords.lastPassThroughBuffered = true;
    BOOL sent = Host().DeviceIoControl(driveAccess.driveHandle, IOCTL_SCSI_PASS_THROUGH, &record,
                                       inSize, &record, withData, &returned);
    std::int32_t status = 0;
    if (sent == 0) {
        // As with the direct record, a failed call is a failed request. One
        // that returned no status and no sense is marked CHECK CONDITION in
        // the record, so that nothing reading it later takes it for GOOD.
        if (spt.SenseInfoLength != 0) {
            KeepSense(record.sense, spt.SenseInfoLength);
        } else if (spt.ScsiStatus == 0) {
            spt.ScsiStatus = kStatusCheckCondition;
        }
        status = 2;
    } else if (spt.ScsiStatus != 0) {
        if (spt.SenseInfoLength != 0) KeepSense(record.sense, spt.SenseInfoLength);
        status = 2;
    }
    if (status == 0 && request.direction == kDirectionIn && request.data != nullptr) {
        std::memcpy(request.data, record.data, sizeof record.data);
    }
    return status;
}

std::int32_t ExecutePassThrough(const ScsiRequest& request, const TargetDrive& entry) {
    if (OpenDrive(entry.driveLetter) != 0) return -2;
    bool buffered = transport.IntelIdeDriver == kIntelApplicationAccelerator &&
                    request.dataLength <= kBufferedDataSize;
    std::int32_t status = buffered ? SendBuffered(request) : SendDirect(request);
    CloseDrive();
    return status;
}

SRB_ExecSCSICmd* AspiBlock() {
    if (transport.SrbArea.data == nullptr) return nullptr;
    return reinterpret_cast<SRB_ExecSCSICmd*>(transport.SrbArea.data +
                                              scsiRecords.srbSlot * kSrbStride);
}

// The layer writes the status from its own context while we wait.
BYTE StatusOf(const SRB_ExecSCSICmd* srb) {
    return *static_cast<const volatile BYTE*>(&srb->SRB_Status);
}

// SendASPI32Command answers SS_PENDING for a request it took and will end
// later, SS_COMP for one it already ended. Anything else is a request it
// refused: it never ends, so it is not waited for.
bool Refused(DWORD sent) { return sent != SS_PENDING && sent != SS_COMP; }

// A request left at its time limit is still the layer's: it would go on to
// write its status, sense and data into the block and the buffer that the
// next request reuses. It is aborted, and given a bounded time to end. A
// request that outlives even that keeps its block: the next requests move
// on to a fresh one, since the SrbArea has room for thousands.
void AbandonRequest(SRB_ExecSCSICmd* srb) {
    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_HaId = srb->SRB_HaId;
    abort.SRB_ToAbort = srb;
    Host().SendASPI32Command(&abort);
    for (DWORD waited = 0; StatusOf(srb) == SS_PENDING && waited < kAbortWaitMs;
         waited += kAbortPollMs) {
        Host().Sleep(kAbortPollMs);
    }
    if (StatusOf(srb) == SS_PENDING &&
        (scsiRecords.srbSlot + 2) * kSrbStride <= transport.SrbArea.size) {
        ++scsiRecords.srbSlot;
    }
}

std::int32_t Complete(const ScsiRequest& request, SRB_ExecSCSICmd* srb) {
    if (StatusOf(srb) == SS_COMP) return 0;
    std::memcpy(senseInfo.senseData, srb->SenseArea, kSenseRequestLength);
    CaptureSense();
    // The Intel ATA driver reports NOT READY for commands the drive did
    // carry out; only TEST UNIT READY is taken at its word. The whole byte
    // is compared: a NOT READY with flag bits set is a real one.
    if (transport.IntelIdeDriver == kIntelUltraAta && request.cdb[0] != kOpTestUnitReady &&
        senseInfo.senseData[2] == kSenseKeyNotReady) {
        return 0;
    }
    return -1;
}

// Neither the layer's event nor its time limit can be trusted with a
// microcode save on the IEEE1394 bridge or on the 0x1003 drives: those
// requests are polled.
bool Polled(const ScsiRequest& request, const TargetDrive& entry) {
    if (request.cdb[0] != kOpWriteBuffer) return false;
    if (entry.adapter == transport.Ieee1394Index) return true;
    return currentTarget.typeCode == kPolledSaveTypeCode && request.cdb[1] == kModeDownloadAndSave;
}

std::int32_t SendPolled(const ScsiRequest& request, SRB_ExecSCSICmd* srb) {
    srb->SRB_Flags = AspiDirection(request.direction);
    srb->SRB_PostProc = nullptr;
    if (Refused(Host().SendASPI32Command(srb))) return -1;
    std::int64_t elapsed = 0;
    for (;;) {
        Host().Sleep(kPollIntervalMs);
        if (request.timeoutMs != 0) {
            elapsed += kPollIntervalMs;
            if (elapsed > request.timeoutMs) {
                AbandonRequest(srb);
                return -1;
            }
        }
        if (StatusOf(srb) != SS_PENDING) break;
    }
    return Complete(request, srb);
}

std::int32_t SendWithEvent(const ScsiRequest& request, SRB_ExecSCSICmd* srb) {
    HANDLE event = Host().CreateEventA(nullptr, 0, 0, nullptr);
    if (event == nullptr) return -1;  // nothing could tell us it ended; not sent
    srb->SRB_Flags = SRB_EVENT_NOTIFY | AspiDirection(request.direction);
    srb->SRB_PostProc = event;
    DWORD sent = Host().SendASPI32Command(srb);
    if (Refused(sent)) {
        Host().CloseHandle(event);
        return -1;
    }
    if (run.deferredCompletion == 1) {
        if (sent == SS_PENDING) {
            scsiRecords.deferredEvent = event;
        } else {
            // Ended before the call returned: no signal may ever come, and
            // PollDeferredCompletion reads the outcome from the block.
            Host().CloseHandle(event);
            scsiRecords.deferredEvent = nullptr;
        }
        return 0;
    }
    if (sent == SS_PENDING) {
        DWORD limit = request.timeoutMs == 0 || image.DriveClassCode == kUnboundedWaitClass
                          ? INFINITE
                          : static_cast<DWORD>(request.timeoutMs);
        DWORD waited = Host().WaitForSingleObject(event, limit);
        if (waited != WAIT_OBJECT_0) {
            AbandonRequest(srb);
            Host().CloseHandle(event);
            return waited == WAIT_TIMEOUT ? -2 : -1;
        }
    }
    std::int32_t status = Complete(request, srb);
    Host().CloseHandle(event);
    return status;
}

std::int32_t ExecuteAspi(const ScsiRequest& request, const TargetDrive& entry) {
    SRB_ExecSCSICmd* srb = AspiBlock();
    if (srb == nullptr) return -1;
    std::memset(srb, 0, sizeof *srb);
    srb->SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb->SRB_HaId = static_cast<BYTE>(entry.adapter);
    srb->SRB_Target = static_cast<BYTE>(entry.target);
    srb->SRB_Lun = 0;
    srb->SRB_BufLen = static_cast<DWORD>(request.dataLength);
    srb->SRB_BufPointer = request.data;
    srb->SRB_SenseLen = kSenseRequestLength;
    srb->SRB_CDBLen = static_cast<BYTE>(request.cdbLength);
    std::memcpy(srb->CDBByte, request.cdb, CdbBytes(request));
    return Polled(request, entry) ? SendPolled(request, srb) : SendWithEvent(request, srb);
}

}  // namespace

std::int32_t ExecuteScsi(ScsiRequest* request) {
    if (request == nullptr) return -1;
    if (request->targetIndex < 0 || request->targetIndex >= run.targetCount ||
        request->targetIndex >= kTargetTableSize) {
        return -1;
    }
    const TargetDrive& entry = targetTable.entries[request->targetIndex];
    if (transport.TransportKind == kAspi) return ExecuteAspi(*request, entry);
    return ExecutePassThrough(*request, entry);
}

SRB_ExecSCSICmd* AspiRequestBlock() { return AspiBlock(); }

void AbandonAspiRequest(SRB_ExecSCSICmd* srb) { AbandonRequest(srb); }

std::int32_t SendDirectToOpenDrive(const ScsiRequest& request) { return SendDirect(request); }

std::int32_t CaptureSense() {
    // The sense comes from the record the last request was sent in: after a
    // buffered request the direct record holds an older request's sense.
    if (transport.TransportKind == kPassThrough) {
        if (scsiRecords.lastPassThroughBuffered) {
            const ScsiPassThroughRecord& record = scsiRecords.passThrough;
            KeepSense(record.sense, record.spt.SenseInfoLength);
        } else {
            const ScsiPassThroughDirectRecord& record = scsiRecords.passThroughDirect;
            KeepSense(record.sense, record.sptd.SenseInfoLength);
        }
    }
    senseInfo.senseSummary = std::uint32_t{senseInfo.senseData[2]} << 16 |
                             std::uint32_t{senseInfo.senseData[12]} << 8 | senseInfo.senseData[13];
    return 0;
}

std::int32_t PollDeferredCompletion() {
    run.deferredCompletion = 0;
    HANDLE event = scsiRecords.deferredEvent;
    if (event != nullptr) {
        if (Host().WaitForSingleObject(event, 0) != WAIT_OBJECT_0) return 1;
        Host().CloseHandle(event);
        scsiRecords.deferredEvent = nullptr;
    }
    const SRB_ExecSCSICmd* srb = AspiBlock();
    if (srb == nullptr) return -1;
    return StatusOf(srb) == SS_COMP ? 0 : -1;
}

}  // namespace kambio
