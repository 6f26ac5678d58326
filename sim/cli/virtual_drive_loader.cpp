#include "virtual_drive_loader.h"

#include <cctype>
#include <set>
#include <stdexcept>
#include <string>

namespace kambio::sim {

using nlohmann::json;

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& message) {
    throw std::runtime_error(path + ": " + message);
}

std::string KeyPath(const std::string& parent, const std::string& key) {
    std::string quoted = "\"" + key + "\"";
    return parent.empty() ? quoted : parent + "." + quoted;
}

void RejectUnknownKeys(const json& object, const std::string& path,
                       const std::set<std::string>& known) {
    if (!object.is_object()) Fail(path.empty() ? "the drive" : path, "must be a JSON object");
    for (const auto& item : object.items()) {
        if (known.count(item.key()) == 0) Fail(KeyPath(path, item.key()), "unknown key");
    }
}

std::uint64_t ParseUnsigned(const json& value, const std::string& path, std::uint64_t max) {
    std::uint64_t number = 0;
    if (value.is_number_unsigned()) {
        number = value.get<std::uint64_t>();
    } else if (value.is_number_integer()) {
        Fail(path, "must not be negative");
    } else if (value.is_string()) {
        // Hexadecimal values are written as strings: "0x1B".
        const std::string text = value.get<std::string>();
        if (text.size() < 3 || text.size() > 18 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
            Fail(path, "expected a number or a hexadecimal string such as \"0x1B\", not \"" + text + "\"");
        }
        for (std::size_t i = 2; i < text.size(); ++i) {
            if (std::isxdigit(static_cast<unsigned char>(text[i])) == 0) {
                Fail(path, "\"" + text + "\" is not hexadecimal");
            }
        }
        number = std::stoull(text.substr(2), nullptr, 16);
    } else {
        Fail(path, "expected a number or a hexadecimal string");
    }
    if (number > max) Fail(path, std::to_string(number) + " is larger than " + std::to_string(max));
    return number;
}

std::uint8_t ParseByte(const json& value, const std::string& path) {
    return static_cast<std::uint8_t>(ParseUnsigned(value, path, 0xFF));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "05/24/00": sense key, additional sense code and qualifier in hexadecimal.
SenseCode ParseSense(const json& value, const std::string& path) {
    const std::string expected = "expected \"kk/aa/qq\" in hexadecimal, e.g. \"05/24/00\"";
    if (!value.is_string()) Fail(path, expected);
    const std::string text = value.get<std::string>();
    if (text.size() != 8 || text[2] != '/' || text[5] != '/') Fail(path, expected + ", not \"" + text + "\"");
    std::uint8_t parts[3];
    for (int i = 0; i < 3; ++i) {
        int high = HexDigit(text[static_cast<std::size_t>(i * 3)]);
        int low = HexDigit(text[static_cast<std::size_t>(i * 3 + 1)]);
        if (high < 0 || low < 0) Fail(path, expected + ", not \"" + text + "\"");
        parts[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    if (parts[0] > 0x0F) Fail(path, "a sense key is 00 to 0F");
    return {parts[0], parts[1], parts[2]};
}

// Bytes as an array of byte values or as a string of hexadecimal pairs
// separated by blanks ("05 80 02").
std::vector<std::uint8_t> ParseBytes(const json& value, const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (value.is_array()) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            bytes.push_back(ParseByte(value[i], path + "[" + std::to_string(i) + "]"));
        }
        return bytes;
    }
    if (!value.is_string()) Fail(path, "expected an array of bytes or a string of hexadecimal pairs");
    const std::string text = value.get<std::string>();
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        int high = HexDigit(text[i]);
        int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        bool separated = i + 2 >= text.size() || text[i + 2] == ' ';
        if (high < 0 || low < 0 || !separated) {
            Fail(path, "\"" + text + "\" is not hexadecimal pairs separated by blanks");
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return bytes;
}

// A text field: "key" is blank-padded to its width and may not exceed it;
// "keyRaw" gives its exact bytes, as a string or as bytes, unpadded.
void LoadText(const json& drive, const std::string& key, std::size_t width, std::string& target) {
    const std::string rawKey = key + "Raw";
    const bool padded = drive.contains(key);
    const bool raw = drive.contains(rawKey);
    if (padded && raw) Fail(KeyPath("", rawKey), "give either \"" + key + "\" or \"" + rawKey + "\"");
    if (padded) {
        const json& value = drive.at(key);
        if (!value.is_string()) Fail(KeyPath("", key), "expected a string");
        std::string text = value.get<std::string>();
        if (text.size() > width) {
            Fail(KeyPath("", key), "\"" + text + "\" is longer than its " + std::to_string(width) +
                                       " characters");
        }
        target = PadField(text, width);
    } else if (raw) {
        const json& value = drive.at(rawKey);
        if (value.is_string()) {
            target = value.get<std::string>();
        } else {
            std::vector<std::uint8_t> bytes = ParseBytes(value, KeyPath("", rawKey));
            target.assign(bytes.begin(), bytes.end());
        }
    }
}

MediumState ParseMedium(const json& value, const std::string& path, bool& unitAttention) {
    const std::string expected =
        "expected \"none\", \"loaded\", \"becoming-ready\" or \"unit-attention\"";
    if (!value.is_string()) Fail(path, expected);
    const std::string text = value.get<std::string>();
    unitAttention = false;
    if (text == "none") return MediumState::NoDisc;
    if (text == "loaded") return MediumState::Loaded;
    if (text == "becoming-ready") return MediumState::BecomingReady;
    if (text == "unit-attention") {
        unitAttention = true;
        return MediumState::Loaded;
    }
    Fail(path, expected + ", not \"" + text + "\"");
}

FaultRule LoadFault(const json& fault, const std::string& path) {
    RejectUnknownKeys(fault, path,
                      {"opcode", "mode", "bufferId", "nth", "countOver", "sense", "status",
                       "durationMs", "neverCompletes", "once"});
    FaultRule rule;
    if (fault.contains("opcode")) rule.opcode = ParseByte(fault.at("opcode"), KeyPath(path, "opcode"));
    if (fault.contains("mode")) rule.mode = ParseByte(fault.at("mode"), KeyPath(path, "mode"));
    if (fault.contains("bufferId")) {
        rule.bufferId = ParseByte(fault.at("bufferId"), KeyPath(path, "bufferId"));
    }
    if (fault.contains("nth")) {
        rule.nth = static_cast<std::uint32_t>(ParseUnsigned(fault.at("nth"), KeyPath(path, "nth"), 0xFFFFFFFF));
        if (rule.nth == 0) Fail(KeyPath(path, "nth"), "commands are counted from 1");
    }
    if (fault.contains("countOver")) {
        const std::string where = KeyPath(path, "countOver");
        const json& value = fault.at("countOver");
        if (!fault.contains("nth")) Fail(where, "only counts for \"nth\"");
        if (value == "all") {
            rule.countOver = FaultRule::Count::AllCommands;
        } else if (value == "matching") {
            rule.countOver = FaultRule::Count::Matching;
        } else {
            Fail(where, "expected \"all\" or \"matching\"");
        }
    }
    if (fault.contains("sense")) rule.sense = ParseSense(fault.at("sense"), KeyPath(path, "sense"));
    if (fault.contains("status")) rule.status = ParseByte(fault.at("status"), KeyPath(path, "status"));
    if (fault.contains("durationMs")) {
        rule.durationMs = static_cast<std::uint32_t>(
            ParseUnsigned(fault.at("durationMs"), KeyPath(path, "durationMs"), 0xFFFFFFFF));
    }
    for (const char* flag : {"neverCompletes", "once"}) {
        if (!fault.contains(flag)) continue;
        if (!fault.at(flag).is_boolean()) Fail(KeyPath(path, flag), "expected true or false");
    }
    rule.neverCompletes = fault.value("neverCompletes", false);
    rule.once = fault.value("once", false);
    if (!rule.sense && !rule.status && !rule.durationMs && !rule.neverCompletes) {
        Fail(path, "a fault needs an effect: \"sense\", \"status\", \"durationMs\" or \"neverCompletes\"");
    }
    return rule;
}

void LoadTiming(const json& timing, VirtualDriveTiming& target) {
    const std::string path = "\"timing\"";
    RejectUnknownKeys(timing, path, {"commandMs", "opcodeMs"});
    if (timing.contains("commandMs")) {
        target.commandMs = static_cast<std::uint32_t>(
            ParseUnsigned(timing.at("commandMs"), KeyPath(path, "commandMs"), 0xFFFFFFFF));
    }
    if (!timing.contains("opcodeMs")) return;
    const json& perOpcode = timing.at("opcodeMs");
    const std::string perOpcodePath = KeyPath(path, "opcodeMs");
    if (!perOpcode.is_object()) Fail(perOpcodePath, "expected an object such as { \"0x1B\": 1500 }");
    for (const auto& item : perOpcode.items()) {
        const std::string where = KeyPath(perOpcodePath, item.key());
        std::uint8_t opcode = ParseByte(json(item.key()), where);
        target.opcodeMs[opcode] = static_cast<std::uint32_t>(ParseUnsigned(item.value(), where, 0xFFFFFFFF));
    }
}

void LoadReadBuffers(const json& buffers, VirtualDriveConfig& config) {
    if (!buffers.is_array()) Fail("\"readBuffers\"", "expected an array");
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        const std::string path = "\"readBuffers\"[" + std::to_string(i) + "]";
        const json& buffer = buffers[i];
        RejectUnknownKeys(buffer, path, {"mode", "bufferId", "data"});
        for (const char* key : {"mode", "bufferId", "data"}) {
            if (!buffer.contains(key)) Fail(KeyPath(path, key), "missing");
        }
        std::uint8_t mode = ParseByte(buffer.at("mode"), KeyPath(path, "mode"));
        std::uint8_t id = ParseByte(buffer.at("bufferId"), KeyPath(path, "bufferId"));
        config.readBuffers[{mode, id}] = ParseBytes(buffer.at("data"), KeyPath(path, "data"));
    }
}

}  // namespace

VirtualDriveConfig LoadVirtualDriveConfig(const json& drive) {
    RejectUnknownKeys(drive, "",
                      {"type", "removable", "version", "responseFormat", "additionalLength",
                       "vendor", "vendorRaw", "product", "productRaw", "revision", "revisionRaw",
                       "revisionSuffix", "revisionSuffixRaw", "date", "inquiryRaw",
                       "hardwareRevision", "hardwareRevisionRaw", "kernelVendorCode",
                       "kernelVendorCodeRaw", "normalVendorCode", "normalVendorCodeRaw",
                       "driveInfoRaw", "readBuffers", "medium", "becomingReadyMs",
                       "becomingReadyCommands", "unitAttention", "timing", "faults"});
    VirtualDriveConfig config;
    DriveIdentity& id = config.identity;

    const std::pair<const char*, std::uint8_t*> bytes[] = {
        {"type", &id.deviceType},         {"removable", &id.removable},
        {"version", &id.version},         {"responseFormat", &id.responseFormat},
        {"additionalLength", &id.additionalLength},
    };
    for (const auto& [key, target] : bytes) {
        if (drive.contains(key)) *target = ParseByte(drive.at(key), KeyPath("", key));
    }
    LoadText(drive, "vendor", 8, id.vendor);
    LoadText(drive, "product", 16, id.product);
    LoadText(drive, "revision", 4, id.revision);
    LoadText(drive, "revisionSuffix", 1, id.revisionSuffix);
    if (drive.contains("date")) {
        // Either form of the date is taken as it is: it has no fixed width.
        if (!drive.at("date").is_string()) Fail("\"date\"", "expected a string");
        id.date = drive.at("date").get<std::string>();
        if (id.date.size() > kVirtualInquiryLength - 37) Fail("\"date\"", "does not fit the INQUIRY data");
    }
    if (drive.contains("inquiryRaw")) {
        id.rawInquiry = ParseBytes(drive.at("inquiryRaw"), "\"inquiryRaw\"");
        if (id.rawInquiry->size() > kVirtualInquiryLength) Fail("\"inquiryRaw\"", "more than 96 bytes");
    }
    LoadText(drive, "hardwareRevision", 8, id.hardwareRevision);
    LoadText(drive, "kernelVendorCode", 8, id.kernelVendorCode);
    LoadText(drive, "normalVendorCode", 8, id.normalVendorCode);
    if (drive.contains("driveInfoRaw")) {
        id.rawDriveInfo = ParseBytes(drive.at("driveInfoRaw"), "\"driveInfoRaw\"");
        if (id.rawDriveInfo->size() > kVirtualDriveInfoLength) Fail("\"driveInfoRaw\"", "more than 48 bytes");
    }
    if (drive.contains("readBuffers")) LoadReadBuffers(drive.at("readBuffers"), config);

    bool mediumAttention = false;
    if (drive.contains("medium")) config.medium = ParseMedium(drive.at("medium"), "\"medium\"", mediumAttention);
    if (drive.contains("becomingReadyMs")) {
        const json& value = drive.at("becomingReadyMs");
        if (value.is_null()) {
            config.becomingReadyMs.reset();
        } else {
            config.becomingReadyMs = ParseUnsigned(value, "\"becomingReadyMs\"", ~std::uint64_t{0});
        }
    }
    if (drive.contains("becomingReadyCommands")) {
        config.becomingReadyCommands = static_cast<std::uint32_t>(
            ParseUnsigned(drive.at("becomingReadyCommands"), "\"becomingReadyCommands\"", 0xFFFFFFFF));
    }
    if (drive.contains("unitAttention")) {
        config.unitAttention = ParseSense(drive.at("unitAttention"), "\"unitAttention\"");
    } else if (mediumAttention) {
        config.unitAttention = kSenseMediumChanged;
    }

    if (drive.contains("timing")) LoadTiming(drive.at("timing"), config.timing);
    if (drive.contains("faults")) {
        const json& faults = drive.at("faults");
        if (!faults.is_array()) Fail("\"faults\"", "expected an array");
        for (std::size_t i = 0; i < faults.size(); ++i) {
            config.faults.push_back(LoadFault(faults[i], "\"faults\"[" + std::to_string(i) + "]"));
        }
    }
    return config;
}

std::shared_ptr<VirtualDrive> LoadVirtualDrive(const json& drive) {
    return std::make_shared<VirtualDrive>(LoadVirtualDriveConfig(drive));
}

}  // namespace kambio::sim
