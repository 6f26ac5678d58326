// One SCSI request and the one way to send it to a target.
#pragma once

#include <cstdint>

#include "transport/platform/win_types.h"

namespace kambio {

inline constexpr std::int32_t kDirectionNone = 0;
inline constexpr std::int32_t kDirectionIn = 1;
inline constexpr std::int32_t kDirectionOut = 2;

struct ScsiRequest {
    std::int32_t targetIndex = 0;
    std::int32_t direction = kDirectionNone;
    std::int32_t cdbLength = 0;
    std::int32_t timeoutMs = 0;    // 0: the transport's own default
    std::int32_t dataLength = 0;
    std::uint8_t* data = nullptr;
    std::uint8_t cdb[16] = {};
};

// The sense data of the last failed request.
struct SenseInfo {
    std::uint8_t senseData[64] = {};
    std::uint32_t senseSummary = 0;  // byte 2 << 16 | ASC << 8 | ASCQ
};

extern SenseInfo senseInfo;

// The records requests are sent in, kept for the whole run: the platform
// writes status and sense into them, and CaptureSense reads them afterwards.
struct ScsiRecords {
    ScsiPassThroughDirectRecord passThroughDirect = {};
    ScsiPassThroughRecord passThrough = {};
    HANDLE deferredEvent = nullptr;   // of the ASPI request posted without waiting
    std::uint32_t srbSlot = 0;        // the block of the SrbArea the next ASPI request uses
    bool lastPassThroughBuffered = false;  // which record holds the last request's sense
};

extern ScsiRecords scsiRecords;

// Sends the request on the transport in use and waits for it as the request
// and the drive call for. 0 is success; -1, -2 and 2 are failures that no
// caller tells apart. An ASPI request the layer refuses when it is sent is
// not waited for (-1); one left at its time limit is aborted before the
// request block is used again.
std::int32_t ExecuteScsi(ScsiRequest* request);

// Brings SenseInfo up to date after a failure; always 0.
std::int32_t CaptureSense();

// Finishes an ASPI request posted without waiting: 1 still running, 0
// completed well, -1 completed with an error (no sense is captured).
std::int32_t PollDeferredCompletion();

// Sends the request in the direct pass-through record on the drive that
// OpenDrive has open, whatever the target table says: discovery probes
// drives before they have an entry. Same statuses as ExecuteScsi.
std::int32_t SendDirectToOpenDrive(const ScsiRequest& request);

// The ASPI request block the next request is built in (null without an
// SrbArea), and the abort of a request left at its time limit: the layer is
// asked to drop it and given a bounded time to let go of the block, so that
// it cannot write into the block or buffer of a later request.
SRB_ExecSCSICmd* AspiRequestBlock();
void AbandonAspiRequest(SRB_ExecSCSICmd* srb);

void ResetScsiState();

}  // namespace kambio
