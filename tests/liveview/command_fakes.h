#pragma once
// Stand-ins for the services the live view's commands use beyond cells and connections:
// recording, talk, channel actions, device configuration, PTZ and temperature queries. Each
// records what it was asked and answers from members the test sets.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "device/channel_actions.h"
#include "device/device_configuration.h"
#include "device/ptz_control.h"
#include "device/recording_control.h"
#include "device/talk_control.h"
#include "device/temperature_queries.h"
#include "runtime/runtime_table.h"

namespace ocv::test {

class FakeRecording : public RecordingControl {
public:
    explicit FakeRecording(RuntimeTable& runtime) : runtime_(runtime) {}
    int StartManualRecording(int device, int channel) override {
        calls.push_back("start " + std::to_string(device) + "/" + std::to_string(channel));
        if (startResult == 0) runtime_.channel(device, channel).recordType = kRecordManual;
        return startResult;
    }
    int StopRecording(int device, int channel) override {
        calls.push_back("stop " + std::to_string(device) + "/" + std::to_string(channel));
        runtime_.channel(device, channel).recordType = kRecordNone;
        return 0;
    }
    int startResult = 0;
    std::vector<std::string> calls;

private:
    RuntimeTable& runtime_;
};

class FakeTalk : public TalkControl {
public:
    int StartTalk(int device, int channel) override {
        if (startResult != 0 || holder >= 0) return startResult ? startResult : -1;
        holder = ChannelIdOf(device, channel);
        return 0;
    }
    int StopTalk(int device, int channel) override {
        if (stopResult != 0) return stopResult;
        if (holder == ChannelIdOf(device, channel)) holder = -1;
        members.erase(std::remove(members.begin(), members.end(), ChannelIdOf(device, channel)), members.end());
        ++stops;
        return 0;
    }
    int GetTalkChannel() const override { return holder; }
    int StartBroadcastCapture() override {
        if (!microphone) return -1;
        capture = true;
        return 0;
    }
    int StopBroadcastCapture() override {
        capture = false;
        return 0;
    }
    int IsBroadcasting() const override { return capture ? 0 : -1; }
    int StartBroadcastMember(int device, int channel) override {
        int id = ChannelIdOf(device, channel);
        if (IsTalking(id) || refusedMember == id) return -1;
        members.push_back(id);
        return 0;
    }
    int SendTalkData(int, int, const uint8_t*, uint32_t) override { return 0; }
    bool IsTalking(int id) const override {
        return id == holder || std::find(members.begin(), members.end(), id) != members.end();
    }

    int holder = -1;
    std::vector<int> members;
    bool capture = false;
    bool microphone = true;
    int refusedMember = -1;
    int startResult = 0, stopResult = 0, stops = 0;
};

class FakeActions : public ChannelActions {
public:
    int CaptureCell(int slot, std::string* path) override {
        std::lock_guard lock(mutex);
        captures.push_back(slot);
        *path = "/snap.jpg";
        return captureResult;
    }
    int DisconnectChannel(int device, int channel) override {
        std::lock_guard lock(mutex);
        disconnects.push_back({device, channel});
        return 0;
    }
    int MarkTimeSync(int device, int channel) override {
        std::lock_guard lock(mutex);
        timeMarks.push_back({device, channel});
        return 0;
    }
    std::mutex mutex;
    int captureResult = 0;
    std::vector<int> captures;
    std::vector<std::pair<int, int>> disconnects, timeMarks;
};

class FakeDeviceConfig : public DeviceConfiguration {
public:
    int SendChannelConfig(int device, int channel, uint32_t command, const void* buffer, uint32_t length) override {
        std::lock_guard lock(mutex);
        uint32_t value = 0;
        if (length == 4) std::memcpy(&value, buffer, 4);
        sent.push_back({device, channel, command, value});
        return 0;
    }
    int FetchDevicePicture(int, int, int, uint8_t*, uint32_t*) override { return -1; }
    // The live view never reads records, restarts devices or opens previews.
    int GetChannelConfig(int, int, uint32_t, void*, uint32_t) override { return -1; }
    int RebootDevice(int) override { return -1; }
    int OpenPreview(int, int, int, void*, PreviewDrawFn, intptr_t, int*) override { return -1; }
    int ClosePreview(int) override { return -1; }
    std::mutex mutex;
    std::vector<std::tuple<int, int, uint32_t, uint32_t>> sent;
};

class FakePtz : public PtzControl {
public:
    int SendPtz(int device, int channel, int command, int stop, int value) override {
        std::lock_guard lock(mutex);
        sent.push_back({device, channel, command, stop, value});
        return 0;
    }
    std::vector<std::tuple<int, int, int, int, int>> Sent() {
        std::lock_guard lock(mutex);
        return sent;
    }
    std::mutex mutex;
    std::vector<std::tuple<int, int, int, int, int>> sent;
};

class FakeTemperatureQueries : public TemperatureQueries {
public:
    int ProbeTemperatureSupport(int, int) override { return 0; }
    int QueryTemperatureLog(int device, int channel, const TimeBound& start, const TimeBound& end, int filter,
                            std::vector<TemperatureRecord>* out) override {
        std::lock_guard lock(mutex);
        asked.push_back({device, channel, start, end, filter});
        for (const TemperatureRecord& r : answer)
            if (filter == 0 || (filter == 1) == !(r.code & 0x8000)) out->push_back(r);
        return 0;
    }
    struct Query {
        int device, channel;
        TimeBound start, end;
        int filter;
    };
    std::mutex mutex;
    std::vector<TemperatureRecord> answer;
    std::vector<Query> asked;
};

}  // namespace ocv::test
