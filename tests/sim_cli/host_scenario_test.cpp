// The host's parts of a scenario (registry, ASPI layer, drive letters): the
// shipped no-drive scenarios as kambio-sim runs them, and what each section
// builds.
#include <gtest/gtest.h>

#include <string>

#include "run_sim.h"
#include "scenario.h"
#include "scripted_device.h"
#include "virtual_drive.h"

namespace kambio::sim {
namespace {

using nlohmann::json;

using kambio::testing::RunSim;
using kambio::testing::ScenarioPath;

std::string ReadFile(const std::string& path) { return kambio::testing::ReadWholeFile(path); }

const std::string kBanner = "\n/// DVD-ROM/DVD-RW Firmware Update Utility Ver2.09A\n";
const std::string kNoTarget = "\r\nAvailable target is not found.";

TEST(NoDriveScenariosTest, EachEndsInMessage28WithExitCodeOne) {
    struct Case {
        const char* file;
        std::string console;
        const char* traceLine;  // shows the transport the run took
    };
    for (const Case& c :
         {Case{"me-no-drives.json", kBanner + kNoTarget, "aspi inquiry ha=0 -> 0x01 identifier=\"ESDI_506\"\n"},
          Case{"xp-no-drives.json", kBanner + "\r\nDetect the Intel's IDE driver." + kNoTarget,
               "regopen HKLM\\SOFTWARE\\INTEL\\Intel Application Accelerator -> 0\n"}}) {
        std::string trace = ::testing::TempDir() + "/" + c.file + ".trace";
        kambio::testing::SimResult result = RunSim("--trace " + trace + " " + ScenarioPath(c.file));
        EXPECT_EQ(result.exitCode, 1) << c.file;
        EXPECT_EQ(result.out, c.console) << c.file;
        EXPECT_NE(ReadFile(trace).find(c.traceLine), std::string::npos) << c.file;
    }
}

Scenario Load(const std::string& pc) { return LoadScenario(json::parse("{\"pc\": " + pc + "}")); }

TEST(HostScenarioTest, RegistrySectionMakesKeysAndValues) {
    Scenario scenario = Load(R"({ "registry": {
        "HKLM\\SOFTWARE\\INTEL\\Intel Application Accelerator": {},
        "HKDD\\Config Manager\\Enum\\C29A3F10": {
            "HardWareKey": "SCSI\\KORV", "Problem": 0, "Flags": { "dword": "0x10" },
            "AutoInsertNotification": { "binary": "01" } } } })");
    SimPc& pc = *scenario.pc;
    HKEY key = nullptr;
    EXPECT_EQ(pc.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\INTEL\\Intel Application Accelerator", 0,
                               KEY_READ, &key), 0);
    ASSERT_EQ(pc.RegOpenKeyExA(HKEY_DYN_DATA, "Config Manager\\Enum\\C29A3F10", 0, KEY_READ, &key), 0);
    struct Case {
        const char* name;
        DWORD type;
        std::vector<std::uint8_t> data;
    };
    for (const Case& c : {Case{"HardWareKey", REG_SZ, {'S', 'C', 'S', 'I', '\\', 'K', 'O', 'R', 'V', 0}},
                          Case{"Problem", REG_DWORD, {0, 0, 0, 0}},
                          Case{"Flags", REG_DWORD, {0x10, 0, 0, 0}},
                          Case{"AutoInsertNotification", REG_BINARY, {1}}}) {
        std::vector<std::uint8_t> data(16);
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        ASSERT_EQ(pc.RegQueryValueExA(key, c.name, &type, data.data(), &size), 0) << c.name;
        data.resize(size);
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(data, c.data) << c.name;
    }
}

TEST(HostScenarioTest, AspiSectionBuildsTheLayer) {
    Scenario scenario = Load(R"({ "aspi": {
        "supportStatus": "0xE8", "adapterCount": 3, "refuseStatus": "0x81", "abortIgnored": true,
        "adapters": [ { "identifier": "ESDI_506", "targets": { "1": { "virtualDrive": {} },
                                                             "0": { "responses": [ { "match": "00", "sense": "02/3a/00" } ] } } },
                      { "identifier": "NTMAPHLP", "inquiryFails": true } ] } })");
    const AspiLayer& aspi = scenario.pc->aspi;
    EXPECT_TRUE(aspi.installed);
    EXPECT_EQ(aspi.supportStatus, SS_NO_ADAPTERS);
    EXPECT_EQ(aspi.reportedAdapterCount, 3);
    EXPECT_EQ(aspi.refuseStatus, SS_INVALID_HA);
    EXPECT_TRUE(aspi.abortIgnored);
    ASSERT_EQ(aspi.adapters.size(), 2u);
    EXPECT_EQ(aspi.adapters[0].identifier, "ESDI_506");
    EXPECT_TRUE(aspi.adapters[1].inquiryFails);
    EXPECT_NE(std::dynamic_pointer_cast<VirtualDrive>(aspi.adapters[0].targets.at(1)), nullptr);
    auto scripted = std::dynamic_pointer_cast<ScriptedDevice>(aspi.adapters[0].targets.at(0));
    ASSERT_NE(scripted, nullptr);
    ScsiOutcome outcome = scripted->execute(ScsiCommand{{0, 0, 0, 0, 0, 0}}, 0);
    EXPECT_EQ(outcome.status, kStatusCheckCondition);  // sense alone means CHECK CONDITION
    EXPECT_EQ(outcome.sense, MakeSense(0x02, 0x3A, 0x00));
}

TEST(HostScenarioTest, DrivesSectionAttachesLetters) {
    Scenario scenario = Load(R"({ "drives": {
        "F": { "device": {}, "address": { "port": 1, "path": 0, "target": 1, "lun": 0 },
               "passThroughFailure": { "error": 234, "scsiStatus": 2, "sense": "70 00 02 00" } },
        "g": { "openError": 5, "capabilitiesError": 50, "addressError": 50 } } })");
    SimPc& pc = *scenario.pc;
    DriveLetter* f = pc.letter('F');
    ASSERT_NE(f, nullptr);
    EXPECT_NE(f->device, nullptr);
    EXPECT_EQ(f->address.TargetId, 1);
    EXPECT_EQ(f->passThroughFailure.error, ERROR_MORE_DATA);
    EXPECT_EQ(f->passThroughFailure.sense, (std::vector<std::uint8_t>{0x70, 0, 2, 0}));
    DriveLetter* g = pc.letter('G');
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->openError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(g->capabilitiesError, ERROR_NOT_SUPPORTED);
    EXPECT_EQ(pc.letter('E'), nullptr);
}

TEST(HostScenarioTest, MistakesAreNamedByTheirKey) {
    struct Case {
        const char* pc;
        const char* named;
    };
    for (const Case& c :
         {Case{R"({ "aspi": { "adapterz": [] } })", "\"aspi\".\"adapterz\": unknown key"},
          Case{R"({ "aspi": { "supportStatus": "E4" } })", "\"aspi\".\"supportStatus\""},
          Case{R"({ "aspi": { "adapters": [ { "targets": { "16": {} } } ] } })", "\"targets\".\"16\""},
          Case{R"({ "drives": { "C": {} } })", "\"drives\".\"C\": a drive letter is D to Z"},
          Case{R"({ "drives": { "F": { "device": { "responses": [ { "match": "3" } ] } } } })",
               "\"responses\"[0].\"match\""},
          Case{R"({ "drives": { "F": { "passThroughFailure": { "scsiStatus": 2 } } } })", "needs an \"error\""},
          Case{R"({ "registry": { "HKCU\\Software": {} } })", "\"registry\".\"HKCU\\Software\""},
          Case{R"({ "registry": { "HKLM\\X": { "V": [1] } } })", "\"V\""}}) {
        try {
            Load(c.pc);
            ADD_FAILURE() << "accepted: " << c.pc;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace kambio::sim
