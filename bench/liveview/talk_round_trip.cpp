// Talk round trip on loopback: microphone capture to the device, and the device's voice to the
// speaker, through the whole client path (voice capture and A-law, the talk sender's ring and
// thread, the device library's talk connection; the library's receive path, decoding and the
// speaker's output). The simulated device counts what it receives but does not echo, so the
// two directions are measured one at a time and added:
//   up:   one 20 ms block handed to the microphone's sink at t0; the simulator's control
//         interface is polled until its talk byte count has grown by that block (t1). The poll's
//         own round trip is measured and reported beside it (it is part of the up figure).
//   down: the device starts sending its voice the moment it accepts the talk; from StartTalk's
//         return to the first samples written to the speaker.
// The microphone's own block (the 20 ms a sample waits for its block to fill) is added as the
// capture delay. Target: round trip under 150 ms.
//   talk_round_trip [--rounds 20]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/channel_id.h"
#include "base/clock.h"
#include "base/device_types.h"
#include "base/port_slots.h"
#include "device/device_service.h"
#include "platform/app_dir.h"
#include "player/audio_output.h"
#include "player/voice_input.h"
#include "sdk/qvx_sdk.h"
#include "store/text_field.h"
#include "tests/sdk/devsim_process.h"
#include "tools/mkdb/mkdb.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A microphone that delivers only when the bench says so.
struct Trigger {
    std::mutex mutex;
    ocv::player::AudioInput::SamplesFn sink;
    bool Fire() {
        std::vector<int16_t> block(160, 6000);
        std::lock_guard lock(mutex);
        if (!sink) return false;
        sink(block.data(), block.size());
        return true;
    }
};
Trigger gTrigger;

class TriggerMicrophone : public ocv::player::AudioInput {
public:
    int Start(int, int, SamplesFn sink) override {
        std::lock_guard lock(gTrigger.mutex);
        gTrigger.sink = std::move(sink);
        return 0;
    }
    void Stop() override {
        std::lock_guard lock(gTrigger.mutex);
        gTrigger.sink = nullptr;
    }
    ~TriggerMicrophone() override { Stop(); }
};

// The speaker notes when it was first written to.
struct FirstWrite {
    std::atomic<bool> armed{false};
    std::atomic<int64_t> at{0};
};
FirstWrite gSpeaker;

class TimingSpeaker : public ocv::player::AudioOutput {
public:
    int Start(int, int) override { return 0; }
    void Write(const int16_t*, size_t) override {
        if (gSpeaker.armed.exchange(false)) gSpeaker.at = Clock::now().time_since_epoch().count();
    }
    void Stop() override {}
};

long TalkBytes(ocv::test::DevsimProcess& sim) {
    for (const std::string& line : sim.Control("report CAM"))
        if (line.rfind("talkbytes ", 0) == 0) return std::stol(line.substr(10));
    return -1;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

}  // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::stoi(argv[i + 1]));

    ocv::test::DevsimProcess sim;
    ocv::test::WriteText(sim.dir() / "site.ini",
                         "[device]\nname=CAM\ntype=IPC\nuser=admin\npassword=pw\nchannels=1\nmain=96x64@32\n"
                         "sub=off\nkey_interval=25\n");
    std::string error;
    if (!sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    ocv::test::TempDir app;
    ocv::SetAppDir(app.str());
    ocv::ResetDeviceTypeTable();
    ocv::AddStandardCameraTypes();  // as the client does
    ocv::ResetPortSlots();
    ocv::RenewClockSnapshot();
    ocv::mkdb::CreateEmptyDatabase(app / "QVXVMS.dat");
    {
        ocv::ConfigStore store;
        store.Open(app / "QVXVMS.dat");
        store.LoadDevices();
        ocv::DeviceRecord r{};
        ocv::CopyText(r.host, sim.device(0).address);
        r.port = sim.device(0).port;
        r.channelCount = 1;
        ocv::CopyText(r.user, "admin");
        ocv::CopyText(r.password, "pw");
        int slot = -1;
        store.AddDevice(r, &slot);
    }
    ocv::player::SetAudioInputFactory([] { return std::make_unique<TriggerMicrophone>(); });
    ocv::player::SetAudioOutputFactory([] { return std::make_unique<TimingSpeaker>(); });
    QVX_SDK_Init();
    std::vector<double> up, down, poll;
    {
        ocv::DeviceService service(app / "QVXVMS.dat", app / "Logx");
        service.connections().StartDeviceThread(0);
        auto deadline = Clock::now() + std::chrono::seconds(20);
        while (service.runtime().device(0).deviceState.load() != 2 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (service.runtime().device(0).deviceState.load() != 2) {
            fprintf(stderr, "the simulated device did not log in\n");
            return 1;
        }
        ocv::TalkControl& talk = service.talk();
        for (int round = 0; round < rounds; ++round) {
            gSpeaker.armed = true;
            if (talk.StartTalk(0, 0) != 0) {
                fprintf(stderr, "StartTalk failed\n");
                return 1;
            }
            auto started = Clock::now();
            while (gSpeaker.armed.load() && Clock::now() - started < std::chrono::seconds(2))
                std::this_thread::yield();
            if (!gSpeaker.armed.load()) down.push_back(Ms(Clock::duration(gSpeaker.at.load()) - started.time_since_epoch()));

            long before = TalkBytes(sim);
            auto p0 = Clock::now();
            TalkBytes(sim);
            poll.push_back(Ms(Clock::now() - p0));
            auto t0 = Clock::now();
            if (!gTrigger.Fire()) {
                fprintf(stderr, "the talk has no microphone\n");
                return 1;
            }
            while (TalkBytes(sim) < before + 160 && Clock::now() - t0 < std::chrono::seconds(2)) {
            }
            if (Clock::now() - t0 < std::chrono::seconds(2)) up.push_back(Ms(Clock::now() - t0));
            talk.StopTalk(0, 0);
        }
    }
    double capture = 20.0;
    printf("talk round trip over %d rounds (ms): capture block %.1f, up median %.2f max %.2f "
           "(control poll %.2f), down median %.2f max %.2f\n",
           rounds, capture, Median(up), Max(up), Median(poll), Median(down), Max(down));
    printf("round trip median %.2f ms (target < 150 ms), measured up %zu/%d, down %zu/%d\n",
           capture + Median(up) + Median(down), up.size(), rounds, down.size(), rounds);
    ocv::player::SetAudioInputFactory(nullptr);
    ocv::player::SetAudioOutputFactory(nullptr);
    return 0;
}
