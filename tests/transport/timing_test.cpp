#include <gtest/gtest.h>

#include "sim_fixture.h"
#include "transport/timing.h"

namespace kambio {
namespace {

using testing::SimTest;

class TimingTest : public SimTest {};

TEST_F(TimingTest, DelayLastsTheRequestedTime) {
    for (std::uint32_t ms : {1u, 1000u, 2000u, 5000u}) {
        std::uint64_t start = pc.clock.now();
        Delay(ms);
        EXPECT_GE(pc.clock.now() - start, ms);
        EXPECT_LE(pc.clock.now() - start, ms + 2);
    }
    EXPECT_EQ(pc.openTimerPeriods(), 0);
}

TEST_F(TimingTest, ZeroDelayReturnsAfterOneSample) {
    std::uint64_t start = pc.clock.now();
    Delay(0);
    EXPECT_LE(pc.clock.now() - start, 2u);
    EXPECT_EQ(pc.openTimerPeriods(), 0);
}

TEST_F(TimingTest, DelayAcrossTheTickWrapLastsTheRequestedTime) {
    for (std::uint32_t before : {1u, 100u, 1999u}) {
        pc.clock.setTickAtStart(0xFFFFFFFFu - before - static_cast<std::uint32_t>(pc.clock.now()));
        std::uint64_t start = pc.clock.now();
        Delay(2000);
        EXPECT_GE(pc.clock.now() - start, 2000u) << "wrap " << before << " ms in";
        EXPECT_LE(pc.clock.now() - start, 2002u) << "wrap " << before << " ms in";
    }
}

TEST_F(TimingTest, FinestGrantedPeriodIsUsedAndHandedBack) {
    pc.minimumTimerPeriod = 2;
    Delay(10);
    EXPECT_EQ(timing.TimerPeriod, 2u);
    EXPECT_EQ(pc.openTimerPeriods(), 0);  // timeEndPeriod got the same 2
}

TEST_F(TimingTest, ElapsedSecondsMeasureAcrossTheWrap) {
    pc.clock.setTickAtStart(0xFFFFF000u);
    BeginTiming();
    pc.Sleep(10000);
    SampleTick();
    EndTiming();
    EXPECT_EQ((timing.TimingNow - timing.TimingStart) / 1000, 10u);
}

}  // namespace
}  // namespace kambio
