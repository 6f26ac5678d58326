// A virtual drive of the writer family: a state machine that answers the
// commands the updater sends (INQUIRY, the drive information block, TEST UNIT
// READY, START STOP UNIT, WRITE BUFFER) the way the real drives do, with
// faults that tests and scenarios inject per command. docs/virtual-drive.md
// describes what it answers.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device.h"

namespace kambio::sim {

inline constexpr std::uint8_t kOpTestUnitReady = 0x00;
inline constexpr std::uint8_t kOpInquiry = 0x12;
inline constexpr std::uint8_t kOpStartStopUnit = 0x1B;
inline constexpr std::uint8_t kOpWriteBuffer = 0x3B;
inline constexpr std::uint8_t kOpReadBuffer = 0x3C;

inline constexpr std::size_t kVirtualInquiryLength = 96;
inline constexpr std::size_t kVirtualDriveInfoLength = 48;
inline constexpr std::uint8_t kDriveInfoMode = 0x02;
inline constexpr std::uint8_t kDriveInfoBufferId = 0xF1;

struct SenseCode {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    friend bool operator==(const SenseCode&, const SenseCode&) = default;
};

inline constexpr SenseCode kSenseInvalidOpcode{0x05, 0x20, 0x00};
inline constexpr SenseCode kSenseInvalidField{0x05, 0x24, 0x00};
inline constexpr SenseCode kSenseMediumNotPresent{0x02, 0x3A, 0x00};
inline constexpr SenseCode kSenseBecomingReady{0x02, 0x04, 0x01};
inline constexpr SenseCode kSenseMediumChanged{0x06, 0x28, 0x00};
inline constexpr SenseCode kSensePowerOnReset{0x06, 0x29, 0x00};

// What the drive says about itself. Text fields are the exact bytes written
// at their place: a text shorter than its field leaves the rest 00h (as a
// badly padded firmware would), a longer one is cut at the field's end. Give
// blank-padded texts for a well-behaved drive (PadField helps).
struct DriveIdentity {
    // INQUIRY data.
    std::uint8_t deviceType = 0x05;      // byte 0, qualifier and type
    std::uint8_t removable = 0x80;       // byte 1
    std::uint8_t version = 0x02;         // byte 2
    std::uint8_t responseFormat = 0x02;  // byte 3
    std::uint8_t additionalLength = 91;  // byte 4
    std::string vendor = "KORV    ";                   // bytes 8-15
    std::string product = "LMX-5560P/D     ";          // bytes 16-31
    std::string revision = "1.05";                     // bytes 32-35
    std::string revisionSuffix = " ";                  // byte 36
    // Bytes 37 on: "yy/mm/dd" on drives whose product starts with "DVD-RW",
    // "yyyy/mm/dd" on the others; written as given.
    std::string date = "2003/12/03";
    // When set, the INQUIRY data are exactly these bytes (00h up to 96) and
    // the fields above are not used.
    std::optional<std::vector<std::uint8_t>> rawInquiry;

    // The drive information block (READ BUFFER mode 2, buffer F1h).
    std::string hardwareRevision = "HW 1.00 ";  // bytes 16-23
    std::string kernelVendorCode = "KORV    ";  // bytes 24-31
    // Eight blanks when the drive holds no normal part.
    std::string normalVendorCode = "KORV    ";  // bytes 32-39
    // When set, the block is exactly these bytes (00h up to 48).
    std::optional<std::vector<std::uint8_t>> rawDriveInfo;
};

// `text` blank-padded (or cut) to `width` characters.
std::string PadField(const std::string& text, std::size_t width);

enum class MediumState {
    NoDisc,
    Loaded,
    BecomingReady,
};

// Which kind of firmware the drive runs: its normal firmware, or only the
// kernel that an interrupted update leaves behind. The update protocol
// (WRITE BUFFER) moves the drive between the two.
enum class FirmwareMode {
    Normal,
    Kernel,
};

// A fault injected on the commands it matches. All of opcode, mode and
// bufferId that are set must match; `nth` further limits the rule to one
// command by its position.
struct FaultRule {
    enum class Count {
        AllCommands,  // position among every command the drive received
        Matching,     // position among the commands that match opcode/mode/bufferId
    };

    std::optional<std::uint8_t> opcode;
    std::optional<std::uint8_t> mode;      // CDB byte 1
    std::optional<std::uint8_t> bufferId;  // CDB byte 2
    std::uint32_t nth = 0;                 // counted from 1; 0 for any position
    Count countOver = Count::Matching;

    // The effect. With sense, status or neverCompletes the command is not
    // carried out: it changes nothing in the drive and moves no data. A
    // duration alone lets it run normally, only slower or faster.
    std::optional<SenseCode> sense;      // CHECK CONDITION with this sense
    std::optional<std::uint8_t> status;  // this status (with sense if given)
    std::optional<std::uint32_t> durationMs;
    bool neverCompletes = false;
    // Fires for the first command it matches only, then is spent.
    bool once = false;
};

struct VirtualDriveTiming {
    std::uint32_t commandMs = 2;                        // any command
    std::map<std::uint8_t, std::uint32_t> opcodeMs;  // per opcode, instead
};

struct VirtualDriveConfig {
    DriveIdentity identity;
    VirtualDriveTiming timing;
    // Further buffers READ BUFFER answers, by (mode, buffer id); each returns
    // its bytes from the CDB's offset on. An entry for (2, F1h) replaces the
    // drive information block.
    std::map<std::pair<std::uint8_t, std::uint8_t>, std::vector<std::uint8_t>> readBuffers;

    // The state the drive starts in.
    MediumState medium = MediumState::Loaded;
    // A becoming-ready disc is loaded once this much virtual time has passed
    // since the state began (virtual time 0 for the starting state), or once
    // this many TEST UNIT READYs were answered "becoming ready", whichever
    // comes first; with neither it never gets ready.
    std::optional<std::uint64_t> becomingReadyMs = 2000;
    std::optional<std::uint32_t> becomingReadyCommands;
    std::optional<SenseCode> unitAttention;
    std::vector<FaultRule> faults;
};

// One command as the drive received and answered it.
struct CommandRecord {
    std::uint64_t atMs = 0;
    std::vector<std::uint8_t> cdb;
    DataDirection direction = DataDirection::None;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> dataOut;  // the bytes sent, for data-out commands
    ScsiOutcome outcome;
    int faultRule = -1;  // index of the fault rule that fired, or -1

    std::uint8_t opcode() const { return cdb.empty() ? 0 : cdb[0]; }
    // The sense key, ASC and ASCQ of the answer ({0,0,0} without sense).
    SenseCode sense() const;
};

// Attach it to the simulated PC as a std::shared_ptr<Device>
// (std::make_shared<VirtualDrive>(config)); keep the shared_ptr to read its
// log and change it between runs.
class VirtualDrive : public Device {
public:
    VirtualDrive();
    explicit VirtualDrive(VirtualDriveConfig config);

    ScsiOutcome execute(const ScsiCommand& command, std::uint64_t nowMs) override;

    // The identity, timing and buffers are read at each command: a test may
    // change them at any time, e.g. another product after discovery. The
    // starting state and faults of the configuration are taken once, at
    // construction; the setters below change them later.
    VirtualDriveConfig& config() { return config_; }
    const VirtualDriveConfig& config() const { return config_; }

    MediumState medium() const { return medium_; }
    // Puts the drive in a medium state as of virtual time `nowMs`; a
    // becoming-ready state counts its time and commands from here.
    void setMedium(MediumState state, std::uint64_t nowMs = 0);
    bool spindleStopped() const { return spindleStopped_; }
    const std::optional<SenseCode>& pendingUnitAttention() const { return unitAttention_; }
    void setUnitAttention(std::optional<SenseCode> sense) { unitAttention_ = sense; }
    FirmwareMode firmwareMode() const { return firmware_; }

    void addFault(const FaultRule& rule);
    void clearFaults();

    const std::vector<CommandRecord>& log() const { return log_; }
    void clearLog() { log_.clear(); }
    // Commands received since construction, faulted ones included.
    std::uint64_t commandCount() const { return commandCount_; }

    // The bytes INQUIRY and the information block return now.
    std::vector<std::uint8_t> inquiryData() const;
    std::vector<std::uint8_t> driveInfoBlock() const;

private:
    struct ActiveFault {
        FaultRule rule;
        std::uint64_t matched = 0;  // matching commands seen
        bool spent = false;
    };

    // The answer of a command carried out, before timing is applied.
    struct Answer {
        std::uint8_t status = kStatusGood;
        std::optional<SenseCode> sense;
        std::uint32_t transferred = 0;
    };

    int pickFault(const ScsiCommand& command);
    void settleMedium(std::uint64_t nowMs);
    Answer carryOut(const ScsiCommand& command);
    Answer testUnitReady();
    Answer inquiry(const ScsiCommand& command);
    Answer startStopUnit(const ScsiCommand& command);
    Answer readBuffer(const ScsiCommand& command);
    Answer writeBuffer(const ScsiCommand& command);
    std::uint32_t durationOf(std::uint8_t opcode) const;

    VirtualDriveConfig config_;
    MediumState medium_ = MediumState::Loaded;
    std::uint64_t becomingReadySinceMs_ = 0;
    std::uint32_t becomingReadyAnswers_ = 0;
    bool spindleStopped_ = false;
    std::optional<SenseCode> unitAttention_;
    FirmwareMode firmware_ = FirmwareMode::Normal;
    // Microcode blocks received by WRITE BUFFER, by offset, for the update
    // protocol to check and save; nothing is accepted yet.
    std::map<std::uint32_t, std::vector<std::uint8_t>> received_;
    std::vector<ActiveFault> faults_;
    std::uint64_t commandCount_ = 0;
    std::vector<CommandRecord> log_;
};

}  // namespace kambio::sim
