#include "scenario.h"

#include <cctype>
#include <fstream>
#include <set>
#include <stdexcept>

#include "scripted_device.h"
#include "virtual_drive_loader.h"

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

// --- The host's parts: registry, ASPI layer, drive letters ----------------------
// Keys are checked as strictly as the virtual drive's: a misspelt key is an
// error that names it, not a part silently left at its defaults.

[[noreturn]] void Fail(const std::string& path, const std::string& message) {
    throw std::runtime_error(path + ": " + message);
}

std::string KeyPath(const std::string& parent, const std::string& key) {
    return parent + ".\"" + key + "\"";
}

void RejectUnknownKeys(const json& object, const std::string& path,
                       const std::set<std::string>& known) {
    if (!object.is_object()) Fail(path, "must be a JSON object");
    for (const auto& item : object.items()) {
        if (known.count(item.key()) == 0) Fail(KeyPath(path, item.key()), "unknown key");
    }
}

// A number, or a hexadecimal string "0x1B".
std::uint64_t Unsigned(const json& value, const std::string& path, std::uint64_t max) {
    std::uint64_t number = 0;
    if (value.is_number_unsigned()) {
        number = value.get<std::uint64_t>();
    } else if (value.is_string()) {
        const std::string text = value.get<std::string>();
        bool hex = text.size() > 2 && text.size() <= 18 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        for (std::size_t i = 2; hex && i < text.size(); ++i) {
            hex = std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
        }
        if (!hex) Fail(path, "expected a number or a hexadecimal string such as \"0x1B\", not \"" + text + "\"");
        number = std::stoull(text.substr(2), nullptr, 16);
    } else {
        Fail(path, "expected a number or a hexadecimal string such as \"0x1B\"");
    }
    if (number > max) Fail(path, std::to_string(number) + " is larger than " + std::to_string(max));
    return number;
}

std::uint8_t Byte(const json& value, const std::string& path) {
    return static_cast<std::uint8_t>(Unsigned(value, path, 0xFF));
}

DWORD Dword(const json& value, const std::string& path) {
    return static_cast<DWORD>(Unsigned(value, path, 0xFFFFFFFFu));
}

bool Flag(const json& value, const std::string& path) {
    if (!value.is_boolean()) Fail(path, "expected true or false");
    return value.get<bool>();
}

std::string Text(const json& value, const std::string& path) {
    if (!value.is_string()) Fail(path, "expected a string");
    return value.get<std::string>();
}

// An array of bytes, or hexadecimal pairs separated by blanks: "05 80 02".
std::vector<std::uint8_t> Bytes(const json& value, const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (value.is_array()) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            bytes.push_back(Byte(value[i], path + "[" + std::to_string(i) + "]"));
        }
        return bytes;
    }
    if (!value.is_string()) Fail(path, "expected hexadecimal pairs such as \"05 80 02\" or an array of bytes");
    std::string text = value.get<std::string>();
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || std::isxdigit(static_cast<unsigned char>(text[i])) == 0 ||
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) == 0 ||
            (i + 2 < text.size() && text[i + 2] != ' ')) {
            Fail(path, "\"" + text + "\" is not hexadecimal pairs separated by blanks");
        }
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

// "kk/aa/qq" in hexadecimal gives fixed-format sense; bytes are taken as given.
std::vector<std::uint8_t> Sense(const json& value, const std::string& path) {
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (text.size() == 8 && text[2] == '/' && text[5] == '/') {
            auto part = [&](std::size_t at) {
                if (!std::isxdigit(static_cast<unsigned char>(text[at])) ||
                    !std::isxdigit(static_cast<unsigned char>(text[at + 1]))) {
                    Fail(path, "expected \"kk/aa/qq\" in hexadecimal, not \"" + text + "\"");
                }
                return static_cast<std::uint8_t>(std::stoul(text.substr(at, 2), nullptr, 16));
            };
            return MakeSense(part(0), part(3), part(6));
        }
    }
    return Bytes(value, path);
}

ScriptedResponse LoadResponse(const json& object, const std::string& path) {
    RejectUnknownKeys(object, path,
                      {"match", "status", "sense", "data", "durationMs", "neverCompletes", "times"});
    ScriptedResponse response;
    for (const auto& item : object.items()) {
        const std::string key = item.key();
        const std::string at = KeyPath(path, key);
        const json& value = item.value();
        if (key == "match") response.match = Bytes(value, at);
        if (key == "status") response.status = Byte(value, at);
        if (key == "sense") response.sense = Sense(value, at);
        if (key == "data") response.data = Bytes(value, at);
        if (key == "durationMs") response.durationMs = Dword(value, at);
        if (key == "neverCompletes") response.neverCompletes = Flag(value, at);
        if (key == "times") {
            if (!value.is_number_integer() || value.get<long long>() < -1) Fail(at, "expected -1 or a count");
            response.times = value.get<int>();
        }
    }
    // Sense alone says CHECK CONDITION, as a drive answers with it.
    if (object.contains("sense") && !object.contains("status")) response.status = kStatusCheckCondition;
    return response;
}

std::shared_ptr<Device> LoadDevice(const json& object, const std::string& path) {
    RejectUnknownKeys(object, path, {"virtualDrive", "responses", "otherwise"});
    if (object.contains("virtualDrive")) {
        if (object.size() != 1) Fail(path, "a \"virtualDrive\" has no scripted responses beside it");
        try {
            return LoadVirtualDrive(object.at("virtualDrive"));
        } catch (const std::runtime_error& e) {
            Fail(KeyPath(path, "virtualDrive"), e.what());
        }
    }
    auto device = std::make_shared<ScriptedDevice>();
    if (object.contains("responses")) {
        const json& responses = object.at("responses");
        const std::string at = KeyPath(path, "responses");
        if (!responses.is_array()) Fail(at, "expected an array");
        for (std::size_t i = 0; i < responses.size(); ++i) {
            device->respond(LoadResponse(responses[i], at + "[" + std::to_string(i) + "]"));
        }
    }
    if (object.contains("otherwise")) device->otherwise = LoadResponse(object.at("otherwise"), KeyPath(path, "otherwise"));
    return device;
}

void LoadRegistry(const json& registry, SimPc& pc) {
    const std::string path = "\"registry\"";
    if (!registry.is_object()) Fail(path, "must be a JSON object");
    for (const auto& key : registry.items()) {
        const std::string at = KeyPath(path, key.key());
        if (!key.value().is_object()) Fail(at, "expected an object of values");
        try {
            pc.registry.addKey(key.key());
        } catch (const std::invalid_argument& e) {
            Fail(at, e.what());
        }
        for (const auto& value : key.value().items()) {
            const std::string valueAt = KeyPath(at, value.key());
            const json& v = value.value();
            if (v.is_string()) {
                pc.registry.setString(key.key(), value.key(), v.get<std::string>());
            } else if (v.is_number_unsigned()) {
                pc.registry.setDword(key.key(), value.key(), Dword(v, valueAt));
            } else if (v.is_object() && v.size() == 1 && v.contains("dword")) {
                pc.registry.setDword(key.key(), value.key(), Dword(v.at("dword"), KeyPath(valueAt, "dword")));
            } else if (v.is_object() && v.size() == 1 && v.contains("binary")) {
                pc.registry.setBinary(key.key(), value.key(), Bytes(v.at("binary"), KeyPath(valueAt, "binary")));
            } else {
                Fail(valueAt, "expected a string, a number, { \"dword\": n } or { \"binary\": \"01 02\" }");
            }
        }
    }
}

void LoadAspi(const json& aspi, SimPc& pc) {
    const std::string path = "\"aspi\"";
    RejectUnknownKeys(aspi, path,
                      {"installed", "supportStatus", "adapterCount", "refuseStatus", "abortIgnored", "adapters"});
    AspiLayer& layer = pc.aspi;
    // Describing the layer means it is there, unless the scenario says not.
    layer.installed = aspi.contains("installed") ? Flag(aspi.at("installed"), KeyPath(path, "installed")) : true;
    if (aspi.contains("supportStatus")) layer.supportStatus = Byte(aspi.at("supportStatus"), KeyPath(path, "supportStatus"));
    if (aspi.contains("adapterCount")) layer.reportedAdapterCount = Byte(aspi.at("adapterCount"), KeyPath(path, "adapterCount"));
    if (aspi.contains("refuseStatus")) layer.refuseStatus = Byte(aspi.at("refuseStatus"), KeyPath(path, "refuseStatus"));
    if (aspi.contains("abortIgnored")) layer.abortIgnored = Flag(aspi.at("abortIgnored"), KeyPath(path, "abortIgnored"));
    if (!aspi.contains("adapters")) return;
    const json& adapters = aspi.at("adapters");
    const std::string adaptersAt = KeyPath(path, "adapters");
    if (!adapters.is_array()) Fail(adaptersAt, "expected an array");
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        const json& adapter = adapters[i];
        const std::string at = adaptersAt + "[" + std::to_string(i) + "]";
        RejectUnknownKeys(adapter, at, {"identifier", "inquiryFails", "targets"});
        AspiAdapter& added = layer.addAdapter(
            adapter.contains("identifier") ? Text(adapter.at("identifier"), KeyPath(at, "identifier")) : "");
        if (adapter.contains("inquiryFails")) added.inquiryFails = Flag(adapter.at("inquiryFails"), KeyPath(at, "inquiryFails"));
        if (!adapter.contains("targets")) continue;
        const json& targets = adapter.at("targets");
        const std::string targetsAt = KeyPath(at, "targets");
        if (!targets.is_object()) Fail(targetsAt, "expected an object of target ids");
        for (const auto& target : targets.items()) {
            const std::string targetAt = KeyPath(targetsAt, target.key());
            int id = -1;
            try {
                std::size_t used = 0;
                id = std::stoi(target.key(), &used);
                if (used != target.key().size()) id = -1;
            } catch (const std::exception&) {
            }
            if (id < 0 || id > 15) Fail(targetAt, "a target id is 0 to 15");
            added.targets[id] = LoadDevice(target.value(), targetAt);
        }
    }
}

void LoadDrives(const json& drives, SimPc& pc) {
    const std::string path = "\"drives\"";
    if (!drives.is_object()) Fail(path, "must be a JSON object of drive letters");
    for (const auto& item : drives.items()) {
        const std::string at = KeyPath(path, item.key());
        const std::string& name = item.key();
        char letter = name.size() == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))) : 0;
        if (letter < 'D' || letter > 'Z') Fail(at, "a drive letter is D to Z");
        const json& object = item.value();
        RejectUnknownKeys(object, at,
                          {"device", "openError", "capabilitiesError", "addressError", "address", "passThroughFailure"});
        DriveLetter drive;
        if (object.contains("device")) drive.device = LoadDevice(object.at("device"), KeyPath(at, "device"));
        if (object.contains("openError")) drive.openError = Dword(object.at("openError"), KeyPath(at, "openError"));
        if (object.contains("capabilitiesError")) drive.capabilitiesError = Dword(object.at("capabilitiesError"), KeyPath(at, "capabilitiesError"));
        if (object.contains("addressError")) drive.addressError = Dword(object.at("addressError"), KeyPath(at, "addressError"));
        if (object.contains("address")) {
            const json& address = object.at("address");
            const std::string addressAt = KeyPath(at, "address");
            RejectUnknownKeys(address, addressAt, {"port", "path", "target", "lun"});
            if (address.contains("port")) drive.address.PortNumber = Byte(address.at("port"), KeyPath(addressAt, "port"));
            if (address.contains("path")) drive.address.PathId = Byte(address.at("path"), KeyPath(addressAt, "path"));
            if (address.contains("target")) drive.address.TargetId = Byte(address.at("target"), KeyPath(addressAt, "target"));
            if (address.contains("lun")) drive.address.Lun = Byte(address.at("lun"), KeyPath(addressAt, "lun"));
        }
        if (object.contains("passThroughFailure")) {
            const json& failure = object.at("passThroughFailure");
            const std::string failureAt = KeyPath(at, "passThroughFailure");
            RejectUnknownKeys(failure, failureAt, {"error", "scsiStatus", "sense"});
            if (!failure.contains("error")) Fail(failureAt, "needs an \"error\"");
            drive.passThroughFailure.error = Dword(failure.at("error"), KeyPath(failureAt, "error"));
            if (failure.contains("scsiStatus")) drive.passThroughFailure.scsiStatus = Byte(failure.at("scsiStatus"), KeyPath(failureAt, "scsiStatus"));
            if (failure.contains("sense")) drive.passThroughFailure.sense = Sense(failure.at("sense"), KeyPath(failureAt, "sense"));
        }
        pc.attachLetter(letter, std::move(drive));
    }
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
    if (pc.contains("registry")) LoadRegistry(pc.at("registry"), target);
    if (pc.contains("aspi")) LoadAspi(pc.at("aspi"), target);
    if (pc.contains("drives")) LoadDrives(pc.at("drives"), target);
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
