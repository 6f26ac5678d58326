// kambio-sim as a user runs it: the scenario files shipped in scenarios/.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "run_sim.h"

namespace {

using kambio::testing::ReadWholeFile;
using kambio::testing::RunSim;
using kambio::testing::SimResult;

std::string Scenario(const std::string& name) { return kambio::testing::ScenarioPath(name); }

const std::string kBanner = "\n/// DVD-ROM/DVD-RW Firmware Update Utility Ver2.09A\n";

TEST(KambioSimTest, NoDrivesPrintsBannerAndMessage28) {
    SimResult result = RunSim(Scenario("no-drives.json"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, kBanner + "\r\nAvailable target is not found.");
}

TEST(KambioSimTest, JapaneseConsoleGetsCodePage932Bytes) {
    SimResult result = RunSim(Scenario("no-drives-ja.json"));
    EXPECT_EQ(result.exitCode, 1);
    // "\r\n" then this program / usable / drive / none, in code page 932.
    const std::string message28 =
        "\r\n\x82\xb1\x82\xcc\xcc\xdf\xdb\xb8\xde\xd7\xd1\x82\xc5\x97\x98\x97\x70\x89\xc2\x94\x5c"
        "\x82\xc8\xc4\xde\xd7\xb2\xcc\xde\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42";
    EXPECT_EQ(result.out, kBanner + message28);
}

TEST(KambioSimTest, TraceRecordsTheBox) {
    std::string trace = ::testing::TempDir() + "/no-drives.trace";
    SimResult result = RunSim("--trace " + trace + " " + Scenario("no-drives.json"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(ReadWholeFile(trace).find("box flags=0x40 caption=\"KAMBIO\" text=\"\\r\\nAvailable target is "
                                   "not found.\" answer=1\n"),
              std::string::npos);
}

TEST(KambioSimTest, BadScenarioIsRefusedWithUsageExitCode) {
    std::string bad = ::testing::TempDir() + "/bad.json";
    std::ofstream(bad) << "{ \"pc\": { \"oemCodePage\": \"lots\" } }";
    EXPECT_EQ(RunSim(bad).exitCode, 2);
    EXPECT_EQ(RunSim(::testing::TempDir() + "/missing.json").exitCode, 2);
    EXPECT_EQ(RunSim("").exitCode, 2);
}

}  // namespace
