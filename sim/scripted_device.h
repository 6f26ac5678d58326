// A SCSI device that answers from a script: for each command the first
// response whose CDB bytes match (and that is not used up) says the status,
// sense, data and duration. It stands in for a drive in tests and scenarios
// until a drive model answers, and records every command it was given.
#pragma once

#include <cstdint>
#include <vector>

#include "device.h"

namespace kambio::sim {

struct ScriptedResponse {
    std::vector<std::uint8_t> match = {};   // leading CDB bytes to be equal; empty matches any command
    std::uint8_t status = kStatusGood;
    std::vector<std::uint8_t> sense = {};   // returned with CHECK CONDITION
    std::vector<std::uint8_t> data = {};    // data in: copied to the start of the buffer, at most its length
    std::uint32_t durationMs = 1;
    bool neverCompletes = false;
    int times = -1;                    // commands it answers before it is used up; -1 without end
};

struct ReceivedCommand {
    std::vector<std::uint8_t> cdb;
    DataDirection direction = DataDirection::None;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> dataOut;  // the bytes sent with a data-out command
    std::uint64_t atMs = 0;
};

class ScriptedDevice : public Device {
public:
    ScriptedDevice();

    // Adds a response after the ones given so far.
    ScriptedDevice& respond(ScriptedResponse response);
    // Answers every command no response matches; by default CHECK
    // CONDITION, ILLEGAL REQUEST / INVALID COMMAND OPERATION CODE.
    ScriptedResponse otherwise;

    const std::vector<ReceivedCommand>& received() const { return received_; }

    ScsiOutcome execute(const ScsiCommand& command, std::uint64_t nowMs) override;

private:
    std::vector<ScriptedResponse> responses_;
    std::vector<ReceivedCommand> received_;
};

}  // namespace kambio::sim
