#include "virtual_drive.h"

#include <algorithm>
#include <cstring>

namespace kambio::sim {

namespace {

constexpr std::size_t kVendorAt = 8;
constexpr std::size_t kProductAt = 16;
constexpr std::size_t kRevisionAt = 32;
constexpr std::size_t kRevisionSuffixAt = 36;
constexpr std::size_t kDateAt = 37;
constexpr std::size_t kHardwareRevisionAt = 16;
constexpr std::size_t kKernelVendorCodeAt = 24;
constexpr std::size_t kNormalVendorCodeAt = 32;

std::uint8_t CdbByte(const ScsiCommand& command, std::size_t index) {
    return index < command.cdb.size() ? command.cdb[index] : 0;
}

void PutText(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t width,
             const std::string& text) {
    std::size_t count = std::min({text.size(), width, bytes.size() - std::min(at, bytes.size())});
    std::memcpy(bytes.data() + at, text.data(), count);
}

std::vector<std::uint8_t> ExactSize(std::vector<std::uint8_t> bytes, std::size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

bool Matches(const FaultRule& rule, const ScsiCommand& command) {
    if (rule.opcode && *rule.opcode != CdbByte(command, 0)) return false;
    if (rule.mode && *rule.mode != CdbByte(command, 1)) return false;
    if (rule.bufferId && *rule.bufferId != CdbByte(command, 2)) return false;
    return true;
}

bool Refuses(const FaultRule& rule) {
    return rule.sense.has_value() || rule.status.has_value() || rule.neverCompletes;
}

}  // namespace

std::string PadField(const std::string& text, std::size_t width) {
    std::string padded = text.substr(0, width);
    padded.resize(width, ' ');
    return padded;
}

SenseCode CommandRecord::sense() const {
    if (outcome.sense.size() < 14) return {};
    return {static_cast<std::uint8_t>(outcome.sense[2] & 0x0F), outcome.sense[12],
            outcome.sense[13]};
}

VirtualDrive::VirtualDrive() : VirtualDrive(VirtualDriveConfig{}) {}

VirtualDrive::VirtualDrive(VirtualDriveConfig config) : config_(std::move(config)) {
    setMedium(config_.medium, 0);
    unitAttention_ = config_.unitAttention;
    for (const FaultRule& rule : config_.faults) addFault(rule);
}

void VirtualDrive::setMedium(MediumState state, std::uint64_t nowMs) {
    medium_ = state;
    becomingReadySinceMs_ = nowMs;
    becomingReadyAnswers_ = 0;
    if (state == MediumState::NoDisc) spindleStopped_ = false;
}

void VirtualDrive::addFault(const FaultRule& rule) { faults_.push_back(ActiveFault{rule}); }

void VirtualDrive::clearFaults() { faults_.clear(); }

std::vector<std::uint8_t> VirtualDrive::inquiryData() const {
    const DriveIdentity& id = config_.identity;
    if (id.rawInquiry) return ExactSize(*id.rawInquiry, kVirtualInquiryLength);
    std::vector<std::uint8_t> bytes(kVirtualInquiryLength, 0);
    bytes[0] = id.deviceType;
    bytes[1] = id.removable;
    bytes[2] = id.version;
    bytes[3] = id.responseFormat;
    bytes[4] = id.additionalLength;
    PutText(bytes, kVendorAt, 8, id.vendor);
    PutText(bytes, kProductAt, 16, id.product);
    PutText(bytes, kRevisionAt, 4, id.revision);
    PutText(bytes, kRevisionSuffixAt, 1, id.revisionSuffix);
    PutText(bytes, kDateAt, kVirtualInquiryLength - kDateAt, id.date);
    return bytes;
}

std::vector<std::uint8_t> VirtualDrive::driveInfoBlock() const {
    const DriveIdentity& id = config_.identity;
    if (id.rawDriveInfo) return ExactSize(*id.rawDriveInfo, kVirtualDriveInfoLength);
    std::vector<std::uint8_t> bytes(kVirtualDriveInfoLength, 0);
    PutText(bytes, kHardwareRevisionAt, 8, id.hardwareRevision);
    PutText(bytes, kKernelVendorCodeAt, 8, id.kernelVendorCode);
    PutText(bytes, kNormalVendorCodeAt, 8, id.normalVendorCode);
    return bytes;
}

ScsiOutcome VirtualDrive::execute(const ScsiCommand& command, std::uint64_t nowMs) {
    ++commandCount_;
    CommandRecord record;
    record.atMs = nowMs;
    record.cdb = command.cdb;
    record.direction = command.direction;
    record.length = command.length;
    if (command.direction == DataDirection::Out && command.data != nullptr) {
        record.dataOut.assign(command.data, command.data + command.length);
    }

    settleMedium(nowMs);
    int fault = pickFault(command);
    const FaultRule* rule = fault >= 0 ? &faults_[static_cast<std::size_t>(fault)].rule : nullptr;

    ScsiOutcome outcome;
    if (rule != nullptr && Refuses(*rule)) {
        outcome.neverCompletes = rule->neverCompletes;
        if (rule->sense || rule->status) {
            outcome.status = rule->status.value_or(kStatusCheckCondition);
        }
        if (rule->sense) outcome.sense = MakeSense(rule->sense->key, rule->sense->asc, rule->sense->ascq);
        outcome.transferred = 0;
    } else {
        Answer answer = carryOut(command);
        outcome.status = answer.status;
        if (answer.sense) outcome.sense = MakeSense(answer.sense->key, answer.sense->asc, answer.sense->ascq);
        outcome.transferred = answer.transferred;
    }
    outcome.durationMs = rule != nullptr && rule->durationMs ? *rule->durationMs
                                                            : durationOf(CdbByte(command, 0));

    record.outcome = outcome;
    record.faultRule = fault;
    log_.push_back(std::move(record));
    return outcome;
}

// Every rule counts the commands it matches, whether or not an earlier rule
// fires on them, so that a rule's "n-th" never depends on the other rules.
int VirtualDrive::pickFault(const ScsiCommand& command) {
    int fired = -1;
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        ActiveFault& fault = faults_[i];
        if (fault.spent || !Matches(fault.rule, command)) continue;
        ++fault.matched;
        std::uint64_t position =
            fault.rule.countOver == FaultRule::Count::AllCommands ? commandCount_ : fault.matched;
        if (fault.rule.nth != 0 && position != fault.rule.nth) continue;
        if (fired != -1) continue;
        fired = static_cast<int>(i);
        if (fault.rule.once) fault.spent = true;
    }
    return fired;
}

void VirtualDrive::settleMedium(std::uint64_t nowMs) {
    if (medium_ != MediumState::BecomingReady || !config_.becomingReadyMs) return;
    if (nowMs >= becomingReadySinceMs_ + *config_.becomingReadyMs) setMedium(MediumState::Loaded, nowMs);
}

VirtualDrive::Answer VirtualDrive::carryOut(const ScsiCommand& command) {
    std::uint8_t opcode = CdbByte(command, 0);
    // A unit attention is reported once, on the first command that is not an
    // INQUIRY, whatever that command is; the command itself is not carried out.
    if (opcode != kOpInquiry && unitAttention_) {
        Answer answer{kStatusCheckCondition, unitAttention_, 0};
        unitAttention_.reset();
        return answer;
    }
    switch (opcode) {
    case kOpTestUnitReady: return testUnitReady();
    case kOpInquiry: return inquiry(command);
    case kOpStartStopUnit: return startStopUnit(command);
    case kOpReadBuffer: return readBuffer(command);
    case kOpWriteBuffer: return writeBuffer(command);
    default: return Answer{kStatusCheckCondition, kSenseInvalidOpcode, 0};
    }
}

VirtualDrive::Answer VirtualDrive::testUnitReady() {
    if (medium_ == MediumState::BecomingReady && config_.becomingReadyCommands &&
        becomingReadyAnswers_ >= *config_.becomingReadyCommands) {
        setMedium(MediumState::Loaded, becomingReadySinceMs_);
    }
    switch (medium_) {
    case MediumState::NoDisc: return Answer{kStatusCheckCondition, kSenseMediumNotPresent, 0};
    case MediumState::BecomingReady:
        ++becomingReadyAnswers_;
        return Answer{kStatusCheckCondition, kSenseBecomingReady, 0};
    case MediumState::Loaded: break;
    }
    return Answer{};
}

namespace {

// Copies what the drive has to give into the host's buffer: no more than the
// CDB allows nor than the host made room for.
std::uint32_t TransferIn(const ScsiCommand& command, const std::uint8_t* bytes,
                         std::size_t available, std::size_t allocation) {
    if (command.direction != DataDirection::In || command.data == nullptr) return 0;
    std::size_t count = std::min({available, allocation, static_cast<std::size_t>(command.length)});
    std::memcpy(command.data, bytes, count);
    return static_cast<std::uint32_t>(count);
}

}  // namespace

VirtualDrive::Answer VirtualDrive::inquiry(const ScsiCommand& command) {
    // Vital product data pages are not offered.
    if ((CdbByte(command, 1) & 0x03) != 0 || CdbByte(command, 2) != 0) {
        return Answer{kStatusCheckCondition, kSenseInvalidField, 0};
    }
    std::vector<std::uint8_t> data = inquiryData();
    return Answer{kStatusGood, std::nullopt,
                  TransferIn(command, data.data(), data.size(), CdbByte(command, 4))};
}

VirtualDrive::Answer VirtualDrive::startStopUnit(const ScsiCommand& command) {
    std::uint8_t byte4 = CdbByte(command, 4);
    // A power condition makes the drive ignore Start and LoEj.
    if ((byte4 & 0xF0) != 0) return Answer{};
    bool start = (byte4 & 0x01) != 0;
    bool loadEject = (byte4 & 0x02) != 0;
    bool hasDisc = medium_ != MediumState::NoDisc;
    if (loadEject && !start) {
        setMedium(MediumState::NoDisc);
    } else if (loadEject && start) {
        // Closing the tray: what lies in it is not modelled, the medium stays.
    } else if (start) {
        if (!hasDisc) return Answer{kStatusCheckCondition, kSenseMediumNotPresent, 0};
        spindleStopped_ = false;
    } else if (hasDisc) {
        // A stopped disc is still there: it only no longer spins.
        if (medium_ == MediumState::BecomingReady) setMedium(MediumState::Loaded);
        spindleStopped_ = true;
    }
    return Answer{};
}

VirtualDrive::Answer VirtualDrive::readBuffer(const ScsiCommand& command) {
    std::uint8_t mode = CdbByte(command, 1);
    std::uint8_t bufferId = CdbByte(command, 2);
    std::uint32_t offset = std::uint32_t{CdbByte(command, 3)} << 16 |
                           std::uint32_t{CdbByte(command, 4)} << 8 | CdbByte(command, 5);
    std::uint32_t length = std::uint32_t{CdbByte(command, 6)} << 16 |
                           std::uint32_t{CdbByte(command, 7)} << 8 | CdbByte(command, 8);

    std::vector<std::uint8_t> buffer;
    auto configured = config_.readBuffers.find({mode, bufferId});
    if (configured != config_.readBuffers.end()) {
        buffer = configured->second;
    } else if (mode == kDriveInfoMode && bufferId == kDriveInfoBufferId) {
        buffer = driveInfoBlock();
    } else {
        return Answer{kStatusCheckCondition, kSenseInvalidField, 0};
    }
    if (offset > buffer.size() || (offset == buffer.size() && length != 0)) {
        return Answer{kStatusCheckCondition, kSenseInvalidField, 0};
    }
    return Answer{kStatusGood, std::nullopt,
                  TransferIn(command, buffer.data() + offset, buffer.size() - offset, length)};
}

VirtualDrive::Answer VirtualDrive::writeBuffer(const ScsiCommand&) {
    // The update protocol is not modelled yet: every download is refused,
    // and the log keeps what was sent.
    return Answer{kStatusCheckCondition, kSenseInvalidField, 0};
}

std::uint32_t VirtualDrive::durationOf(std::uint8_t opcode) const {
    auto it = config_.timing.opcodeMs.find(opcode);
    return it != config_.timing.opcodeMs.end() ? it->second : config_.timing.commandMs;
}

}  // namespace kambio::sim
