#include "clock.h"

#include <algorithm>

namespace kambio::sim {

void Clock::runDue() {
    while (!actions_.empty() && actions_.begin()->first <= now_) {
        auto action = std::move(actions_.begin()->second.second);
        actions_.erase(actions_.begin());
        action();
    }
}

void Clock::advance(std::uint64_t ms) {
    std::uint64_t target = now_ + ms;
    while (!actions_.empty() && actions_.begin()->first <= target) {
        if (actions_.begin()->first > now_) now_ = actions_.begin()->first;
        runDue();
    }
    now_ = target;
    runDue();
}

bool Clock::advanceUntil(const std::function<bool()>& until, std::uint64_t limitMs) {
    bool unlimited = limitMs == kNoLimit;
    std::uint64_t deadline = unlimited ? kNoLimit : now_ + limitMs;
    runDue();
    while (!until()) {
        if (actions_.empty() && unlimited) return false;  // nothing could ever end the wait
        if (actions_.empty() || actions_.begin()->first > deadline) {
            now_ = deadline;
            return until();
        }
        now_ = std::max(now_, actions_.begin()->first);
        runDue();
    }
    return true;
}

Clock::ActionId Clock::schedule(std::uint64_t delayMs, std::function<void()> action) {
    ActionId id = nextId_++;
    actions_.emplace(now_ + delayMs, std::make_pair(id, std::move(action)));
    return id;
}

void Clock::cancel(ActionId id) {
    for (auto it = actions_.begin(); it != actions_.end(); ++it) {
        if (it->second.first == id) {
            actions_.erase(it);
            return;
        }
    }
}

}  // namespace kambio::sim
