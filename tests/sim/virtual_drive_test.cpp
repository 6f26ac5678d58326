// The virtual drive on its own: the bytes it answers, its medium states and
// the faults injected into it.
#include "virtual_drive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kambio::sim {
namespace {

constexpr std::uint8_t kUntouched = 0xCC;
constexpr std::uint8_t kStatusBusy = 0x08;

struct Sent {
    ScsiOutcome outcome;
    std::vector<std::uint8_t> data;  // the host's buffer afterwards

    SenseCode sense() const {
        if (outcome.sense.size() < 14) return {};
        return {static_cast<std::uint8_t>(outcome.sense[2] & 0x0F), outcome.sense[12],
                outcome.sense[13]};
    }
    std::string text(std::size_t at, std::size_t count) const {
        return std::string(data.begin() + static_cast<std::ptrdiff_t>(at),
                           data.begin() + static_cast<std::ptrdiff_t>(at + count));
    }
};

Sent Send(VirtualDrive& drive, std::vector<std::uint8_t> cdb, DataDirection direction,
          std::uint32_t length, std::uint64_t nowMs = 0) {
    Sent sent;
    sent.data.assign(length, kUntouched);
    ScsiCommand command;
    command.cdb = std::move(cdb);
    command.direction = direction;
    command.length = length;
    command.data = length != 0 ? sent.data.data() : nullptr;
    sent.outcome = drive.execute(command, nowMs);
    return sent;
}

Sent Inquiry(VirtualDrive& drive, std::uint8_t allocation = 0x60, std::uint32_t room = 96) {
    return Send(drive, {0x12, 0, 0, 0, allocation, 0}, DataDirection::In, room);
}

Sent TestUnitReady(VirtualDrive& drive, std::uint64_t nowMs = 0) {
    return Send(drive, {0x00, 0, 0, 0, 0, 0}, DataDirection::None, 0, nowMs);
}

Sent StartStop(VirtualDrive& drive, std::uint8_t byte4) {
    return Send(drive, {0x1B, 0, 0, 0, byte4, 0}, DataDirection::None, 0);
}

Sent ReadBuffer(VirtualDrive& drive, std::uint8_t mode, std::uint8_t id, std::uint32_t offset,
                std::uint16_t length, std::uint32_t room = 64) {
    return Send(drive,
                {0x3C, mode, id, static_cast<std::uint8_t>(offset >> 16),
                 static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset), 0,
                 static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 0},
                DataDirection::In, room);
}

Sent DriveInfo(VirtualDrive& drive) { return ReadBuffer(drive, 0x02, 0xF1, 0, 48); }

void ExpectGood(const Sent& sent) {
    EXPECT_EQ(sent.outcome.status, kStatusGood);
    EXPECT_TRUE(sent.outcome.sense.empty());
}

void ExpectRefused(const Sent& sent, SenseCode sense) {
    EXPECT_EQ(sent.outcome.status, kStatusCheckCondition);
    ASSERT_EQ(sent.outcome.sense.size(), 18u);
    EXPECT_EQ(sent.outcome.sense[0], 0x70);
    EXPECT_EQ(sent.sense(), sense) << "sense " << int(sent.sense().key) << "/"
                                   << int(sent.sense().asc) << "/" << int(sent.sense().ascq);
    EXPECT_EQ(sent.outcome.transferred, 0u);
}

// --- INQUIRY --------------------------------------------------------------------

TEST(VirtualDriveInquiryTest, DefaultDataHasEveryFieldAtItsPlace) {
    VirtualDrive drive;
    Sent sent = Inquiry(drive);
    ExpectGood(sent);
    ASSERT_EQ(sent.outcome.transferred, 96u);
    EXPECT_EQ(sent.data[0], 0x05);
    EXPECT_EQ(sent.data[1], 0x80);
    EXPECT_EQ(sent.data[3], 0x02);
    EXPECT_EQ(sent.data[4], 91);
    EXPECT_EQ(sent.text(8, 8), "KORV    ");
    EXPECT_EQ(sent.text(16, 16), "LMX-5560P/D     ");
    EXPECT_EQ(sent.text(32, 4), "1.05");
    EXPECT_EQ(sent.data[36], ' ');
    EXPECT_EQ(sent.text(37, 10), "2003/12/03");
    for (std::size_t i = 47; i < 96; ++i) EXPECT_EQ(sent.data[i], 0) << "byte " << i;
}

TEST(VirtualDriveInquiryTest, ConfiguredIdentityIsAnsweredAsGiven) {
    struct Case {
        std::uint8_t type;
        std::string product;
        std::string date;
        char suffix;
    };
    const Case cases[] = {
        {0x00, "LMX-5560P       ", "2004/01/20", ' '},
        {0x04, "DVD-RW  QZM-450 ", "03/12/03", 'A'},
        {0x25, "DVD-RW  QZM-450 ", "04/02/29", ' '},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.product + " " + c.date);
        VirtualDriveConfig config;
        config.identity.deviceType = c.type;
        config.identity.product = c.product;
        config.identity.date = c.date;
        config.identity.revisionSuffix = std::string(1, c.suffix);
        VirtualDrive drive(config);
        Sent sent = Inquiry(drive);
        EXPECT_EQ(sent.data[0], c.type);
        EXPECT_EQ(sent.text(16, 16), c.product);
        EXPECT_EQ(sent.data[36], static_cast<std::uint8_t>(c.suffix));
        EXPECT_EQ(sent.text(37, c.date.size()), c.date);
        // The short form ends where it ends: nothing of a long form follows.
        EXPECT_EQ(sent.data[37 + c.date.size()], 0);
    }
}

TEST(VirtualDriveInquiryTest, TransfersNoMoreThanAllocationAndRoom) {
    struct Case {
        std::uint8_t allocation;
        std::uint32_t room;
        std::uint32_t expected;
    };
    const Case cases[] = {{0x60, 96, 96}, {36, 96, 36}, {0, 96, 0}, {0xFF, 128, 96}, {0x60, 40, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "allocation " << int(c.allocation) << " room " << c.room);
        VirtualDrive drive;
        Sent sent = Inquiry(drive, c.allocation, c.room);
        ExpectGood(sent);
        EXPECT_EQ(sent.outcome.transferred, c.expected);
        for (std::size_t i = c.expected; i < sent.data.size(); ++i) {
            ASSERT_EQ(sent.data[i], kUntouched) << "byte " << i << " written past the transfer";
        }
    }
}

TEST(VirtualDriveInquiryTest, TextsAreWrittenExactlyWithinTheirFields) {
    VirtualDriveConfig config;
    config.identity.vendor = "KORV";                  // unpadded: the rest stays 00h
    config.identity.product = "LMX-5560P/D-EXTENDED";  // too long: cut at 16
    VirtualDrive drive(config);
    Sent sent = Inquiry(drive);
    EXPECT_EQ(sent.text(8, 8), std::string("KORV\0\0\0\0", 8));
    EXPECT_EQ(sent.text(16, 16), "LMX-5560P/D-EXTE");
    EXPECT_EQ(sent.text(32, 4), "1.05");
}

TEST(VirtualDriveInquiryTest, RawInquiryReplacesTheFields) {
    VirtualDriveConfig config;
    config.identity.rawInquiry = std::vector<std::uint8_t>{0x1F, 0x00, 0x00, 0x02, 0x1F, 'X'};
    VirtualDrive drive(config);
    Sent sent = Inquiry(drive);
    ASSERT_EQ(sent.outcome.transferred, 96u);
    EXPECT_EQ(sent.data[0], 0x1F);
    EXPECT_EQ(sent.data[5], 'X');
    for (std::size_t i = 6; i < 96; ++i) EXPECT_EQ(sent.data[i], 0) << "byte " << i;
}

TEST(VirtualDriveInquiryTest, IdentityChangedAfterDiscoveryIsAnsweredNext) {
    VirtualDrive drive;
    EXPECT_EQ(Inquiry(drive).text(16, 16), "LMX-5560P/D     ");
    EXPECT_EQ(DriveInfo(drive).text(32, 8), "KORV    ");
    drive.config().identity.product = PadField("LMX-5560P", 16);
    drive.config().identity.normalVendorCode = PadField("", 8);
    EXPECT_EQ(Inquiry(drive).text(16, 16), "LMX-5560P       ");
    EXPECT_EQ(DriveInfo(drive).text(32, 8), "        ");
}

TEST(VirtualDriveInquiryTest, VitalProductDataIsRefused) {
    VirtualDrive drive;
    ExpectRefused(Send(drive, {0x12, 0x01, 0x80, 0, 0x60, 0}, DataDirection::In, 96),
                  kSenseInvalidField);
    ExpectRefused(Send(drive, {0x12, 0x00, 0x80, 0, 0x60, 0}, DataDirection::In, 96),
                  kSenseInvalidField);
}

// --- READ BUFFER -------------------------------------------------------------------

TEST(VirtualDriveReadBufferTest, InformationBlockHasTheCodesAtTheirPlaces) {
    VirtualDriveConfig config;
    config.identity.hardwareRevision = "HWREV-07";
    config.identity.kernelVendorCode = "KORV    ";
    config.identity.normalVendorCode = "        ";
    VirtualDrive drive(config);
    Sent sent = Send(drive, {0x3C, 0x02, 0xF1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x30, 0x00},
                     DataDirection::In, 64);
    ExpectGood(sent);
    ASSERT_EQ(sent.outcome.transferred, 48u);
    EXPECT_EQ(sent.text(16, 8), "HWREV-07");
    EXPECT_EQ(sent.text(24, 8), "KORV    ");
    EXPECT_EQ(sent.text(32, 8), "        ");
    for (std::size_t i : {0u, 15u, 40u, 47u}) EXPECT_EQ(sent.data[i], 0) << "byte " << i;
    EXPECT_EQ(sent.data[48], kUntouched);
}

TEST(VirtualDriveReadBufferTest, OffsetAndLengthSelectPartOfTheBlock) {
    struct Case {
        std::uint32_t offset;
        std::uint16_t length;
        std::uint32_t expected;
        std::string text;
    };
    const Case cases[] = {
        {24, 8, 8, "KORV    "},
        {32, 48, 16, "KORV    "},  // runs past the end: only what the block holds
        {48, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " length " << c.length);
        VirtualDrive drive;
        Sent sent = ReadBuffer(drive, 0x02, 0xF1, c.offset, c.length);
        ExpectGood(sent);
        EXPECT_EQ(sent.outcome.transferred, c.expected);
        EXPECT_EQ(sent.text(0, c.text.size()), c.text);
    }
    VirtualDrive drive;
    ExpectRefused(ReadBuffer(drive, 0x02, 0xF1, 48, 1), kSenseInvalidField);
    ExpectRefused(ReadBuffer(drive, 0x02, 0xF1, 0x010000, 48), kSenseInvalidField);
}

TEST(VirtualDriveReadBufferTest, RawBlockReplacesTheCodes) {
    VirtualDriveConfig config;
    config.identity.rawDriveInfo = std::vector<std::uint8_t>(40, 'Z');
    VirtualDrive drive(config);
    Sent sent = DriveInfo(drive);
    ASSERT_EQ(sent.outcome.transferred, 48u);
    EXPECT_EQ(sent.text(32, 8), "ZZZZZZZZ");
    EXPECT_EQ(sent.data[40], 0);
}

TEST(VirtualDriveReadBufferTest, OtherBuffersAreRefusedUnlessConfigured) {
    const std::pair<std::uint8_t, std::uint8_t> others[] = {{0x03, 0xF1}, {0x02, 0xF0}, {0x00, 0x00},
                                                            {0x22, 0xF1}};
    for (auto [mode, id] : others) {
        SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " id " << int(id));
        VirtualDrive plain;
        ExpectRefused(ReadBuffer(plain, mode, id, 0, 48), kSenseInvalidField);

        VirtualDriveConfig config;
        config.readBuffers[{mode, id}] = {0x00, 0x00, 0x10, 0x00};
        VirtualDrive configured(config);
        Sent sent = ReadBuffer(configured, mode, id, 0, 48);
        ExpectGood(sent);
        EXPECT_EQ(sent.outcome.transferred, 4u);
        EXPECT_EQ(sent.data[2], 0x10);
    }
}

// --- Medium ----------------------------------------------------------------------------

TEST(VirtualDriveMediumTest, TestUnitReadyAnswersTheMediumState) {
    struct Case {
        MediumState medium;
        bool good;
        SenseCode sense;
    };
    const Case cases[] = {
        {MediumState::NoDisc, false, kSenseMediumNotPresent},
        {MediumState::Loaded, true, {}},
        {MediumState::BecomingReady, false, kSenseBecomingReady},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.medium));
        VirtualDriveConfig config;
        config.medium = c.medium;
        VirtualDrive drive(config);
        Sent sent = TestUnitReady(drive);
        if (c.good) {
            ExpectGood(sent);
        } else {
            ExpectRefused(sent, c.sense);
        }
        // Neither INQUIRY nor the information block need a disc.
        ExpectGood(Inquiry(drive));
        ExpectGood(DriveInfo(drive));
    }
}

TEST(VirtualDriveMediumTest, BecomesReadyAfterItsTimeFromWhenTheStateBegan) {
    VirtualDriveConfig config;
    config.medium = MediumState::NoDisc;
    config.becomingReadyMs = 3000;
    VirtualDrive drive(config);
    drive.setMedium(MediumState::BecomingReady, 10000);
    ExpectRefused(TestUnitReady(drive, 10000), kSenseBecomingReady);
    ExpectRefused(TestUnitReady(drive, 12999), kSenseBecomingReady);
    ExpectGood(TestUnitReady(drive, 13000));
    EXPECT_EQ(drive.medium(), MediumState::Loaded);
}

TEST(VirtualDriveMediumTest, BecomesReadyAfterItsNumberOfTestUnitReadys) {
    VirtualDriveConfig config;
    config.medium = MediumState::BecomingReady;
    config.becomingReadyMs.reset();
    config.becomingReadyCommands = 2;
    VirtualDrive drive(config);
    ExpectRefused(TestUnitReady(drive, 100000), kSenseBecomingReady);
    ExpectGood(Inquiry(drive));  // other commands do not count
    ExpectRefused(TestUnitReady(drive, 200000), kSenseBecomingReady);
    ExpectGood(TestUnitReady(drive, 200001));
}

TEST(VirtualDriveMediumTest, WithoutALimitItNeverGetsReady) {
    VirtualDriveConfig config;
    config.medium = MediumState::BecomingReady;
    config.becomingReadyMs.reset();
    VirtualDrive drive(config);
    for (std::uint64_t t : {0ull, 60000ull, 3600000ull}) {
        ExpectRefused(TestUnitReady(drive, t), kSenseBecomingReady);
    }
}

TEST(VirtualDriveMediumTest, UnitAttentionIsReportedOnceAndNotToInquiry) {
    for (SenseCode attention : {kSenseMediumChanged, kSensePowerOnReset}) {
        SCOPED_TRACE(int(attention.asc));
        VirtualDriveConfig config;
        config.unitAttention = attention;
        VirtualDrive drive(config);
        ExpectGood(Inquiry(drive));
        ExpectGood(Inquiry(drive));
        // The command that meets the attention is not carried out.
        Sent first = DriveInfo(drive);
        ExpectRefused(first, attention);
        EXPECT_EQ(first.data[24], kUntouched);
        EXPECT_FALSE(drive.pendingUnitAttention().has_value());
        ExpectGood(DriveInfo(drive));
        ExpectGood(TestUnitReady(drive));
    }
}

TEST(VirtualDriveMediumTest, UnitAttentionComesBeforeAnUnknownOpcodeOrAMissingDisc) {
    VirtualDriveConfig config;
    config.medium = MediumState::NoDisc;
    config.unitAttention = kSenseMediumChanged;
    VirtualDrive drive(config);
    ExpectRefused(Send(drive, {0xA9, 0, 0, 0, 0, 0}, DataDirection::None, 0), kSenseMediumChanged);
    ExpectRefused(TestUnitReady(drive), kSenseMediumNotPresent);
}

TEST(VirtualDriveMediumTest, StartStopUnitStopsEjectsAndStarts) {
    struct Case {
        const char* name;
        MediumState before;
        std::uint8_t byte4;
        bool good;
        MediumState after;
        bool stopped;
    };
    const Case cases[] = {
        {"stop keeps the disc", MediumState::Loaded, 0x00, true, MediumState::Loaded, true},
        {"stop while spinning up", MediumState::BecomingReady, 0x00, true, MediumState::Loaded, true},
        {"stop without a disc", MediumState::NoDisc, 0x00, true, MediumState::NoDisc, false},
        {"eject", MediumState::Loaded, 0x02, true, MediumState::NoDisc, false},
        {"eject without a disc", MediumState::NoDisc, 0x02, true, MediumState::NoDisc, false},
        {"start", MediumState::Loaded, 0x01, true, MediumState::Loaded, false},
        {"start without a disc", MediumState::NoDisc, 0x01, false, MediumState::NoDisc, false},
        {"power condition ignores stop", MediumState::Loaded, 0x30, true, MediumState::Loaded, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualDriveConfig config;
        config.medium = c.before;
        VirtualDrive drive(config);
        Sent sent = StartStop(drive, c.byte4);
        if (c.good) {
            ExpectGood(sent);
        } else {
            ExpectRefused(sent, kSenseMediumNotPresent);
        }
        EXPECT_EQ(drive.medium(), c.after);
        EXPECT_EQ(drive.spindleStopped(), c.stopped);
    }
}

TEST(VirtualDriveMediumTest, StoppedDiscIsStillReadyAndEjectedOneIsGone) {
    VirtualDrive drive;
    ExpectGood(StartStop(drive, 0x00));
    ExpectGood(TestUnitReady(drive));
    ExpectGood(StartStop(drive, 0x01));
    EXPECT_FALSE(drive.spindleStopped());
    ExpectGood(StartStop(drive, 0x02));
    ExpectRefused(TestUnitReady(drive), kSenseMediumNotPresent);
}

// --- Other commands -------------------------------------------------------------------

TEST(VirtualDriveCommandTest, UnknownOpcodesAreRefused) {
    for (std::uint8_t opcode : {0x03, 0x25, 0x28, 0x5A, 0xFF}) {
        SCOPED_TRACE(int(opcode));
        VirtualDrive drive;
        ExpectRefused(Send(drive, {opcode, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDirection::In, 16),
                      kSenseInvalidOpcode);
    }
}

TEST(VirtualDriveCommandTest, WriteBufferIsRefusedAndLogged) {
    VirtualDrive drive;
    std::vector<std::uint8_t> block = {0xDE, 0xAD, 0xBE, 0xEF};
    ScsiCommand command;
    command.cdb = {0x3B, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00};
    command.direction = DataDirection::Out;
    command.data = block.data();
    command.length = 4;
    Sent sent;
    sent.outcome = drive.execute(command, 5);
    ExpectRefused(sent, kSenseInvalidField);
    ExpectRefused(Send(drive, {0x3B, 0x01, 0xF0, 0, 0, 0, 0, 0, 0, 0}, DataDirection::None, 0),
                  kSenseInvalidField);
    ASSERT_EQ(drive.log().size(), 2u);
    EXPECT_EQ(drive.log()[0].dataOut, block);
    EXPECT_TRUE(drive.log()[1].dataOut.empty());
    EXPECT_EQ(drive.firmwareMode(), FirmwareMode::Normal);
}

// --- Faults ------------------------------------------------------------------------------

enum class Cmd { Inquiry, Tur, Info, OtherBuffer };

struct Expect {
    std::uint8_t status;
    SenseCode sense;
    bool carriedOut;  // data moved / the command had its effect
};

constexpr Expect kOk{kStatusGood, {}, true};
constexpr Expect kInvalid{kStatusCheckCondition, {0x05, 0x24, 0x00}, false};
constexpr Expect kHardware{kStatusCheckCondition, {0x04, 0x44, 0x00}, false};

struct FaultCase {
    const char* name;
    std::vector<FaultRule> rules;
    std::vector<std::pair<Cmd, Expect>> steps;
};

FaultRule Rule(std::optional<std::uint8_t> opcode, SenseCode sense) {
    FaultRule rule;
    rule.opcode = opcode;
    rule.sense = sense;
    return rule;
}

FaultRule Nth(FaultRule rule, std::uint32_t nth, FaultRule::Count over = FaultRule::Count::Matching) {
    rule.nth = nth;
    rule.countOver = over;
    return rule;
}

FaultRule Once(FaultRule rule) {
    rule.once = true;
    return rule;
}

FaultRule ForBuffer(FaultRule rule, std::uint8_t mode, std::uint8_t id) {
    rule.mode = mode;
    rule.bufferId = id;
    return rule;
}

Sent SendStep(VirtualDrive& drive, Cmd cmd) {
    switch (cmd) {
    case Cmd::Inquiry: return Inquiry(drive);
    case Cmd::Tur: return TestUnitReady(drive);
    case Cmd::Info: return DriveInfo(drive);
    case Cmd::OtherBuffer: return ReadBuffer(drive, 0x02, 0xF0, 0, 4);
    }
    return {};
}

TEST(VirtualDriveFaultTest, RulesFireOnTheCommandsTheyMatch) {
    const SenseCode invalid{0x05, 0x24, 0x00};
    const SenseCode hardware{0x04, 0x44, 0x00};
    const FaultCase cases[] = {
        {"always on its opcode",
         {Rule(0x12, invalid)},
         {{Cmd::Inquiry, kInvalid}, {Cmd::Tur, kOk}, {Cmd::Inquiry, kInvalid}}},
        {"once",
         {Once(Rule(0x12, hardware))},
         {{Cmd::Tur, kOk}, {Cmd::Inquiry, kHardware}, {Cmd::Inquiry, kOk}}},
        {"mode and buffer id",
         {ForBuffer(Rule(0x3C, hardware), 0x02, 0xF1)},
         {{Cmd::OtherBuffer, kOk}, {Cmd::Info, kHardware}, {Cmd::Inquiry, kOk}}},
        {"another mode of the same buffer",
         {ForBuffer(Rule(0x3C, hardware), 0x03, 0xF1)},
         {{Cmd::Info, kOk}}},
        {"n-th of its opcode",
         {Nth(Rule(0x12, invalid), 2)},
         {{Cmd::Inquiry, kOk}, {Cmd::Tur, kOk}, {Cmd::Inquiry, kInvalid}, {Cmd::Inquiry, kOk}}},
        {"n-th of all commands, any opcode",
         {Nth(Rule(std::nullopt, hardware), 3, FaultRule::Count::AllCommands)},
         {{Cmd::Inquiry, kOk}, {Cmd::Inquiry, kOk}, {Cmd::Tur, kHardware}, {Cmd::Tur, kOk}}},
        {"n-th of all commands when that one has another opcode",
         {Nth(Rule(0x12, hardware), 2, FaultRule::Count::AllCommands)},
         {{Cmd::Inquiry, kOk}, {Cmd::Tur, kOk}, {Cmd::Inquiry, kOk}}},
        {"n-th counts commands another rule refused",
         {Once(Rule(0x12, hardware)), Nth(Rule(0x12, invalid), 2)},
         {{Cmd::Inquiry, kHardware}, {Cmd::Inquiry, kInvalid}, {Cmd::Inquiry, kOk}}},
        {"first rule in the list wins",
         {Rule(0x00, hardware), Rule(0x00, invalid)},
         {{Cmd::Tur, kHardware}}},
        {"a spent rule leaves the next one",
         {Once(Rule(0x00, hardware)), Rule(0x00, invalid)},
         {{Cmd::Tur, kHardware}, {Cmd::Tur, kInvalid}}},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualDriveConfig config;
        config.faults = c.rules;
        config.readBuffers[{0x02, 0xF0}] = {1, 2, 3, 4};
        VirtualDrive drive(config);
        int step = 0;
        for (const auto& [cmd, expect] : c.steps) {
            SCOPED_TRACE(testing::Message() << "step " << ++step);
            Sent sent = SendStep(drive, cmd);
            EXPECT_EQ(sent.outcome.status, expect.status);
            EXPECT_EQ(sent.sense(), expect.sense);
            if (cmd != Cmd::Tur) {
                EXPECT_EQ(sent.outcome.transferred != 0, expect.carriedOut);
            }
        }
    }
}

TEST(VirtualDriveFaultTest, StatusAloneComesWithoutSense) {
    VirtualDriveConfig config;
    FaultRule busy;
    busy.opcode = 0x12;
    busy.status = kStatusBusy;
    config.faults = {busy};
    VirtualDrive drive(config);
    Sent sent = Inquiry(drive);
    EXPECT_EQ(sent.outcome.status, kStatusBusy);
    EXPECT_TRUE(sent.outcome.sense.empty());
    EXPECT_EQ(sent.outcome.transferred, 0u);
    EXPECT_EQ(sent.data[0], kUntouched);
}

TEST(VirtualDriveFaultTest, DurationAloneLetsTheCommandRun) {
    VirtualDriveConfig config;
    FaultRule slow;
    slow.opcode = 0x3C;
    slow.durationMs = 30000;
    config.faults = {slow};
    VirtualDrive drive(config);
    Sent sent = DriveInfo(drive);
    ExpectGood(sent);
    EXPECT_EQ(sent.outcome.transferred, 48u);
    EXPECT_EQ(sent.outcome.durationMs, 30000u);
    EXPECT_EQ(Inquiry(drive).outcome.durationMs, 2u);
}

TEST(VirtualDriveFaultTest, RefusedOrHungCommandsChangeNothing) {
    struct Case {
        const char* name;
        FaultRule rule;
    };
    FaultRule hang;
    hang.neverCompletes = true;
    const Case cases[] = {{"refused", Rule(std::nullopt, {0x04, 0x44, 0x00})}, {"hung", hang}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualDriveConfig config;
        config.unitAttention = kSensePowerOnReset;
        config.faults = {Once(c.rule)};
        VirtualDrive drive(config);
        Sent sent = StartStop(drive, 0x02);
        EXPECT_EQ(sent.outcome.neverCompletes, c.rule.neverCompletes);
        EXPECT_EQ(drive.medium(), MediumState::Loaded);
        EXPECT_TRUE(drive.pendingUnitAttention().has_value());
        ExpectRefused(TestUnitReady(drive), kSensePowerOnReset);
    }
}

TEST(VirtualDriveFaultTest, HungCommandMovesNoData) {
    VirtualDriveConfig config;
    FaultRule hang;
    hang.opcode = 0x12;
    hang.neverCompletes = true;
    config.faults = {hang};
    VirtualDrive drive(config);
    Sent sent = Inquiry(drive);
    EXPECT_TRUE(sent.outcome.neverCompletes);
    EXPECT_EQ(sent.outcome.transferred, 0u);
    EXPECT_EQ(sent.data[0], kUntouched);
    EXPECT_FALSE(TestUnitReady(drive).outcome.neverCompletes);
}

TEST(VirtualDriveFaultTest, FaultsAddedLaterAndClearedApply) {
    VirtualDrive drive;
    ExpectGood(Inquiry(drive));
    drive.addFault(Nth(Rule(0x12, {0x04, 0x44, 0x00}), 2));
    // Counting starts when the rule is added.
    ExpectGood(Inquiry(drive));
    ExpectRefused(Inquiry(drive), {0x04, 0x44, 0x00});
    drive.addFault(Rule(0x00, {0x04, 0x44, 0x00}));
    drive.clearFaults();
    ExpectGood(TestUnitReady(drive));
}

// --- Log and timing ------------------------------------------------------------------------

TEST(VirtualDriveLogTest, RecordsEveryCommandWithItsAnswer) {
    VirtualDriveConfig config;
    config.faults = {Nth(Rule(0x00, {0x02, 0x3A, 0x00}), 1)};
    VirtualDrive drive(config);
    Inquiry(drive, 0x24, 96);
    Send(drive, {0x00, 0, 0, 0, 0, 0}, DataDirection::None, 0, 250);
    DriveInfo(drive);

    ASSERT_EQ(drive.log().size(), 3u);
    EXPECT_EQ(drive.commandCount(), 3u);
    const CommandRecord& inquiry = drive.log()[0];
    EXPECT_EQ(inquiry.opcode(), 0x12);
    EXPECT_EQ(inquiry.cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 0x24, 0}));
    EXPECT_EQ(inquiry.direction, DataDirection::In);
    EXPECT_EQ(inquiry.length, 96u);
    EXPECT_EQ(inquiry.outcome.transferred, 36u);
    EXPECT_EQ(inquiry.faultRule, -1);

    const CommandRecord& tur = drive.log()[1];
    EXPECT_EQ(tur.atMs, 250u);
    EXPECT_EQ(tur.outcome.status, kStatusCheckCondition);
    EXPECT_EQ(tur.sense(), kSenseMediumNotPresent);
    EXPECT_EQ(tur.faultRule, 0);

    EXPECT_EQ(drive.log()[2].cdb,
              (std::vector<std::uint8_t>{0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, 0x30, 0}));
    EXPECT_EQ(drive.log()[2].outcome.transferred, 48u);

    drive.clearLog();
    EXPECT_TRUE(drive.log().empty());
    EXPECT_EQ(drive.commandCount(), 3u);
}

TEST(VirtualDriveLogTest, DurationsFollowTheTiming) {
    VirtualDriveConfig config;
    config.timing.commandMs = 3;
    config.timing.opcodeMs[0x1B] = 1500;
    VirtualDrive drive(config);
    EXPECT_EQ(TestUnitReady(drive).outcome.durationMs, 3u);
    EXPECT_EQ(StartStop(drive, 0x00).outcome.durationMs, 1500u);
    // A refusal takes the time of its command too.
    EXPECT_EQ(Send(drive, {0x25, 0, 0, 0, 0, 0}, DataDirection::None, 0).outcome.durationMs, 3u);
}

TEST(VirtualDriveLogTest, PadFieldPadsAndCuts) {
    EXPECT_EQ(PadField("KORV", 8), "KORV    ");
    EXPECT_EQ(PadField("", 4), "    ");
    EXPECT_EQ(PadField("LMX-5560P/D-EXTENDED", 16), "LMX-5560P/D-EXTE");
}

}  // namespace
}  // namespace kambio::sim
