// Platform detection and transport set-up: how this run reaches its drives,
// the buffers the commands share, and the host features that change how
// commands are sent.
#pragma once

#include <cstdint>

#include "transport/platform/win_types.h"

namespace kambio {

inline constexpr std::int32_t kPassThrough = 0;
inline constexpr std::int32_t kAspi = 1;

inline constexpr int kAdapterNameSlots = 16;
inline constexpr int kAdapterNameSlotSize = 32;

inline constexpr std::uint32_t kTransferBufferSize = 0x100000;
inline constexpr std::uint32_t kSrbAreaSize = 0x100000;
inline constexpr std::uint32_t kAspiFirmwareImageSize = 0x100000;
inline constexpr std::uint32_t kPassThroughFirmwareImageSize = 0x400000;
inline constexpr std::uint32_t kAspiModelIdBlockSize = 0x100000;
inline constexpr std::uint32_t kPassThroughModelIdBlockSize = 512;

// Values of IntelIdeDriver.
inline constexpr std::int32_t kIntelUltraAta = 1;
inline constexpr std::int32_t kIntelApplicationAccelerator = 2;

// One process-wide buffer: the pointer used by the run and the allocation
// handle kept for the tear-down.
struct GlobalBuffer {
    HGLOBAL handle = nullptr;
    std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
};

struct TransportState {
    std::int32_t TransportKind = kPassThrough;
    std::int32_t IntelIdeDriver = 0;   // 1 Intel ATA driver, 2 Intel Application Accelerator
    std::int32_t Ieee1394Index = -1;   // the IEEE1394 adapter (ASPI) or target (pass-through)

    GlobalBuffer TransferBuffer;
    GlobalBuffer SrbArea;              // ASPI only
    GlobalBuffer FirmwareImage;
    GlobalBuffer ModelIdBlock;

    // Host adapters the run uses: what the ASPI layer reports, never more
    // than there are AdapterNames slots.
    std::uint8_t HostAdapterCount = 0;
    GlobalBuffer HostAdapterInquiries;  // HostAdapterCount blocks of SRB_HAInquiry
    std::uint8_t AdapterNames[kAdapterNameSlots][kAdapterNameSlotSize] = {};
    HMODULE AspiModule = nullptr;       // kept loaded until the process ends
};

extern TransportState transport;

// Chooses the transport from the Windows version and sets it up.
void DetectPlatform();
// 0 ready; -1 a buffer could not be had; 1 no ASPI layer; 2 the layer failed
// to start; 3 no host adapter.
std::int32_t SetUpAspi();
// 0 ready; -1 a buffer could not be had.
std::int32_t SetUpPassThrough();
// Hands back what the set-up took; safe after a set-up that stopped half-way
// and when called twice.
void TearDownTransport();

void ResetTransportState();

}  // namespace kambio
