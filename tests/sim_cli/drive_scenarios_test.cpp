// The scenarios with drives, run through kambio-sim: what a user sees and
// what the drives were sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_sim.h"

namespace {

using kambio::testing::ReadWholeFile;
using kambio::testing::RunSim;
using kambio::testing::ScenarioPath;

std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& part) {
    std::size_t n = 0;
    for (const std::string& line : lines) n += line.find(part) != std::string::npos ? 1 : 0;
    return n;
}

TEST(DriveScenariosTest, XpTwoDrivesAskedOneByOne) {
    std::string tracePath = ::testing::TempDir() + "/xp-two-drives.trace";
    auto result = RunSim("--trace " + tracePath + " " + ScenarioPath("xp-two-drives-ask.json"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              "\n/// DVD-ROM/DVD-RW Firmware Update Utility Ver2.09A\n"
              "\r\nStart updating the device No.0."
              "\r\nThe update operation is canceled by user."
              "\r\n0drive(s) have been updated successfully.");

    std::string trace = ReadWholeFile(tracePath);
    auto opens = Lines(trace, "open ");
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        EXPECT_GE(Count(opens, std::string(1, letter) + ":\""), 1u) << letter;
    }
    EXPECT_EQ(Count(opens, "A:\"") + Count(opens, "B:\"") + Count(opens, "C:\""), 0u);
    auto scsi = Lines(trace, "scsi ");
    for (const char* letter : {"letter=E ", "letter=F ", "letter=G "}) {
        EXPECT_EQ(Count(Lines(trace, std::string("scsi spt ") + letter), "cdb=3c 02 f1"), 1u) << letter;
        EXPECT_GE(Count(Lines(trace, std::string("scsi spt ") + letter), "cdb=12 00 00 00 60 00"), 1u) << letter;
    }
    auto mcn = Lines(trace, "ioctl ");
    EXPECT_EQ(Count(mcn, "code=0x2d0944 prevent=1"), 3u);
    EXPECT_EQ(Count(mcn, "code=0x2d0944 prevent=0"), 3u);

    auto boxes = Lines(trace, "box ");
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_NE(boxes[0].find("2 target device(s) is found."), std::string::npos);
    EXPECT_NE(boxes[1].find("update F: drive to Ver?"), std::string::npos);
    EXPECT_NE(boxes[1].find("answer=6"), std::string::npos);
    EXPECT_NE(boxes[2].find("update G: drive to Ver?"), std::string::npos);
    EXPECT_NE(boxes[2].find("answer=7"), std::string::npos);
    EXPECT_NE(boxes[3].find("The update operation is canceled by user."), std::string::npos);
    EXPECT_NE(boxes[4].find("0drive(s) have been updated successfully."), std::string::npos);
}

TEST(DriveScenariosTest, MeSlaveOnTheSecondaryChannelIsNamedSo) {
    std::string tracePath = ::testing::TempDir() + "/me-ide-drives.trace";
    auto result = RunSim("--trace " + tracePath + " " + ScenarioPath("me-ide-drives.json"));
    EXPECT_EQ(result.exitCode, 0);
    auto boxes = Lines(ReadWholeFile(tracePath), "box ");
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_NE(boxes[1].find("update Slave drive on Secondary IDE to Ver ?"), std::string::npos) << boxes[1];
    EXPECT_NE(result.out.find("Start updating the device No.0."), std::string::npos);
}

}  // namespace
