// What the live view tree shows for a channel whose device refuses its password.
#include <gtest/gtest.h>

#include <memory>

#include "liveview/channel_text.h"
#include "store/text_field.h"

namespace ocv {
namespace {

std::unique_ptr<DeviceInfo> Camera() {
    auto d = std::make_unique<DeviceInfo>();
    CopyText(d->host, "10.0.0.7");
    d->port = 5000;
    d->channelCount = 2;
    return d;
}

TEST(ChannelText, RefusedPasswordMarksTheTreeLabelOfEveryChannelUntilTheLoginWorks) {
    auto dev = Camera();
    EXPECT_EQ(TreeChannelLabel(*dev, 1, kDeviceOffline), "10.0.0.7:5000-02");
    EXPECT_EQ(TreeChannelLabel(*dev, 0, kDeviceWrongPassword), "10.0.0.7:5000-01 (wrong password)");
    CopyText(dev->channels[1].name, "Gate");
    EXPECT_EQ(TreeChannelLabel(*dev, 1, kDeviceWrongPassword), "Gate (wrong password)");
    EXPECT_EQ(CellChannelLabel(*dev, 1), "Gate");  // the cell strip keeps its own text
    EXPECT_EQ(TreeChannelLabel(*dev, 64, kDeviceWrongPassword), "");
    EXPECT_EQ(TreeChannelLabel(*dev, 0, kDeviceOnline), "10.0.0.7:5000-01");
}

TEST(ChannelText, RefusedPasswordIconReplacesWhateverTheChannelLastShowed) {
    auto dev = std::make_unique<DeviceRuntime>();
    ChannelRuntime& c = dev->channels[0];
    c.mainStream = 5;
    c.displayStream = 5;
    c.connectState = kStreamOpen;
    c.recordActive = 1;
    c.recordType = kRecordPlan;
    ChannelStateView extra{true, false};
    dev->deviceState = kDeviceOnline;
    EXPECT_EQ(ChannelStateIcons(*dev, 0, extra), (std::vector<int>{kIconConnected, kIconRecordPlan, kIconSound}));
    EXPECT_EQ(ChannelStateIcons(*dev, 0, extra), ChannelStateIcons(c, extra));
    dev->deviceState = kDeviceWrongPassword;
    EXPECT_EQ(ChannelStateIcons(*dev, 0, extra), std::vector<int>{kIconWrongPassword});
    EXPECT_EQ(ChannelStateIcons(*dev, 1, {}), std::vector<int>{kIconWrongPassword});
    EXPECT_TRUE(ChannelStateIcons(*dev, -1, {}).empty());
    EXPECT_TRUE(ChannelStateIcons(*dev, 64, {}).empty());
    // Offline for any other reason: the channel's own state, as before.
    dev->deviceState = kDeviceOffline;
    c.mainStream = 0;
    c.displayStream = 0;
    c.channelOn = 0;
    EXPECT_EQ(ChannelStateIcons(*dev, 0, {}), std::vector<int>{kIconChannelOff});
}

}  // namespace
}  // namespace ocv
