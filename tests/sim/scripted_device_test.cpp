#include <gtest/gtest.h>

#include <vector>

#include "scripted_device.h"

namespace kambio::sim {
namespace {

ScsiOutcome Execute(ScriptedDevice& device, std::vector<std::uint8_t> cdb, DataDirection direction = DataDirection::None,
                std::vector<std::uint8_t>* data = nullptr) {
    ScsiCommand command{std::move(cdb), direction, data != nullptr ? data->data() : nullptr,
                        data != nullptr ? static_cast<std::uint32_t>(data->size()) : 0};
    return device.execute(command, 7);
}

TEST(ScriptedDeviceTest, FirstMatchingResponseThatIsNotUsedUpAnswers) {
    ScriptedDevice device;
    device.respond({.match = {0x3C, 0x02, 0xF1}, .data = {1, 2, 3, 4, 5}, .durationMs = 20});
    device.respond({.match = {0x00}, .status = kStatusCheckCondition, .sense = MakeSense(2, 4, 1), .times = 2});
    device.respond({.match = {0x00}});

    std::vector<std::uint8_t> data(3, 0xEE);
    ScsiOutcome read = Execute(device, {0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, 3, 0}, DataDirection::In, &data);
    EXPECT_EQ(read.status, kStatusGood);
    EXPECT_EQ(read.transferred, 3u);  // no more than the buffer holds
    EXPECT_EQ(read.durationMs, 20u);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2, 3}));

    for (std::uint8_t expected : {kStatusCheckCondition, kStatusCheckCondition, kStatusGood}) {
        EXPECT_EQ(Execute(device, {0, 0, 0, 0, 0, 0}).status, expected);
    }
    // Another buffer id does not match the first response.
    ScsiOutcome other = Execute(device, {0x3C, 0x02, 0xF2, 0, 0, 0, 0, 0, 3, 0}, DataDirection::In, &data);
    EXPECT_EQ(other.status, kStatusCheckCondition);
    EXPECT_EQ(other.sense, MakeSense(0x05, 0x20, 0x00));
    EXPECT_EQ(other.transferred, 0u);
}

TEST(ScriptedDeviceTest, RecordsEveryCommandWithTheBytesSent) {
    ScriptedDevice device;
    device.respond({});
    std::vector<std::uint8_t> sent = {9, 8, 7};
    Execute(device, {0x3B, 0x05}, DataDirection::Out, &sent);
    ASSERT_EQ(device.received().size(), 1u);
    EXPECT_EQ(device.received()[0].cdb, (std::vector<std::uint8_t>{0x3B, 0x05}));
    EXPECT_EQ(device.received()[0].dataOut, sent);
    EXPECT_EQ(device.received()[0].atMs, 7u);
}

}  // namespace
}  // namespace kambio::sim
