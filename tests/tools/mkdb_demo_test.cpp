// The demo database names a standard camera by its type: an "onvif=" item of the demo list is
// stored with the ONVIF device type, so the client logs in to it with the standard driver.
#include <gtest/gtest.h>

#include "base/device_types.h"
#include "store/config_store.h"
#include "tests/support/temp_dir.h"
#include "tools/mkdb/mkdb.h"

namespace ocv::test {
namespace {

TEST(MkdbDemo, OnvifItemsAreStoredWithTheOnvifTypeOthersWithOurs) {
    std::vector<mkdb::DemoDevice> demo;
    std::string error;
    ASSERT_TRUE(mkdb::ParseDemoDevices("127.0.0.1:37001:1,onvif=127.0.0.5:38005:2,onvif=::1:80:1", &demo, &error))
        << error;
    ASSERT_EQ(demo.size(), 3u);
    EXPECT_EQ(demo[0].type, 0);
    EXPECT_EQ(demo[1].type, kDeviceTypeOnvif);
    EXPECT_EQ(demo[1].host, "127.0.0.5");
    EXPECT_EQ(demo[1].port, 38005);
    EXPECT_EQ(demo[2].host, "::1");
    TempDir dir;
    std::string live = dir / "QVXVMS.dat";
    demo.pop_back();
    ASSERT_EQ(mkdb::WriteLiveDatabase(live, demo, &error), 0) << error;
    ConfigStore store;
    ASSERT_EQ(store.Open(live), 0);
    store.LoadDevices();
    EXPECT_EQ(store.device(0).type, 0);
    EXPECT_EQ(store.device(1).type, kDeviceTypeOnvif);
    EXPECT_EQ(store.device(1).channelCount, 2);
    ResetDeviceTypeTable();
    AddStandardCameraTypes();
    EXPECT_EQ(LoginProtocolOf(store.device(1).type), 12) << "the login the device service makes for it";
    for (const char* bad : {"onvif=", "onvif=host:80", "ONVIF=host:80:1", "rtsp=host:554:1", "onvif=:80:1"}) {
        std::vector<mkdb::DemoDevice> out;
        EXPECT_FALSE(mkdb::ParseDemoDevices(bad, &out, &error)) << bad;
    }
}

}  // namespace
}  // namespace ocv::test
