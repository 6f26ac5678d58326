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

    std::uint8_t HostAdapterCount = 0;
    GlobalBuffer HostAdapterInquiries;  // HostAdapterCount blocks of SRB_HAInquiry
    std::uint8_t AdapterNames[kAdapterNameSlots][kAdapterNameSlotSize] = {};
    HMODULE AspiModule = nullptr;       // kept loaded until the process ends
};

extern TransportState transport;

void DetectPlatform();
std::int32_t SetUpAspi();
std::int32_t SetUpPassThrough();
void TearDownTransport();

void ResetTransportState();

}  // namespace kambio
