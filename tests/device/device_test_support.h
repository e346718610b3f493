#pragma once
// A configuration database listing simulated devices, and a device service on it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "device/device_service.h"
#include "platform/app_dir.h"
#include "player/video_surface.h"
#include "sdk/qvx_sdk.h"
#include "base/clock.h"
#include "base/device_types.h"
#include "base/port_slots.h"
#include "store/relaxed.h"
#include "store/text_field.h"
#include "tests/sdk/devsim_process.h"
#include "tests/sdk/sdk_test_support.h"
#include "tools/mkdb/mkdb.h"

namespace ocv::test {

// Counts the pictures a player hands over.
class CountingSurface : public player::VideoSurface {
public:
    CountingSurface(int w, int h) : w_(w), h_(h) {}
    player::SurfaceFormat CurrentFormat() const override { return {w_, h_, player::PixelFormat::kBgra32}; }
    void PictureReady() override {
        if (auto p = TakePicture()) {
            ++pictures;
            lastWidth = p->width;
        }
    }
    std::atomic<int> pictures{0};
    std::atomic<int> lastWidth{0};

private:
    int w_, h_;
};


// What the core announced on its hub since the last look.
class HubWatch {
public:
    explicit HubWatch(CoreEventHub& hub) : reader_(hub.Subscribe()) {}
    std::vector<CoreEvent> Drain() {
        std::vector<CoreEventHub::Event> events;
        reader_->Read(&events);
        std::vector<CoreEvent> out;
        for (const auto& e : events) out.push_back(e.payload);
        return out;
    }
    // Channel ids of the ChannelStateChanged events.
    std::vector<int> ChannelStates() {
        std::vector<int> ids;
        for (const CoreEvent& e : Drain())
            if (auto* c = std::get_if<ChannelStateChanged>(&e)) ids.push_back(c->channelId);
        return ids;
    }
    // The states a device was announced in, in order.
    std::vector<DeviceState> DeviceStates(int device) {
        std::vector<DeviceState> states;
        for (const CoreEvent& e : Drain())
            if (auto* d = std::get_if<DeviceStateChanged>(&e); d && d->deviceIndex == device) states.push_back(d->state);
        return states;
    }

private:
    std::unique_ptr<CoreEventHub::Reader> reader_;
};

class DeviceServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ResetDeviceTypeTable();
        ResetPortSlots();
        ASSERT_EQ(QVX_SDK_Init(), QVX_OK);
        // Generous silence time: sanitizer builds on a loaded machine are slow to answer.
        ASSERT_EQ(QVX_SDK_SetSupervision(500, 5000, 300, 4000), QVX_OK);
    }
    static void TearDownTestSuite() { QVX_SDK_Cleanup(); }

    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        saved_ = AppDir();
        SetAppDir(app_.str());
        WriteText(app_ / "config.ini", "[DRIVES]\nD=" + app_.str() + "/d\n");
        std::filesystem::create_directories(app_ / "d");
        SetClockForTesting(2020, 7, 8, 10, 0, 0);
        ASSERT_EQ(mkdb::CreateEmptyDatabase(app_ / "QVXVMS.dat"), 0);
    }
    void TearDown() override {
        service_.reset();
        SetAppDir(saved_);
        SetClockSourceForTesting(nullptr);
    }

    // Adds a device to the database before the service loads it; returns its slot.
    int AddDevice(const std::string& host, int port, int channels, const char* password, int type = 0,
                  int stream = 0) {
        ConfigStore store;
        EXPECT_EQ(store.Open(app_ / "QVXVMS.dat"), 0);
        store.LoadSettings();
        store.LoadDevices();
        DeviceRecord r{};
        CopyText(r.host, host);
        r.port = port;
        r.channelCount = channels;
        r.type = type;
        CopyText(r.user, "admin");
        CopyText(r.password, password);
        int slot = -1;
        EXPECT_EQ(store.AddDevice(r, &slot), 0);
        // New channels show the sub stream; tests choose.
        store.ModifyChannel(slot, -1, kChannelStream, stream, nullptr, 0);
        return slot;
    }
    void StartService(int showMode = 0) {
        service_ = std::make_unique<DeviceService>(app_ / "QVXVMS.dat", app_ / "Logx");
        ASSERT_TRUE(service_->IsOpen());
        SetRelaxed(service_->store().MutableSettingsForTesting().SHOWMODE, showMode);
        service_->connections().SetDeviceTickForTesting(5);
    }
    // The live state of a channel (connection, recording, alarms).
    ChannelRuntime& Channel(int device, int channel) { return service_->runtime().channel(device, channel); }
    // Its stored configuration (tests change it in place where a page would save it).
    ChannelInfo& Stored(int device, int channel) { return service_->store().device(device).channels[channel]; }

    // Surfaces outlive the service whose players draw into them.
    CountingSurface* NewSurface(int w, int h) {
        surfaces_.push_back(std::make_unique<CountingSurface>(w, h));
        return surfaces_.back().get();
    }

    TempDir app_;
    std::string saved_;
    std::vector<std::unique_ptr<CountingSurface>> surfaces_;
    std::unique_ptr<DeviceService> service_;
};

}  // namespace ocv::test
