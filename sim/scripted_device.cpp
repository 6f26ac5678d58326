#include "scripted_device.h"

#include <algorithm>
#include <cstring>

namespace kambio::sim {

namespace {

bool Matches(const ScriptedResponse& response, const std::vector<std::uint8_t>& cdb) {
    if (response.times == 0) return false;
    if (response.match.size() > cdb.size()) return false;
    return std::equal(response.match.begin(), response.match.end(), cdb.begin());
}

}  // namespace

ScriptedDevice::ScriptedDevice() {
    otherwise.status = kStatusCheckCondition;
    otherwise.sense = MakeSense(0x05, 0x20, 0x00);
}

ScriptedDevice& ScriptedDevice::respond(ScriptedResponse response) {
    responses_.push_back(std::move(response));
    return *this;
}

ScsiOutcome ScriptedDevice::execute(const ScsiCommand& command, std::uint64_t nowMs) {
    ReceivedCommand received{command.cdb, command.direction, command.length, {}, nowMs};
    if (command.direction == DataDirection::Out && command.data != nullptr) {
        received.dataOut.assign(command.data, command.data + command.length);
    }
    received_.push_back(std::move(received));

    ScriptedResponse* response = &otherwise;
    for (ScriptedResponse& candidate : responses_) {
        if (Matches(candidate, command.cdb)) {
            response = &candidate;
            break;
        }
    }
    if (response->times > 0) --response->times;

    ScsiOutcome outcome;
    outcome.status = response->status;
    if (response->status == kStatusCheckCondition) outcome.sense = response->sense;
    outcome.durationMs = response->durationMs;
    outcome.neverCompletes = response->neverCompletes;
    if (command.direction == DataDirection::In && command.data != nullptr &&
        response->status == kStatusGood) {
        outcome.transferred =
            static_cast<std::uint32_t>(std::min<std::size_t>(response->data.size(), command.length));
        if (outcome.transferred != 0) std::memcpy(command.data, response->data.data(), outcome.transferred);
    } else if (command.direction == DataDirection::Out && response->status == kStatusGood) {
        outcome.transferred = command.length;
    }
    return outcome;
}

}  // namespace kambio::sim
