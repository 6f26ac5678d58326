// The command builders as the drive sees them: CDB bytes, data phase and the
// time-out actually sent, read from the trace of the simulated PC.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/run_state.h"
#include "commands/drive_info.h"
#include "commands/standard_commands.h"
#include "sim_fixture.h"
#include "transport/platform_setup.h"
#include "transport/target_table.h"
#include "virtual_drive.h"

namespace kambio {
namespace {

using testing::SimTest;

class CommandsTest : public SimTest {
protected:
    void OnPassThrough(DWORD addressError = 0) {
        pc.os = sim::OsVersion{VER_PLATFORM_WIN32_NT, 5, 1, 2600};
        sim::DriveLetter letter;
        letter.device = drive;
        letter.addressError = addressError;
        pc.attachLetter('F', letter);
        DetectPlatform();
        targetTable.entries[0].driveLetter = 'F';
        run.targetCount = 1;
    }
    void OnAspi(const char* adapterName = "AIC78XX") {
        pc.os = sim::OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222};
        pc.aspi.installed = true;
        pc.aspi.addAdapter(adapterName);
        pc.aspi.attach(0, 1, drive);
        DetectPlatform();
        targetTable.entries[0] = TargetDrive{0, 1, 0};
        run.targetCount = 1;
    }
    void TearDown() override {
        TearDownTransport();
        SimTest::TearDown();
    }
    std::string LastScsi() const {
        auto lines = pc.trace.of("scsi");
        return lines.empty() ? "" : lines.back();
    }
    static bool Has(const std::string& line, const std::string& part) {
        return line.find(part) != std::string::npos;
    }

    std::shared_ptr<sim::VirtualDrive> drive = std::make_shared<sim::VirtualDrive>();
    std::uint8_t buffer[0x8000] = {};
};

struct CdbCase {
    const char* what;
    std::int32_t (*send)(std::uint8_t*);
    const char* cdb;
    const char* phase;
};

TEST_F(CommandsTest, EachCommandBuildsItsCdbAndDataPhase) {
    OnPassThrough();
    const CdbCase cases[] = {
        {"TEST UNIT READY", [](std::uint8_t*) { return TestUnitReady(0); }, "cdb=00 00 00 00 00 00 ", "dir=none len=0"},
        {"INQUIRY", [](std::uint8_t* b) { return Inquiry(0, b); }, "cdb=12 00 00 00 60 00 ", "dir=in len=96"},
        {"STOP", [](std::uint8_t*) { return StopUnit(0); }, "cdb=1b 00 00 00 00 00 ", "dir=none len=0"},
        {"READ BUFFER, information block",
         [](std::uint8_t* b) { return ReadBuffer(0, 2, 0xF1, 0, 48, b); },
         "cdb=3c 02 f1 00 00 00 00 00 30 00 ", "dir=in len=48"},
        {"READ BUFFER, big-endian offset and length",
         [](std::uint8_t* b) { return ReadBuffer(0, 1, 0x80, 0x1C000, 0x8000, b); },
         "cdb=3c 01 80 01 c0 00 00 80 00 00 ", "dir=in len=32768"},
        {"WRITE BUFFER, block at 32 KiB",
         [](std::uint8_t* b) { return WriteBuffer(0, 7, 0xF0, 0x8000, 0x8000, b); },
         "cdb=3b 07 f0 00 80 00 00 80 00 00 ", "dir=out len=32768"},
        {"WRITE BUFFER of length 0 has no data phase",
         [](std::uint8_t* b) { return WriteBuffer(0, 1, 0x30, 0, 0, b); },
         "cdb=3b 01 30 00 00 00 00 00 00 00 ", "dir=none len=0"},
    };
    for (const CdbCase& c : cases) {
        c.send(buffer);
        std::string line = LastScsi();
        EXPECT_TRUE(Has(line, c.cdb)) << c.what << ": " << line;
        EXPECT_TRUE(Has(line, c.phase)) << c.what << ": " << line;
    }
}

TEST_F(CommandsTest, InquiryWaitsLessOnceAnIeee1394InterfaceIsKnown) {
    OnAspi();
    CommandTimeout = 7000;
    Inquiry(0, buffer);
    EXPECT_TRUE(Has(LastScsi(), "timeout=5000ms")) << LastScsi();

    transport.Ieee1394Index = 3;  // any adapter, not the target's
    Inquiry(0, buffer);
    EXPECT_TRUE(Has(LastScsi(), "timeout=1000ms")) << LastScsi();
}

TEST_F(CommandsTest, StopUnitLeavesTheDefaultTimeOutForLaterCommands) {
    OnPassThrough();
    CommandTimeout = 5000;
    StopUnit(0);
    EXPECT_EQ(CommandTimeout, 0);
    EXPECT_TRUE(Has(LastScsi(), "timeout=60s")) << LastScsi();
    TestUnitReady(0);
    EXPECT_TRUE(Has(LastScsi(), "timeout=60s")) << LastScsi();
}

TEST_F(CommandsTest, CommandsCarryTheTimeOutInForce) {
    OnPassThrough();
    CommandTimeout = 10000;
    ReadBuffer(0, 2, 0xF1, 0, 48, buffer);
    EXPECT_TRUE(Has(LastScsi(), "timeout=10s")) << LastScsi();
    CommandTimeout = 999;
    TestUnitReady(0);
    EXPECT_TRUE(Has(LastScsi(), "timeout=0s")) << LastScsi();
}

struct WriteTimeoutCase {
    const char* what;
    bool aspi;
    bool onIeee1394;
    std::uint8_t mode;
    const char* timeout;
};

TEST_F(CommandsTest, MicrocodeSaveOnTheIeee1394TargetWaitsForThePortDefault) {
    const WriteTimeoutCase cases[] = {
        {"pass-through, IEEE1394 target, mode 5", false, true, 5, "timeout=60s"},
        {"pass-through, IEEE1394 target, mode 4", false, true, 4, "timeout=10s"},
        {"pass-through, IEEE1394 target, mode 7", false, true, 7, "timeout=10s"},
        {"pass-through, other target, mode 5", false, false, 5, "timeout=10s"},
    };
    for (const WriteTimeoutCase& c : cases) {
        ResetProcessState();
        pc.beginRun();
        OnPassThrough(c.onIeee1394 ? ERROR_NOT_SUPPORTED : 0);
        TestUnitReady(0);  // opening the drive tells whether it sits behind the bridge
        CommandTimeout = 10000;
        WriteBuffer(0, c.mode, 0xFF, 0, 256, buffer);
        EXPECT_TRUE(Has(LastScsi(), c.timeout)) << c.what << ": " << LastScsi();
        TearDownTransport();
    }
}

TEST_F(CommandsTest, AspiNeverDropsTheTimeOutOfAMicrocodeSave) {
    OnAspi("NTMAPHLP");  // adapter 0 is the IEEE1394 bridge, and the target is on it
    ASSERT_EQ(transport.Ieee1394Index, 0);
    CommandTimeout = 10000;
    run.currentIndex = 0;
    WriteBuffer(0, 5, 0xFF, 0, 256, buffer);
    EXPECT_TRUE(Has(LastScsi(), "mode=polled")) << LastScsi();
    EXPECT_FALSE(Has(LastScsi(), "timeout=0")) << LastScsi();
}

TEST_F(CommandsTest, StatusOfTheTransportIsPassedThrough) {
    OnPassThrough();
    sim::FaultRule fault;
    fault.opcode = 0x00;
    fault.sense = sim::SenseCode{0x02, 0x3A, 0x00};
    drive->addFault(fault);
    EXPECT_EQ(TestUnitReady(0), 2);
    EXPECT_EQ(Inquiry(0, buffer), 0);
    EXPECT_EQ(TestUnitReady(1), -1);  // no such target: nothing sent
}

TEST_F(CommandsTest, ReadDriveInfoTellsWhetherTheNormalPartIsBlank) {
    OnPassThrough();
    struct Case {
        const char* normalCode;
        std::int32_t blank;
    };
    for (const Case& c : {Case{"KORV    ", 0}, Case{"        ", 1}, Case{" ORV    ", 1}}) {
        drive->config().identity.normalVendorCode = c.normalCode;
        EXPECT_EQ(ReadDriveInfo(), 0);
        EXPECT_EQ(normalCodeBlank, c.blank) << c.normalCode;
        EXPECT_EQ(std::string(currentTarget.driveInfo.normalVendorCode(), 8), c.normalCode);
    }
    EXPECT_TRUE(Has(LastScsi(), "cdb=3c 02 f1 00 00 00 00 00 30 00 ")) << LastScsi();

    sim::FaultRule fault;
    fault.opcode = 0x3C;
    fault.sense = sim::SenseCode{0x05, 0x24, 0x00};
    drive->addFault(fault);
    EXPECT_NE(ReadDriveInfo(), 0);
    EXPECT_EQ(normalCodeBlank, -1);
}

}  // namespace
}  // namespace kambio
