// The JSON description of a virtual drive: what each key makes the drive
// answer, and errors that name the key at fault.
#include "virtual_drive_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kambio::sim {
namespace {

using nlohmann::json;

std::vector<std::uint8_t> Answer(VirtualDrive& drive, std::vector<std::uint8_t> cdb, std::uint32_t room,
                                 ScsiOutcome* outcome = nullptr) {
    std::vector<std::uint8_t> data(room, 0xCC);
    ScsiCommand command;
    command.cdb = std::move(cdb);
    command.direction = room != 0 ? DataDirection::In : DataDirection::None;
    command.data = room != 0 ? data.data() : nullptr;
    command.length = room;
    ScsiOutcome result = drive.execute(command, 0);
    if (outcome != nullptr) *outcome = result;
    data.resize(result.transferred);
    return data;
}

std::vector<std::uint8_t> InquiryOf(VirtualDrive& drive) {
    return Answer(drive, {0x12, 0, 0, 0, 0x60, 0}, 96);
}

std::vector<std::uint8_t> InfoOf(VirtualDrive& drive) {
    return Answer(drive, {0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, 0x30, 0}, 48);
}

std::string Text(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t count) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
}

// The example of docs/virtual-drive.md.
const char* const kExample = R"({
  "type": "0x05",
  "vendor": "KORV",
  "product": "LMX-5560P/D",
  "revision": "1.05",
  "revisionSuffix": " ",
  "date": "2003/12/03",
  "hardwareRevision": "HW 1.00",
  "kernelVendorCode": "KORV",
  "normalVendorCode": "KORV",
  "medium": "loaded",
  "timing": { "commandMs": 2, "opcodeMs": { "0x1B": 1500 } },
  "faults": [
    { "opcode": "0x12", "nth": 2, "sense": "05/24/00" },
    { "opcode": "0x3C", "mode": 2, "bufferId": "0xF1", "durationMs": 30000, "once": true }
  ]
})";

TEST(VirtualDriveLoaderTest, ExampleDriveAnswersAsDescribed) {
    auto drive = LoadVirtualDrive(json::parse(kExample));
    ASSERT_NE(drive, nullptr);

    std::vector<std::uint8_t> inquiry = InquiryOf(*drive);
    ASSERT_EQ(inquiry.size(), 96u);
    EXPECT_EQ(inquiry[0], 0x05);
    EXPECT_EQ(Text(inquiry, 8, 8), "KORV    ");
    EXPECT_EQ(Text(inquiry, 16, 16), "LMX-5560P/D     ");
    EXPECT_EQ(Text(inquiry, 32, 4), "1.05");
    EXPECT_EQ(Text(inquiry, 36, 11), " 2003/12/03");

    ScsiOutcome slow;
    std::vector<std::uint8_t> info = Answer(*drive, {0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, 0x30, 0}, 48, &slow);
    ASSERT_EQ(info.size(), 48u);
    EXPECT_EQ(slow.durationMs, 30000u);
    EXPECT_EQ(Text(info, 16, 24), "HW 1.00 KORV    KORV    ");
    EXPECT_EQ(InfoOf(*drive).size(), 48u);

    ScsiOutcome second;
    EXPECT_TRUE(Answer(*drive, {0x12, 0, 0, 0, 0x60, 0}, 96, &second).empty());
    EXPECT_EQ(second.status, kStatusCheckCondition);

    ScsiOutcome stop;
    Answer(*drive, {0x1B, 0, 0, 0, 0, 0}, 0, &stop);
    EXPECT_EQ(stop.durationMs, 1500u);
    EXPECT_EQ(drive->medium(), MediumState::Loaded);
}

TEST(VirtualDriveLoaderTest, EmptyObjectIsTheDefaultDrive) {
    auto loaded = LoadVirtualDrive(json::object());
    VirtualDrive plain;
    EXPECT_EQ(InquiryOf(*loaded), InquiryOf(plain));
    EXPECT_EQ(InfoOf(*loaded), InfoOf(plain));
    EXPECT_EQ(loaded->medium(), plain.medium());
}

TEST(VirtualDriveLoaderTest, TextsArePaddedUnlessGivenRaw) {
    struct Case {
        const char* json;
        std::size_t at;
        std::string expected;
        bool inInquiry;
    };
    const Case cases[] = {
        {R"({"vendor": "KORV"})", 8, "KORV    ", true},
        {R"({"vendorRaw": "KORV"})", 8, std::string("KORV\0\0\0\0", 8), true},
        {R"({"productRaw": "LMX-5560P/D     X"})", 16, "LMX-5560P/D     ", true},
        {R"({"productRaw": [76, 77, 88, 0, "0x81", "0x40"]})", 16,
         std::string("LMX\0\x81\x40\0\0\0\0\0\0\0\0\0\0", 16), true},
        {R"({"revision": "1"})", 32, "1   ", true},
        {R"({"revisionSuffixRaw": ""})", 36, std::string(1, '\0'), true},
        {R"({"normalVendorCode": ""})", 32, "        ", false},
        {R"({"kernelVendorCodeRaw": "KO\u0000RV"})", 24, std::string("KO\0RV\0\0\0", 8), false},
        {R"({"hardwareRevisionRaw": "00 41 42"})", 16, std::string("00 41 42", 8), false},
        {R"({"hardwareRevisionRaw": ["0x00", "0x41"]})", 16, std::string("\0A\0\0\0\0\0\0", 8), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        auto drive = LoadVirtualDrive(json::parse(c.json));
        std::vector<std::uint8_t> bytes = c.inInquiry ? InquiryOf(*drive) : InfoOf(*drive);
        EXPECT_EQ(Text(bytes, c.at, c.expected.size()), c.expected);
    }
}

TEST(VirtualDriveLoaderTest, ByteFieldsAndRawBlocks) {
    auto drive = LoadVirtualDrive(json::parse(R"({
        "type": 37, "removable": "0x00", "version": "0x05", "additionalLength": 31,
        "driveInfoRaw": "01 02 03",
        "readBuffers": [ { "mode": "0x03", "bufferId": "0xF1", "data": [0, 0, "0x10", 0] } ]
    })"));
    std::vector<std::uint8_t> inquiry = InquiryOf(*drive);
    EXPECT_EQ(std::vector<std::uint8_t>(inquiry.begin(), inquiry.begin() + 5),
              (std::vector<std::uint8_t>{0x25, 0x00, 0x05, 0x02, 31}));
    std::vector<std::uint8_t> info = InfoOf(*drive);
    ASSERT_EQ(info.size(), 48u);
    EXPECT_EQ(info[2], 0x03);
    EXPECT_EQ(info[32], 0x00);
    EXPECT_EQ(Answer(*drive, {0x3C, 0x03, 0xF1, 0, 0, 0, 0, 0, 4, 0}, 4),
              (std::vector<std::uint8_t>{0, 0, 0x10, 0}));

    auto raw = LoadVirtualDrive(json::parse(R"({"inquiryRaw": "1f 00 00 02", "product": "IGNORED"})"));
    std::vector<std::uint8_t> rawInquiry = InquiryOf(*raw);
    EXPECT_EQ(rawInquiry[0], 0x1F);
    EXPECT_EQ(rawInquiry[16], 0x00);
}

TEST(VirtualDriveLoaderTest, MediumKeysSetTheStartingState) {
    struct Case {
        const char* json;
        MediumState medium;
        std::optional<SenseCode> attention;
    };
    const Case cases[] = {
        {R"({"medium": "none"})", MediumState::NoDisc, std::nullopt},
        {R"({"medium": "loaded"})", MediumState::Loaded, std::nullopt},
        {R"({"medium": "becoming-ready"})", MediumState::BecomingReady, std::nullopt},
        {R"({"medium": "unit-attention"})", MediumState::Loaded, kSenseMediumChanged},
        {R"({"medium": "unit-attention", "unitAttention": "06/29/00"})", MediumState::Loaded,
         kSensePowerOnReset},
        {R"({"medium": "none", "unitAttention": "06/28/00"})", MediumState::NoDisc, kSenseMediumChanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        auto drive = LoadVirtualDrive(json::parse(c.json));
        EXPECT_EQ(drive->medium(), c.medium);
        EXPECT_EQ(drive->pendingUnitAttention(), c.attention);
    }
}

TEST(VirtualDriveLoaderTest, BecomingReadyLimits) {
    VirtualDriveConfig byCount = LoadVirtualDriveConfig(
        json::parse(R"({"medium": "becoming-ready", "becomingReadyMs": null, "becomingReadyCommands": 3})"));
    EXPECT_FALSE(byCount.becomingReadyMs.has_value());
    EXPECT_EQ(byCount.becomingReadyCommands, 3u);

    VirtualDriveConfig byTime = LoadVirtualDriveConfig(json::parse(R"({"becomingReadyMs": 7500})"));
    EXPECT_EQ(byTime.becomingReadyMs, 7500u);
    EXPECT_FALSE(byTime.becomingReadyCommands.has_value());
}

TEST(VirtualDriveLoaderTest, FaultKeysBuildTheirRules) {
    VirtualDriveConfig config = LoadVirtualDriveConfig(json::parse(R"({"faults": [
        { "nth": 3, "countOver": "all", "status": "0x08" },
        { "opcode": "0x3B", "mode": "0x05", "bufferId": 0, "neverCompletes": true, "once": true },
        { "opcode": "0x00", "sense": "02/3a/00", "durationMs": 40 }
    ]})"));
    ASSERT_EQ(config.faults.size(), 3u);

    const FaultRule& busy = config.faults[0];
    EXPECT_FALSE(busy.opcode.has_value());
    EXPECT_EQ(busy.nth, 3u);
    EXPECT_EQ(busy.countOver, FaultRule::Count::AllCommands);
    EXPECT_EQ(busy.status, 0x08);
    EXPECT_FALSE(busy.sense.has_value());

    const FaultRule& hang = config.faults[1];
    EXPECT_EQ(hang.opcode, 0x3B);
    EXPECT_EQ(hang.mode, 0x05);
    EXPECT_EQ(hang.bufferId, 0x00);
    EXPECT_TRUE(hang.neverCompletes);
    EXPECT_TRUE(hang.once);
    EXPECT_EQ(hang.nth, 0u);

    const FaultRule& noDisc = config.faults[2];
    EXPECT_EQ(noDisc.sense, (SenseCode{0x02, 0x3A, 0x00}));
    EXPECT_EQ(noDisc.durationMs, 40u);
    EXPECT_FALSE(noDisc.once);
    EXPECT_EQ(noDisc.countOver, FaultRule::Count::Matching);
}

TEST(VirtualDriveLoaderTest, ErrorsNameTheKey) {
    struct Case {
        const char* json;
        const char* named;
    };
    const Case cases[] = {
        {R"([])", "the drive"},
        {R"({"prodcut": "LMX-5560P"})", "\"prodcut\""},
        {R"({"vendor": "KORVKORVK"})", "\"vendor\""},
        {R"({"vendor": 5})", "\"vendor\""},
        {R"({"product": "LMX", "productRaw": "LMX"})", "\"productRaw\""},
        {R"({"productRaw": [76, 256]})", "\"productRaw\"[1]"},
        {R"({"type": "5"})", "\"type\""},
        {R"({"type": 256})", "\"type\""},
        {R"({"type": -1})", "\"type\""},
        {R"({"type": "0xZ5"})", "\"type\""},
        {R"({"inquiryRaw": "05 8"})", "\"inquiryRaw\""},
        {R"({"driveInfoRaw": "0580"})", "\"driveInfoRaw\""},
        {R"({"medium": "ejected"})", "\"medium\""},
        {R"({"unitAttention": "6/28/0"})", "\"unitAttention\""},
        {R"({"unitAttention": "16/28/00"})", "\"unitAttention\""},
        {R"({"becomingReadyMs": "soon"})", "\"becomingReadyMs\""},
        {R"({"timing": {"commandMs": 2, "perOpcode": {}}})", "\"timing\".\"perOpcode\""},
        {R"({"timing": {"opcodeMs": {"0x1G": 5}}})", "\"timing\".\"opcodeMs\".\"0x1G\""},
        {R"({"readBuffers": [{"mode": 3, "data": []}]})", "\"readBuffers\"[0].\"bufferId\""},
        {R"({"faults": {}})", "\"faults\""},
        {R"({"faults": [{"opcode": "0x12", "sense": "05/24/00"}, {"opcode": "0x12", "sense": "05/24"}]})",
         "\"faults\"[1].\"sense\""},
        {R"({"faults": [{"opcode": "0x12"}]})", "\"faults\"[0]"},
        {R"({"faults": [{"opcode": "0x12", "nth": 0, "status": 8}]})", "\"faults\"[0].\"nth\""},
        {R"({"faults": [{"countOver": "all", "status": 8}]})", "\"faults\"[0].\"countOver\""},
        {R"({"faults": [{"nth": 1, "countOver": "some", "status": 8}]})", "\"faults\"[0].\"countOver\""},
        {R"({"faults": [{"status": 8, "once": "yes"}]})", "\"faults\"[0].\"once\""},
        {R"({"faults": [{"status": 8, "repeat": "always"}]})", "\"faults\"[0].\"repeat\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            LoadVirtualDrive(json::parse(c.json));
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.named, 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace kambio::sim
