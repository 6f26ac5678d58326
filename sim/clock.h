// The simulated PC's clock: virtual milliseconds, so that the program's waits,
// busy ones included, cost no real time. Work that the host does on its own
// (an ASPI request completing, a drive becoming ready) is scheduled on the
// clock and happens when the program lets time pass.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

namespace kambio::sim {

class Clock {
public:
    static constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};

    // Milliseconds since the PC started, never wrapping.
    std::uint64_t now() const { return now_; }
    // The multimedia tick: milliseconds since start plus the configured
    // offset, wrapping at 2^32 like the real one.
    std::uint32_t tick() const { return static_cast<std::uint32_t>(tickOffset_ + now_); }
    void setTickAtStart(std::uint32_t tick) { tickOffset_ = tick; }

    // Lets `ms` pass, running every scheduled action that falls due, in order.
    void advance(std::uint64_t ms);
    // Lets time pass until `until()` holds or `limitMs` have gone; returns
    // whether the condition held. Jumps from one scheduled action to the next.
    // With kNoLimit it returns false, without moving time, once nothing is
    // left that could make the condition true.
    bool advanceUntil(const std::function<bool()>& until, std::uint64_t limitMs);
    // True when nothing is scheduled any more.
    bool idle() const { return actions_.empty(); }

    using ActionId = std::uint64_t;
    ActionId schedule(std::uint64_t delayMs, std::function<void()> action);
    void cancel(ActionId id);

private:
    void runDue();

    std::uint64_t now_ = 0;
    std::uint64_t tickOffset_ = 0;
    ActionId nextId_ = 1;
    // Ordered by due time, then by scheduling order.
    std::multimap<std::uint64_t, std::pair<ActionId, std::function<void()>>> actions_;
};

}  // namespace kambio::sim
