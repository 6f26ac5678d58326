#include "scenario.h"

#include <fstream>
#include <stdexcept>

namespace kambio::sim {

using nlohmann::json;

namespace {

template <typename T>
T Get(const json& object, const char* key, T fallback) {
    if (!object.contains(key)) return fallback;
    try {
        return object.at(key).get<T>();
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("\"") + key + "\": " + e.what());
    }
}

void LoadOs(const json& os, SimPc& pc) {
    pc.os.platformId = Get<DWORD>(os, "platformId", pc.os.platformId);
    pc.os.major = Get<DWORD>(os, "major", pc.os.major);
    pc.os.minor = Get<DWORD>(os, "minor", pc.os.minor);
    pc.os.build = Get<DWORD>(os, "build", pc.os.build);
}

RunPlan LoadRun(const json& run) {
    RunPlan plan;
    plan.answers = Get<std::vector<int>>(run, "answers", {});
    return plan;
}

}  // namespace

void LoadPc(const json& pc, SimPc& target) {
    if (!pc.is_object()) throw std::runtime_error("\"pc\" must be an object");
    if (pc.contains("os")) LoadOs(pc.at("os"), target);
    target.oemCodePage = Get<UINT>(pc, "oemCodePage", target.oemCodePage);
    target.clock.setTickAtStart(Get<std::uint32_t>(pc, "tickAtStart", 0));
    target.minimumTimerPeriod = Get<UINT>(pc, "minimumTimerPeriod", target.minimumTimerPeriod);
    for (int call : Get<std::vector<int>>(pc, "failingAllocations", {})) {
        target.failingAllocations.insert(call);
    }
}

Scenario LoadScenario(const json& document) {
    if (!document.is_object()) throw std::runtime_error("a scenario is a JSON object");
    Scenario scenario;
    scenario.description = Get<std::string>(document, "description", "");
    scenario.pc = std::make_unique<SimPc>();
    if (document.contains("pc")) LoadPc(document.at("pc"), *scenario.pc);
    if (document.contains("runs")) {
        for (const json& run : document.at("runs")) scenario.runs.push_back(LoadRun(run));
    }
    if (scenario.runs.empty()) scenario.runs.push_back(RunPlan{});
    return scenario;
}

Scenario LoadScenarioFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error(path + ": cannot be read");
    try {
        json document = json::parse(file, nullptr, true, /*ignore_comments=*/true);
        return LoadScenario(document);
    } catch (const json::exception& e) {
        throw std::runtime_error(path + ": " + e.what());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

}  // namespace kambio::sim
