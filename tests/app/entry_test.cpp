#include <gtest/gtest.h>

#include "program_run.h"
#include "sim_pc.h"
#include "ui/cp932.h"

namespace kambio {
namespace {

const std::string kBanner = "\n/// DVD-ROM/DVD-RW Firmware Update Utility Ver2.09A\n";

TEST(EntryTest, NoTargetShowsMessage28AndExitsOne) {
    sim::SimPc pc;
    pc.boxAnswers = {IDOK};
    EXPECT_EQ(sim::RunProgram(pc), 1);
    EXPECT_EQ(pc.console, kBanner + "\r\nAvailable target is not found.");
    ASSERT_EQ(pc.boxes.size(), 1u);
    EXPECT_EQ(pc.boxes[0].caption, "KAMBIO");
    EXPECT_EQ(pc.boxes[0].flags, MB_ICONINFORMATION);
    EXPECT_EQ(pc.boxes[0].text, "\r\nAvailable target is not found.");
}

TEST(EntryTest, JapaneseCodePageChangesMessagesButNotTheBanner) {
    sim::SimPc pc;
    pc.oemCodePage = 932;
    EXPECT_EQ(sim::RunProgram(pc), 1);
    EXPECT_EQ(pc.console, kBanner + Cp932FromUtf8("\r\nこのﾌﾟﾛｸﾞﾗﾑで利用可能なﾄﾞﾗｲﾌﾞがありません。"));
}

TEST(EntryTest, EveryRunStartsFromProgramStartState) {
    sim::SimPc pc;
    pc.oemCodePage = 932;
    sim::RunProgram(pc);
    pc.oemCodePage = 437;
    pc.console.clear();
    EXPECT_EQ(sim::RunProgram(pc), 1);
    EXPECT_EQ(pc.console, kBanner + "\r\nAvailable target is not found.");
}

}  // namespace
}  // namespace kambio
