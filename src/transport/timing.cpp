#include "transport/timing.h"

#include "transport/platform/platform.h"

namespace kambio {

TimingState timing;

void ResetTimingState() { timing = TimingState{}; }

namespace {
// A host that grants no period up to this one grants none at all; the wait
// then runs at the default resolution rather than searching forever.
constexpr UINT kCoarsestPeriodTried = 1000;
}  // namespace

void BeginTiming() {
    // The finest resolution the system grants; it refuses the ones it cannot give.
    timing.TimerPeriod = 0;
    for (UINT period = 1; period <= kCoarsestPeriodTried; ++period) {
        if (Host().timeBeginPeriod(period) == TIMERR_NOERROR) {
            timing.TimerPeriod = period;
            break;
        }
    }
    timing.TimingStart = Host().timeGetTime();
}

void SampleTick() { timing.TimingNow = Host().timeGetTime(); }

void EndTiming() {
    if (timing.TimerPeriod != 0) Host().timeEndPeriod(timing.TimerPeriod);
}

void Delay(std::uint32_t ms) {
    BeginTiming();
    // Elapsed time taken modulo 2^32, so that a wait across the wrap of the
    // tick (every 49.7 days of up-time) lasts as long as any other.
    do {
        SampleTick();
    } while (timing.TimingNow - timing.TimingStart < ms);
    EndTiming();
}

}  // namespace kambio
