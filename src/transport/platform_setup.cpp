#include "transport/platform_setup.h"

#include <algorithm>
#include <cstring>

#include "commands/standard_commands.h"
#include "transport/auto_insert.h"
#include "transport/discovery.h"
#include "transport/platform/platform.h"
#include "transport/target_table.h"
#include "ui/messages.h"

namespace kambio {

TransportState transport;

void ResetTransportState() { transport = TransportState{}; }

namespace {

constexpr std::int32_t kDefaultCommandTimeoutMs = 1000;

constexpr MessageId kMessageIntelIdeDriver = 48;
constexpr MessageId kMessageIeee1394 = 52;

constexpr const char* kIntelAcceleratorKey = "SOFTWARE\\INTEL\\Intel Application Accelerator";
constexpr const char* kIntelUltraAtaKey = "SOFTWARE\\INTEL\\Intel Ultra ATA Storage Driver";

// GetASPI32SupportInfo: the status in bits 8 to 15, the adapter count below.
constexpr DWORD SupportStatus(DWORD info) { return (info >> 8) & 0xFF; }
constexpr std::uint8_t SupportAdapterCount(DWORD info) { return static_cast<std::uint8_t>(info); }

// Allocates and locks one process-wide buffer. A block that cannot be had
// leaves the buffer empty; a block that cannot be locked keeps its handle so
// that the tear-down frees it.
bool Allocate(GlobalBuffer& buffer, std::uint32_t size) {
    buffer.handle = Host().GlobalAlloc(GMEM_ZEROINIT, size);
    if (buffer.handle == nullptr) return false;
    buffer.data = static_cast<std::uint8_t*>(Host().GlobalLock(buffer.handle));
    if (buffer.data == nullptr) return false;
    buffer.size = size;
    return true;
}

void Release(GlobalBuffer& buffer) {
    if (buffer.handle != nullptr) {
        Host().GlobalUnlock(buffer.handle);
        Host().GlobalFree(buffer.handle);
    }
    buffer = GlobalBuffer{};
}

bool UsesAspi(const OSVERSIONINFOA& version) {
    // Windows 95, 98 and Me. Any other minor of the 9x family is a build we
    // do not know, and the NT family has the pass-through.
    if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) return false;
    return version.dwMinorVersion == 0 || version.dwMinorVersion == 10 ||
           version.dwMinorVersion == 90;
}

// The Intel IDE drivers take requests through the pass-through their own
// way; each one leaves its key behind when installed.
void LookForIntelDriver(const char* key, std::int32_t kind) {
    HKEY opened = nullptr;
    if (Host().RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
    transport.IntelIdeDriver = kind;
    Host().RegCloseKey(opened);
    ShowMessage(kMessageIntelIdeDriver, kStyleConsole);
}

bool NameIs(const std::uint8_t* name, const char (&expected)[9]) {
    return std::memcmp(name, expected, 8) == 0;
}

// The names under which the layers we know present an IEEE1394 bridge, and
// the blank or empty name of an adapter that did not say what it is.
bool LooksLikeIeee1394(const std::uint8_t* name) {
    static constexpr std::uint8_t kNoName[8] = {};
    return NameIs(name, "NTMAPHLP") || NameIs(name, "ntmaphlp") || NameIs(name, "        ") ||
           std::memcmp(name, kNoName, 8) == 0;
}

void ScanAdapter(std::uint8_t index) {
    auto* inquiries = reinterpret_cast<SRB_HAInquiry*>(transport.HostAdapterInquiries.data);
    SRB_HAInquiry& inquiry = inquiries[index];
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = index;
    // An inquiry completes before the call returns. One that fails leaves
    // the block as it was, zero, and the adapter is then taken for the
    // IEEE1394 bridge; that is wanted.
    Host().SendASPI32Command(&inquiry);

    std::uint8_t* name = transport.AdapterNames[index];
    std::memcpy(name, inquiry.HA_Identifier, sizeof inquiry.HA_Identifier);
    if (NameIs(name, "intelata")) {
        if (transport.IntelIdeDriver == 0) ShowMessage(kMessageIntelIdeDriver, kStyleConsole);
        transport.IntelIdeDriver = kIntelUltraAta;
    } else if (LooksLikeIeee1394(name)) {
        transport.Ieee1394Index = index;
        ShowMessage(kMessageIeee1394, kStyleConsole);
    }
}

}  // namespace

void DetectPlatform() {
    CommandTimeout = kDefaultCommandTimeoutMs;
    // A call that fails leaves the record zero, which reads as the NT family.
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    Host().GetVersionExA(&version);
    if (UsesAspi(version)) {
        transport.TransportKind = kAspi;
        SetUpAspi();
    } else {
        transport.TransportKind = kPassThrough;
        SetUpPassThrough();
    }
}

std::int32_t SetUpPassThrough() {
    CommandTimeout = kDefaultCommandTimeoutMs;
    transport.IntelIdeDriver = 0;
    driveAccess.ScsiAddressCache.PathId = 0;
    driveAccess.ScsiAddressCache.TargetId = 0;
    driveAccess.ScsiAddressCache.Lun = 0;

    // Both are looked for: with both installed the Ultra ATA driver, found
    // last, decides.
    LookForIntelDriver(kIntelAcceleratorKey, kIntelApplicationAccelerator);
    LookForIntelDriver(kIntelUltraAtaKey, kIntelUltraAta);

    if (!Allocate(transport.TransferBuffer, kTransferBufferSize)) return -1;
    if (!Allocate(transport.FirmwareImage, kPassThroughFirmwareImageSize)) return -1;
    if (!Allocate(transport.ModelIdBlock, kPassThroughModelIdBlockSize)) return -1;
    return 0;
}

std::int32_t SetUpAspi() {
    CommandTimeout = kDefaultCommandTimeoutMs;
    transport.IntelIdeDriver = 0;
    transport.Ieee1394Index = -1;

    if (!Allocate(transport.TransferBuffer, kTransferBufferSize)) return -1;
    if (!Allocate(transport.SrbArea, kSrbAreaSize)) return -1;
    if (!Allocate(transport.FirmwareImage, kAspiFirmwareImageSize)) return -1;
    if (!Allocate(transport.ModelIdBlock, kAspiModelIdBlockSize)) return -1;

    transport.AspiModule = Host().LoadLibraryA("WNASPI32.DLL");
    if (transport.AspiModule == nullptr) return 1;

    DWORD support = Host().GetASPI32SupportInfo();
    if (SupportStatus(support) == SS_FAILED_INIT) return 2;
    // A layer may know more adapters than there are name slots; the run uses
    // the first sixteen only, and the count says so, so that no later step
    // (discovery walks HostAdapterCount adapters by name) reads past the
    // names or the inquiry blocks.
    transport.HostAdapterCount = std::min<std::uint8_t>(SupportAdapterCount(support),
                                                        kAdapterNameSlots);
    if (transport.HostAdapterCount == 0) return 3;

    if (!Allocate(transport.HostAdapterInquiries,
                  transport.HostAdapterCount * static_cast<std::uint32_t>(sizeof(SRB_HAInquiry)))) {
        // Without the inquiries no adapter can be told apart; none is used.
        transport.HostAdapterCount = 0;
        return -1;
    }
    for (std::uint8_t i = 0; i < transport.HostAdapterCount; ++i) ScanAdapter(i);

    if (transport.Ieee1394Index != -1) CheckAutoInsert();
    return 0;
}

void TearDownTransport() {
    if (transport.TransportKind == kPassThrough) {
        for (std::int32_t i = 0; i < discovery.CdDriveCount; ++i) ReleaseMediaNotification(i);
    }
    // The SRB area only exists on ASPI; the library stays loaded until the
    // process ends, since a layer may still hold requests of ours.
    Release(transport.ModelIdBlock);
    Release(transport.FirmwareImage);
    Release(transport.SrbArea);
    Release(transport.TransferBuffer);
    Release(transport.HostAdapterInquiries);
}

}  // namespace kambio
