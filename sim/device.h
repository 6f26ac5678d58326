// A SCSI device on the simulated PC, as the host's SCSI layer sees it: it
// takes one command at a time and answers with a status, sense data and the
// time it took. Virtual drives and scripted responders implement it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kambio::sim {

enum class DataDirection { None, In, Out };

struct ScsiCommand {
    std::vector<std::uint8_t> cdb;
    DataDirection direction = DataDirection::None;
    std::uint8_t* data = nullptr;  // `length` bytes to send, or room to receive
    std::uint32_t length = 0;
};

inline constexpr std::uint8_t kStatusGood = 0x00;
inline constexpr std::uint8_t kStatusCheckCondition = 0x02;

struct ScsiOutcome {
    std::uint8_t status = kStatusGood;
    std::vector<std::uint8_t> sense;      // fixed-format sense data, when status is 2
    std::uint32_t transferred = 0;        // data bytes moved
    std::uint32_t durationMs = 1;         // virtual time the command takes
    bool neverCompletes = false;          // the device hangs on this command
};

class Device {
public:
    virtual ~Device() = default;
    // Runs a command at virtual time `nowMs`. Data in is written into
    // command.data before the outcome is returned; the transport decides when
    // the host sees it.
    virtual ScsiOutcome execute(const ScsiCommand& command, std::uint64_t nowMs) = 0;
};

// Fixed-format sense data with the given key, additional sense code and
// qualifier (18 bytes).
std::vector<std::uint8_t> MakeSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

}  // namespace kambio::sim
