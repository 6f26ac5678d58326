// A fresh process on a fresh simulated PC for each test.
#pragma once

#include <gtest/gtest.h>

#include "app/process_state.h"
#include "sim_pc.h"

namespace kambio::testing {

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcessState();
        pc.beginRun();
        SetHost(&pc);
    }
    void TearDown() override { SetHost(nullptr); }

    sim::SimPc pc;
};

}  // namespace kambio::testing
