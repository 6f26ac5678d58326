// Whole runs on PCs whose host fails the program some way: each ends in
// message 28 with everything handed back, never in a crash or a hang.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "program_run.h"
#include "scripted_device.h"
#include "sim_fixture.h"
#include "ui/messages.h"

namespace kambio {
namespace {

using testing::SimTest;

struct FaultCase {
    const char* name;
    std::function<void(sim::SimPc&)> configure;
};

class HostFaultTest : public SimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(HostFaultTest, RunEndsInMessage28WithNothingLeftOpen) {
    GetParam().configure(pc);
    pc.boxAnswers = {IDOK};
    std::string hang;
    EXPECT_EQ(sim::RunProgram(pc, &hang), 1) << hang;
    ASSERT_FALSE(pc.boxes.empty());
    EXPECT_EQ(pc.boxes.back().text, MessageText(28));
    EXPECT_EQ(pc.liveAllocations(), 0u);
    EXPECT_EQ(pc.openDriveHandles(), 0u);
    EXPECT_EQ(pc.registry.openKeys(), 0u);
}

void Me(sim::SimPc& pc) {
    pc.os = sim::OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000};
    pc.aspi.installed = true;
}

void XpLetter(sim::SimPc& pc, sim::DriveLetter drive) {
    pc.os = sim::OsVersion{VER_PLATFORM_WIN32_NT, 5, 1, 2600};
    if (drive.device == nullptr) drive.device = std::make_shared<sim::ScriptedDevice>();
    pc.attachLetter('E', drive);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HostFaultTest,
    ::testing::Values(
        FaultCase{"NoAspiLibrary", [](sim::SimPc& pc) { pc.os = sim::OsVersion{1, 4, 10, 2222}; }},
        FaultCase{"AspiFailedToStart",
                  [](sim::SimPc& pc) {
                      Me(pc);
                      pc.aspi.supportStatus = SS_FAILED_INIT;
                  }},
        FaultCase{"AspiWithoutAdapters",
                  [](sim::SimPc& pc) {
                      Me(pc);
                      pc.aspi.supportStatus = SS_NO_ADAPTERS;
                  }},
        FaultCase{"AspiRefusesEveryRequest",
                  [](sim::SimPc& pc) {
                      Me(pc);
                      pc.aspi.addAdapter("ESDI_506");
                      pc.aspi.attach(0, 0, std::make_shared<sim::ScriptedDevice>());
                      pc.aspi.refuseStatus = 0xE0;
                  }},
        FaultCase{"AspiInquiryFails",
                  [](sim::SimPc& pc) {
                      Me(pc);
                      pc.aspi.addAdapter("ESDI_506").inquiryFails = true;
                  }},
        FaultCase{"LetterCannotBeOpened",
                  [](sim::SimPc& pc) {
                      sim::DriveLetter drive;
                      drive.openError = ERROR_ACCESS_DENIED;
                      XpLetter(pc, drive);
                  }},
        FaultCase{"CapabilitiesFail",
                  [](sim::SimPc& pc) {
                      sim::DriveLetter drive;
                      drive.capabilitiesError = ERROR_GEN_FAILURE;
                      XpLetter(pc, drive);
                  }},
        FaultCase{"AddressFails",
                  [](sim::SimPc& pc) {
                      sim::DriveLetter drive;
                      drive.addressError = ERROR_IO_DEVICE;
                      XpLetter(pc, drive);
                  }},
        FaultCase{"PassThroughFails",
                  [](sim::SimPc& pc) {
                      sim::DriveLetter drive;
                      drive.passThroughFailure = sim::PassThroughFailure{ERROR_IO_DEVICE, 0, {}};
                      XpLetter(pc, drive);
                  }},
        FaultCase{"DriveNeverAnswers",
                  [](sim::SimPc& pc) {
                      auto device = std::make_shared<sim::ScriptedDevice>();
                      device->otherwise.neverCompletes = true;
                      sim::DriveLetter drive;
                      drive.device = device;
                      XpLetter(pc, drive);
                  }},
        FaultCase{"EveryAllocationFails",
                  [](sim::SimPc& pc) {
                      XpLetter(pc, sim::DriveLetter{});
                      pc.failingAllocations = {1, 2, 3};
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kambio
