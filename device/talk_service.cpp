#include "device/talk_service.h"

#include <pthread.h>

#include <vector>

#include "base/trace.h"
#include "player/audio_output.h"
#include "player/qvx_player.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

// The device's voice in a two-way talk goes to the same audio output as the players' sound.
// The library calls these from its threads, one talk at a time.
struct TalkSpeaker {
    std::mutex mutex;
    std::unique_ptr<player::AudioOutput> output;
};

TalkSpeaker& Speaker() {
    static TalkSpeaker speaker;
    return speaker;
}

int32_t SpeakerOpen(void*, int32_t sampleRate, int32_t channels) {
    TalkSpeaker& s = Speaker();
    std::lock_guard lock(s.mutex);
    if (s.output) s.output->Stop();
    s.output = player::MakeAudioOutput();
    if (!s.output || s.output->Start(sampleRate, channels) != 0) {
        s.output.reset();
        Trace("talk: the device's voice cannot be played (no audio output)\n");
        return -1;
    }
    return 0;
}

void SpeakerWrite(void*, const int16_t* samples, int32_t count) {
    TalkSpeaker& s = Speaker();
    std::lock_guard lock(s.mutex);
    if (s.output && samples && count > 0) s.output->Write(samples, static_cast<size_t>(count));
}

void SpeakerClose(void*) {
    TalkSpeaker& s = Speaker();
    std::lock_guard lock(s.mutex);
    if (s.output) s.output->Stop();
    s.output.reset();
}

void InstallSpeaker() {
    static const QVX_AudioOutput output{nullptr, SpeakerOpen, SpeakerWrite, SpeakerClose};
    QVX_SDK_SetAudioOutput(&output);
}

void BroadcastCaptured(const uint8_t* data, int length, uint32_t captureMs, void* context) {
    static_cast<TalkService*>(context)->Deliver(true, data, length, captureMs);
}

void TalkCaptured(const uint8_t* data, int length, uint32_t captureMs, void* context) {
    static_cast<TalkService*>(context)->Deliver(false, data, length, captureMs);
}

const QVXPlayVoiceAttr kVoiceFormat{QVXPLAY_VOICE_ALAW, 8000, 16, 128000, 2, 1, 0};

}  // namespace

TalkService::TalkService(const ConfigStore& store, const RuntimeTable& runtime, CoreEventHub& hub)
    : store_(store), runtime_(runtime), hub_(hub) {}

TalkService::~TalkService() { Shutdown(); }

void TalkService::Start() {
    if (watching_.exchange(true)) return;
    reader_ = hub_.Subscribe(CoreEventHub::MaskOf<ChannelStateChanged>() | CoreEventHub::MaskOf<DeviceStateChanged>());
    watcher_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "talk-watch");
        Watch();
    });
}

void TalkService::Shutdown() {
    if (watching_.exchange(false) && watcher_.joinable()) watcher_.join();
    reader_.reset();
    StopBroadcastCapture();
    std::lock_guard lock(opsMutex_);
    for (int id = 0; id < kChannelIdCount; ++id)
        if (talkHandles_[id].load() != 0) StopTalkLocked(id);
}

bool TalkService::Configured(int device, int channel) const {
    return store_.IsValidChannel(device, channel) == 0 && channel < Relaxed(store_.device(device).channelCount);
}

int TalkService::LoginOf(int device, int channel, const char* what) const {
    if (!Configured(device, channel)) {
        Trace("%s of channel %d of device %d: not configured\n", what, channel, device);
        return 0;
    }
    const DeviceRuntime& dev = runtime_.device(device);
    int login = dev.loginHandle.load();
    if (login == 0 || dev.deviceState.load() != kDeviceOnline) {
        Trace("%s of channel %d of device %d: the device is not logged in\n", what, channel, device);
        return 0;
    }
    return login;
}

bool TalkService::IsTalking(int channelId) const {
    return IsChannelId(channelId) && talkHandles_[channelId].load() != 0;
}

int TalkService::StartTalk(int device, int channel) {
    std::lock_guard lock(opsMutex_);
    int login = LoginOf(device, channel, "talk");
    if (login == 0) return -1;
    int id = ChannelIdOf(device, channel);
    if (int holder = talkChannel_.load(); holder >= 0) {
        Trace("talk of channel %d of device %d: channel %d holds the talk\n", channel, device, holder);
        return -1;
    }
    if (broadcastCapture_.load() != 0) {
        Trace("talk of channel %d of device %d: a broadcast runs\n", channel, device);
        return -1;
    }
    if (talkHandles_[id].load() != 0) {
        Trace("talk of channel %d of device %d: the channel is a broadcast member\n", channel, device);
        return -1;
    }
    InstallSpeaker();
    QVX_HANDLE handle = 0;
    if (int rc = QVX_SDK_StartVoiceCom(login, 0, nullptr, nullptr, 1, &handle); rc != 0) {
        Trace("talk of channel %d of device %d: the device refused (%d)\n", channel, device, rc);
        return rc;
    }
    talkHandles_[id] = handle;
    talkChannel_ = id;
    streamSeen_[id] = runtime_.channel(device, channel).mainStream.load();
    // The device is heard even without a microphone; it only hears us with one.
    if (StartSender(id, false) != 0 || StartCapture(false, &talkCapture_) != 0) {
        StopSender(id);
        Trace("talk of channel %d of device %d: no microphone, the device is only heard\n", channel, device);
    }
    Announce(id);
    return 0;
}

int TalkService::StopTalk(int device, int channel) {
    if (store_.IsValidChannel(device, channel) != 0) {
        Trace("stop talk of channel %d of device %d: not configured\n", channel, device);
        return -1;
    }
    std::lock_guard lock(opsMutex_);
    return StopTalkLocked(ChannelIdOf(device, channel));
}

int TalkService::StopTalkLocked(int id) {
    int handle = talkHandles_[id].load();
    if (handle == 0) return 0;
    if (talkChannel_.load() == id) StopCapture(&talkCapture_);
    StopSender(id);
    int rc = QVX_SDK_StopVoiceCom(handle);
    // A talk the library no longer knows (its login went) is over all the same.
    if (rc != 0 && rc != QVX_ERR_HANDLE) {
        Trace("stop talk of channel id %d: the library refused (%d)\n", id, rc);
        return rc;
    }
    talkHandles_[id] = 0;
    streamSeen_[id] = 0;
    int expected = id;
    talkChannel_.compare_exchange_strong(expected, -1);
    Announce(id);
    return 0;
}

int TalkService::StartCapture(bool broadcast, int* handle) {
    if (*handle != 0) return 0;
    int h = 0;
    if (QVXPlay_VoInit(&h) != QVXPLAY_OK) return -1;
    if (QVXPlay_VoSetVAttr(h, &kVoiceFormat) != QVXPLAY_OK ||
        QVXPlay_VoStart(h, broadcast ? BroadcastCaptured : TalkCaptured, this) != QVXPLAY_OK) {
        QVXPlay_VoDeInit(h);
        return -1;
    }
    *handle = h;
    return 0;
}

void TalkService::StopCapture(int* handle) {
    if (*handle == 0) return;
    QVXPlay_VoStop(*handle);
    QVXPlay_VoDeInit(*handle);
    *handle = 0;
}

int TalkService::StartBroadcastCapture() {
    std::lock_guard lock(opsMutex_);
    int handle = broadcastCapture_.load();
    if (handle != 0) return 0;
    if (StartCapture(true, &handle) != 0) {
        Trace("broadcast: the microphone cannot be captured\n");
        return -1;
    }
    broadcastCapture_ = handle;
    return 0;
}

int TalkService::StopBroadcastCapture() {
    std::lock_guard lock(opsMutex_);
    int handle = broadcastCapture_.exchange(0);
    StopCapture(&handle);
    return 0;
}

int TalkService::StartBroadcastMember(int device, int channel) {
    std::lock_guard lock(opsMutex_);
    int login = LoginOf(device, channel, "broadcast");
    if (login == 0) return -1;
    int id = ChannelIdOf(device, channel);
    if (talkHandles_[id].load() != 0) {
        Trace("broadcast to channel %d of device %d: the channel talks already\n", channel, device);
        return -1;
    }
    QVX_HANDLE handle = 0;
    if (int rc = QVX_SDK_StartVoiceCom(login, 0, nullptr, nullptr, 0, &handle); rc != 0) {
        Trace("broadcast to channel %d of device %d: the device refused (%d)\n", channel, device, rc);
        return rc;
    }
    talkHandles_[id] = handle;
    streamSeen_[id] = runtime_.channel(device, channel).mainStream.load();
    if (StartSender(id, true) != 0) {
        StopSender(id);
        QVX_SDK_StopVoiceCom(handle);
        talkHandles_[id] = 0;
        return -1;
    }
    Announce(id);
    return 0;
}

int TalkService::StartSender(int id, bool broadcast) {
    int device = DeviceIndexOf(id), channel = ChannelIndexOf(id);
    auto sender = std::make_unique<TalkSender>(
        id, [this, device, channel](const uint8_t* data, uint32_t length) {
            return SendTalkData(device, channel, data, length);
        });
    if (sender->Start() != 0) return -1;
    std::lock_guard lock(sendersMutex_);
    members_[id] = Member{std::move(sender), broadcast};
    return 0;
}

void TalkService::StopSender(int id) {
    std::unique_ptr<TalkSender> sender;
    {
        std::lock_guard lock(sendersMutex_);
        auto it = members_.find(id);
        if (it == members_.end()) return;
        sender = std::move(it->second.sender);
        members_.erase(it);
    }
    sender->Stop();  // outside the lock: the capture never waits for a sender's thread
}

void TalkService::Deliver(bool broadcast, const uint8_t* data, int length, uint32_t captureMs) {
    if (data == nullptr || length <= 0) return;
    std::lock_guard lock(sendersMutex_);
    for (auto& [id, member] : members_)
        if (member.broadcast == broadcast && talkHandles_[id].load() != 0)
            member.sender->Push(data, static_cast<uint32_t>(length), captureMs);
}

int TalkService::SendTalkData(int device, int channel, const uint8_t* data, uint32_t length) {
    if (device < 0 || device >= kMaxDevices || channel < 0 || channel >= kMaxChannels) return -1;
    int handle = talkHandles_[ChannelIdOf(device, channel)].load();
    // The device's login, not a live stream of the channel, carries the voice: a broadcast
    // reaches channels nobody watches.
    if (handle == 0 || runtime_.device(device).deviceState.load() != kDeviceOnline) return -1;
    return QVX_SDK_VoiceComSendData(handle, data, length);
}

uint64_t TalkService::SentBlocks(int channelId) const {
    std::lock_guard lock(sendersMutex_);
    auto it = members_.find(channelId);
    return it == members_.end() ? 0 : it->second.sender->Sent();
}

uint32_t TalkService::LastSentCaptureMs(int channelId) const {
    std::lock_guard lock(sendersMutex_);
    auto it = members_.find(channelId);
    return it == members_.end() ? 0 : it->second.sender->LastCaptureMs();
}

void TalkService::OnChannelReleased(int channelId) {
    if (!IsChannelId(channelId) || talkChannel_.load() != channelId) return;
    std::lock_guard lock(opsMutex_);
    StopTalkLocked(channelId);
}

void TalkService::Watch() {
    std::vector<CoreEventHub::Event> events;
    while (watching_.load()) {
        if (!reader_->Wait(std::chrono::milliseconds(200))) continue;
        events.clear();
        uint64_t missed = reader_->Read(&events);
        if (missed > 0) {
            // Fell behind: look at every talking channel again.
            for (int id = 0; id < kChannelIdCount; ++id)
                if (talkHandles_[id].load() != 0) OnChannelState(id);
        }
        for (const auto& e : events) {
            if (const auto* c = std::get_if<ChannelStateChanged>(&e.payload)) OnChannelState(c->channelId);
            else if (const auto* d = std::get_if<DeviceStateChanged>(&e.payload)) OnDeviceState(d->deviceIndex, d->state);
        }
    }
}

void TalkService::OnChannelState(int id) {
    if (!IsChannelId(id) || talkHandles_[id].load() == 0) return;
    std::lock_guard lock(opsMutex_);
    if (talkHandles_[id].load() == 0) return;
    int32_t now = runtime_.channel(id).mainStream.load();
    // The channel's stream was closed (CloseChannel): its talk goes with it.
    if (streamSeen_[id] != 0 && now == 0) {
        StopTalkLocked(id);
        return;
    }
    streamSeen_[id] = now;
}

void TalkService::OnDeviceState(int device, DeviceState state) {
    if (device < 0 || device >= kMaxDevices || state == kDeviceOnline) return;
    std::lock_guard lock(opsMutex_);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        int id = ChannelIdOf(device, ch);
        if (talkHandles_[id].load() != 0) StopTalkLocked(id);
    }
}

}  // namespace ocv
