#include "transport/discovery.h"

#include <cstring>
#include <string>

#include "app/catalogue.h"
#include "app/run_state.h"
#include "transport/platform/platform.h"
#include "transport/platform_setup.h"
#include "transport/scsi_request.h"
#include "transport/target_table.h"

namespace kambio {

DiscoveryState discovery;

void ResetDiscoveryState() { discovery = DiscoveryState{}; }

namespace {

constexpr std::uint8_t kInquiryCdb[6] = {0x12, 0x00, 0x00, 0x00, 0x60, 0x00};
// READ BUFFER, mode 2 (data), buffer F1h, offset 0, length 48.
constexpr std::uint8_t kDriveInfoCdb[10] = {0x3C, 0x02, 0xF1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x30, 0x00};
constexpr std::uint32_t kInquiryLength = 96;
constexpr std::uint32_t kDriveInfoProbeLength = 48;
constexpr std::int32_t kProbeTimeoutMs = 2000;
constexpr DWORD kAspiProbeLimitMs = 10000;
constexpr std::uint8_t kWriteOnceDevice = 0x04;
constexpr std::uint8_t kCdDvdDevice = 0x05;
constexpr int kFirstIdeTarget = 0;
constexpr int kLastIdeTarget = 1;
constexpr int kLastScsiTarget = 6;

// The control counts requests to disable media change detection: TRUE adds
// one, FALSE takes it back. Detection stays off while the drives are updated
// (the system must not poll a drive in the middle of a flash) and is
// restored at the end of the run on the same handle.
constexpr BYTE kHoldNotification = 1;
constexpr BYTE kReleaseNotification = 0;

std::uint8_t* ProbeInquiryData() { return transport.TransferBuffer.data; }

const InquiryData& ProbedInquiry() {
    return *reinterpret_cast<const InquiryData*>(transport.TransferBuffer.data);
}

std::string DevicePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

// --- Probes --------------------------------------------------------------------
// Discovery asks before any TargetTable entry exists, so its two probes go
// straight to the transport instead of through ExecuteScsi.

// INQUIRY or the information block, on the drive OpenDrive has just opened.
std::int32_t ProbeOpenDrive(const std::uint8_t* cdb, std::uint8_t cdbLength, std::uint8_t* data,
                            std::uint32_t length) {
    ScsiRequest request;
    request.direction = kDirectionIn;
    request.cdbLength = cdbLength;
    request.timeoutMs = kProbeTimeoutMs;
    request.dataLength = static_cast<std::int32_t>(length);
    request.data = data;
    std::memcpy(request.cdb, cdb, cdbLength);
    return SendDirectToOpenDrive(request);
}

// INQUIRY or the information block, to one target id of one host adapter.
// A target that answers does so in milliseconds and an empty one is timed
// out by the adapter; a request still running after the limit is a device
// hung on the bus, and is aborted rather than waited for without end.
std::int32_t ProbeAspi(std::uint8_t adapter, std::uint8_t target, const std::uint8_t* cdb,
                       std::uint8_t cdbLength, std::uint8_t* data, std::uint32_t length) {
    SRB_ExecSCSICmd* srb = AspiRequestBlock();
    if (srb == nullptr) return -1;
    std::memset(srb, 0, sizeof *srb);
    srb->SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb->SRB_HaId = adapter;
    srb->SRB_Flags = SRB_EVENT_NOTIFY | SRB_DIR_IN;
    srb->SRB_Target = target;
    srb->SRB_BufLen = length;
    srb->SRB_BufPointer = data;
    srb->SRB_SenseLen = 0;
    srb->SRB_CDBLen = cdbLength;
    std::memcpy(srb->CDBByte, cdb, cdbLength);
    HANDLE event = Host().CreateEventA(nullptr, 0, 0, nullptr);
    if (event == nullptr) return -1;
    srb->SRB_PostProc = event;
    DWORD sent = Host().SendASPI32Command(srb);
    // A request the layer refuses at once is never signalled.
    if (sent == SS_PENDING && Host().WaitForSingleObject(event, kAspiProbeLimitMs) != WAIT_OBJECT_0) {
        AbandonAspiRequest(srb);
        Host().CloseHandle(event);
        return -1;
    }
    Host().CloseHandle(event);
    return srb->SRB_Status == SS_COMP ? 0 : -1;
}

bool HaveProbeBuffers() { return transport.TransferBuffer.data != nullptr; }

// The catalogue match reads the information block from CurrentTarget; a
// drive that cannot give it is matched with a zeroed block.
void ReadOrClearDriveInfo(std::int32_t status) {
    if (status != 0) std::memset(currentTarget.driveInfo.bytes, 0, kDriveInfoStorage);
}

bool IsCdOrDvd(std::uint8_t deviceTypeByte) {
    return deviceTypeByte == kWriteOnceDevice || deviceTypeByte == kCdDvdDevice;
}

void RememberCdDrive(char letter) {
    std::int32_t index = discovery.CdDriveCount;
    if (index < 0 || index >= kCdDriveSlots) return;
    discovery.CdDriveLetters[index] = letter;
    HoldMediaNotification(index);
    ++discovery.CdDriveCount;
}

std::int32_t DiscoverOnPassThrough() {
    std::int32_t found = 0;
    discovery.CdDriveCount = 0;
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        if (OpenDrive(letter) == -1) continue;
        if (!HaveProbeBuffers() ||
            ProbeOpenDrive(kInquiryCdb, 6, ProbeInquiryData(), kInquiryLength) != 0) {
            CloseDrive();
            continue;
        }
        if (IsCdOrDvd(ProbedInquiry().deviceType())) RememberCdDrive(letter);
        ReadOrClearDriveInfo(
            ProbeOpenDrive(kDriveInfoCdb, 10, currentTarget.driveInfo.bytes, kDriveInfoProbeLength));
        if (MatchCatalogue(ProbedInquiry()) != -1) {
            targetTable.entries[found].driveLetter = letter;
            run.currentIndex = found;
            ++found;
        }
        CloseDrive();
    }
    run.targetCount = found;
    return found;
}

enum class AdapterKind { Ide, IntelIde, Other };

AdapterKind KindOf(int adapter) {
    const char* name = reinterpret_cast<const char*>(transport.AdapterNames[adapter]);
    if (std::memcmp(name, "ESDI_506", 8) == 0) return AdapterKind::Ide;
    if (std::memcmp(name, "intelata", 8) == 0) return AdapterKind::IntelIde;
    return AdapterKind::Other;
}

void ProbeAspiTarget(int adapter, int target, std::int32_t& found) {
    auto ha = static_cast<std::uint8_t>(adapter);
    auto id = static_cast<std::uint8_t>(target);
    if (ProbeAspi(ha, id, kInquiryCdb, 6, ProbeInquiryData(), kInquiryLength) != 0) return;
    ReadOrClearDriveInfo(
        ProbeAspi(ha, id, kDriveInfoCdb, 10, currentTarget.driveInfo.bytes, kDriveInfoProbeLength));
    if (MatchCatalogue(ProbedInquiry()) == -1 || found >= kTargetTableSize) return;
    targetTable.entries[found].adapter = adapter;
    targetTable.entries[found].target = target;
    ++found;
}

void RecordIdeAdapter(int adapter, int& ideCount) {
    // Two channels are all the confirmation can name; a third IDE adapter is
    // still scanned, it just has no slot.
    if (ideCount < 2) discovery.IdeAdapters[ideCount++] = adapter;
}

std::int32_t DiscoverOnAspi() {
    std::int32_t found = 0;
    int ideCount = 0;
    discovery.IdeAdapters[0] = -1;
    discovery.IdeAdapters[1] = -1;
    if (transport.HostAdapterCount == 0 || !HaveProbeBuffers() || transport.SrbArea.data == nullptr) {
        return 0;
    }
    for (int adapter = 0; adapter < transport.HostAdapterCount; ++adapter) {
        int lastTarget = kLastScsiTarget;
        switch (KindOf(adapter)) {
            case AdapterKind::Ide:
                RecordIdeAdapter(adapter, ideCount);
                lastTarget = kLastIdeTarget;
                break;
            case AdapterKind::IntelIde:
                RecordIdeAdapter(adapter, ideCount);
                transport.IntelIdeDriver = 1;
                lastTarget = kLastIdeTarget;
                break;
            case AdapterKind::Other:
                // Under the Intel ATA driver only its IDE adapters are scanned.
                if (transport.IntelIdeDriver != 0) continue;
                break;
        }
        for (int target = kFirstIdeTarget; target <= lastTarget; ++target) ProbeAspiTarget(adapter, target, found);
    }
    run.ideAdapterCount = ideCount;
    run.targetCount = found;
    return found;
}

}  // namespace

std::int32_t DiscoverTargets() {
    if (transport.TransportKind == kAspi) return DiscoverOnAspi();
    return DiscoverOnPassThrough();
}

void HoldMediaNotification(std::int32_t cdIndex) {
    std::string path = DevicePath(discovery.CdDriveLetters[cdIndex]);
    HANDLE handle = Host().CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    discovery.McnHandles[cdIndex] = handle;
    if (handle == INVALID_HANDLE_VALUE) return;
    PREVENT_MEDIA_REMOVAL hold{kHoldNotification};
    DWORD returned = 0;
    Host().DeviceIoControl(handle, IOCTL_STORAGE_MCN_CONTROL, &hold, sizeof hold, nullptr, 0, &returned);
}

void ReleaseMediaNotification(std::int32_t cdIndex) {
    HANDLE handle = discovery.McnHandles[cdIndex];
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return;
    PREVENT_MEDIA_REMOVAL release{kReleaseNotification};
    DWORD returned = 0;
    Host().DeviceIoControl(handle, IOCTL_STORAGE_MCN_CONTROL, &release, sizeof release, nullptr, 0, &returned);
}

}  // namespace kambio
