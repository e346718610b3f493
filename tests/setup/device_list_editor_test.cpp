// What the device page does to the list: the store first, then the connections, then the log;
// a restart around a change of the connection settings that brings the channels in use back;
// refusals that change nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "setup/device_list_editor.h"
#include "store/relaxed.h"
#include "tests/setup/setup_fakes.h"

namespace ocv::test {
namespace {

using Strings = std::vector<std::string>;

class DeviceListEditorTest : public ::testing::Test {
protected:
    DeviceListEditorTest() : connections(&s.store), editor(s.store, connections, s.log) {}
    DeviceRecord Record(const std::string& host, int port, int channels) {
        DeviceRecord r{};
        CopyText(r.host, host);
        CopyText(r.user, "admin");
        CopyText(r.password, "kestr");
        r.port = port;
        r.channelCount = channels;
        return r;
    }
    StoreOnDisk s;
    RecordingConnections connections;
    DeviceListEditor editor;
};

TEST_F(DeviceListEditorTest, AnAddedDeviceIsStoredStartedAndLogged) {
    int slot = -1;
    ASSERT_EQ(editor.Add(Record("10.0.0.1", 8000, 4), "boss", &slot), 0);
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(s.store.device(0).channelCount, 4);
    EXPECT_EQ(connections.calls, Strings{"start 0"});
    EXPECT_EQ(s.OperationLog(), Strings{"16 10.0.0.1:8000"});
}

TEST_F(DeviceListEditorTest, ARefusedAddStartsAndLogsNothing) {
    ASSERT_EQ(editor.Add(Record("10.0.0.1", 8000, 4), "boss"), 0);
    connections.calls.clear();
    EXPECT_EQ(editor.Add(Record("10.0.0.1", 8000, 2), "boss"), -2);
    EXPECT_EQ(editor.Add(Record("10.0.0.2", 8000, 0), "boss"), -1);
    EXPECT_TRUE(connections.calls.empty());
    EXPECT_EQ(s.OperationLog().size(), 1u);
    EXPECT_TRUE(s.store.device(1).IsEmpty());
}

TEST_F(DeviceListEditorTest, ANewNameKeepsTheDeviceRunningAndANewPasswordIsTriedAtOnce) {
    int slot = s.Add("10.0.0.1", 8000, 4);
    DeviceRecord e = s.store.device(slot);
    CopyText(e.name, "Gate");
    ASSERT_EQ(editor.Modify(slot, e, "boss"), 0);
    EXPECT_TRUE(connections.calls.empty());
    CopyText(e.password, "new");
    ASSERT_EQ(editor.Modify(slot, e, "boss"), 0);
    EXPECT_EQ(connections.calls, Strings{"retry 0"});
    EXPECT_EQ(FieldText(s.store.device(slot).name), "Gate");
    EXPECT_EQ(s.OperationLog(), (Strings{"17 10.0.0.1:8000", "17 10.0.0.1:8000"}));
}

TEST_F(DeviceListEditorTest, ANewPortStopsTheDeviceBeforeTheWriteAndReopensWhatWasInUse) {
    int slot = s.Add("10.0.0.1", 8000, 4);
    connections.inUse = {ChannelIdOf(slot, 1), ChannelIdOf(slot, 3), ChannelIdOf(slot + 1, 0)};
    DeviceRecord e = s.store.device(slot);
    e.port = 9000;
    ASSERT_EQ(editor.Modify(slot, e, "boss"), 0);
    EXPECT_EQ(connections.calls, (Strings{"stop 0", "start 0", "reopen 0 [1,3]"}));
    EXPECT_EQ(connections.portAtCall, (std::vector<int>{8000, 9000}));
    EXPECT_EQ(s.OperationLog(), Strings{"17 10.0.0.1:9000"});
}

TEST_F(DeviceListEditorTest, ARefusedModificationLeavesTheDeviceAsItWasAndRunning) {
    s.Add("10.0.0.1", 8000, 4);
    int slot = s.Add("10.0.0.2", 8000, 4);
    DeviceRecord e = s.store.device(slot);
    CopyText(e.host, "10.0.0.1");  // the other device's host and port
    EXPECT_EQ(editor.Modify(slot, e, "boss"), -2);
    EXPECT_EQ(FieldText(s.store.device(slot).host), "10.0.0.2");
    EXPECT_EQ(connections.calls, (Strings{"stop 1", "start 1", "reopen 1 []"}));
    EXPECT_TRUE(s.OperationLog().empty());
    EXPECT_EQ(editor.Modify(77, e, "boss"), -1);
}

TEST_F(DeviceListEditorTest, FewerChannelsAreWrittenAndTheLostOnesAreNotReopenedByTheStore) {
    int slot = s.Add("10.0.0.1", 8000, 8);
    DeviceRecord e = s.store.device(slot);
    e.channelCount = 2;
    ASSERT_EQ(editor.Modify(slot, e, "boss"), 0);
    EXPECT_EQ(s.store.device(slot).channels[2].id, 0);
    EXPECT_GT(s.store.device(slot).channels[1].id, 0);
}

TEST_F(DeviceListEditorTest, ForgettingLogsTheDeviceThenEmptiesItsSlotOnly) {
    s.Add("10.0.0.1", 8000, 1);
    int slot = s.Add("10.0.0.2", 8000, 1);
    s.Add("10.0.0.3", 8000, 1);
    EXPECT_EQ(editor.StopForDelete(slot), 0);
    EXPECT_EQ(editor.Forget(slot, "boss"), 0);
    EXPECT_TRUE(s.store.device(slot).IsEmpty());
    EXPECT_FALSE(s.store.device(0).IsEmpty());
    EXPECT_FALSE(s.store.device(2).IsEmpty());
    EXPECT_EQ(connections.calls, Strings{"stop 1"});
    EXPECT_EQ(s.OperationLog(), Strings{"18 10.0.0.2:8000"});
    EXPECT_EQ(editor.Forget(slot, "boss"), -1);
}

TEST_F(DeviceListEditorTest, InUseFollowsTheConnections) {
    int slot = s.Add("10.0.0.1", 8000, 2);
    EXPECT_FALSE(editor.InUse(slot));
    connections.inUse = {ChannelIdOf(slot, 1)};
    EXPECT_TRUE(editor.InUse(slot));
}

QVX_FOUND_DEVICE Found(const char* address, uint32_t port, uint32_t channels) {
    QVX_FOUND_DEVICE f;
    std::memset(&f, 0, sizeof f);
    std::strcpy(f.address, address);
    std::strcpy(f.deviceId, address);
    f.port = port;
    f.channels = channels;
    return f;
}

TEST_F(DeviceListEditorTest, ImportingAKnownDeviceIsReportedAndTheOthersStillCome) {
    s.Add("127.0.0.2", 37002, 1);
    EXPECT_EQ(editor.Import(Found("127.0.0.2", 37002, 1), "boss"), -2);
    EXPECT_EQ(editor.Import(Found("127.0.0.3", 37003, 16), "boss"), 0);
    EXPECT_EQ(s.store.device(1).channelCount, 16);
    EXPECT_EQ(FieldText(s.store.device(1).password), "kestr");
    EXPECT_EQ(connections.calls, Strings{"start 1"});
    EXPECT_EQ(s.OperationLog(), Strings{"16 127.0.0.3:37003"});
}

TEST_F(DeviceListEditorTest, ADeviceThatMovedIsFollowedToItsNewAddressAndPort) {
    s.Add("127.0.0.2", 37002, 1);
    s.Add("127.0.0.2", 37003, 1);
    EXPECT_EQ(editor.MoveDevice("127.0.0.2", 37002, "127.0.0.5", 37100, "boss"), 1);
    EXPECT_EQ(FieldText(s.store.device(0).host), "127.0.0.5");
    EXPECT_EQ(s.store.device(0).port, 37100);
    EXPECT_EQ(s.store.device(1).port, 37003);
    EXPECT_EQ(connections.calls, (Strings{"stop 0", "start 0", "reopen 0 []"}));
    EXPECT_EQ(editor.MoveDevice("127.0.0.9", 1, "127.0.0.5", 2, "boss"), 0);
}

}  // namespace
}  // namespace ocv::test
