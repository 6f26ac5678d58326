// Timing on the multimedia timer tick: the busy wait between update steps
// and the elapsed-time measurement of the legacy flash write.
#pragma once

#include <cstdint>

namespace kambio {

struct TimingState {
    std::uint32_t TimerPeriod = 0;  // resolution granted last, handed back at the end
    std::uint32_t TimingStart = 0;
    std::uint32_t TimingNow = 0;
};

extern TimingState timing;

void BeginTiming();
void SampleTick();
void EndTiming();
// Busy-waits `ms` milliseconds on the tick; no sleep, no yield.
void Delay(std::uint32_t ms);

void ResetTimingState();

}  // namespace kambio
