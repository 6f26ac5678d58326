// Scenario files: a simulated PC and the runs of the program on it
// (docs/scenarios.md).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim_pc.h"

namespace kambio::sim {

struct RunPlan {
    std::vector<int> answers;  // message box answers, in order
};

struct Scenario {
    std::string description;
    std::unique_ptr<SimPc> pc;
    std::vector<RunPlan> runs;
};

// Reads a scenario; throws std::runtime_error with a message that names the
// file and the offending entry.
Scenario LoadScenarioFile(const std::string& path);
Scenario LoadScenario(const nlohmann::json& document);

// Builds the PC from the "pc" object of a scenario.
void LoadPc(const nlohmann::json& pc, SimPc& target);

}  // namespace kambio::sim
