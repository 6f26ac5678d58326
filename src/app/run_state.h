// The run's process-wide state, read and written across the whole program.
#pragma once

#include <cstdint>

namespace kambio {

struct RunState {
    std::int32_t oemCodePage = 0;      // 932 selects the Japanese texts
    std::int32_t autoUpdateAll = 1;    // 0 once the user wants to confirm each drive
    std::int32_t targetCount = 0;      // entries of the TargetTable
    std::int32_t currentIndex = 0;     // the target every command addresses
    std::int32_t successCount = 0;
    std::int32_t deferredCompletion = 0;  // an ASPI request is posted without waiting
    std::int32_t ideAdapterCount = 0;     // IDE host adapters recorded by discovery
    std::uint8_t autoInsertCount = 0;     // sum of the auto insert notification settings
};

extern RunState run;

inline constexpr std::int32_t kJapaneseCodePage = 932;

inline bool UseJapanese() { return run.oemCodePage == kJapaneseCodePage; }

// Exit codes of the program.
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitAbandoned = 1;

}  // namespace kambio
