#pragma once
// Two-way talk with one channel at a time and a voice broadcast to many. The microphone is
// captured by the player library (QVXPlay_Vo*) and goes to each channel through its own talk
// sender; the device's voice in a two-way talk plays through the client's audio output (the
// players' output factory).
//
// Owns the talk state: each channel's talk handle, the talk channel, the broadcast capture.
// Publishes ChannelStateChanged when a channel's talk starts or ends. A talk ends with the
// channel's stream (CloseChannel), with its device's login, and when the cell showing the
// two-way talk's channel lets it go (DeviceService's release hook).
//
// Threads: the operations come from the UI thread, the release hook (under a cell's slot lock)
// and the service's watcher (`talk-watch`), serialised by one lock; the capture callbacks run
// on the audio input's thread and only push into senders; each sender has its thread.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "device/talk_control.h"
#include "device/talk_sender.h"
#include "runtime/core_events.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"

namespace ocv {

class TalkService : public TalkControl {
public:
    TalkService(const ConfigStore& store, const RuntimeTable& runtime, CoreEventHub& hub);
    ~TalkService() override;
    TalkService(const TalkService&) = delete;
    TalkService& operator=(const TalkService&) = delete;

    // Starts the watcher that ends talks with their channel's stream and device login.
    void Start();
    // Ends every talk and the broadcast capture, and the watcher (before the hub closes).
    void Shutdown();

    int StartTalk(int device, int channel) override;
    int StopTalk(int device, int channel) override;
    int GetTalkChannel() const override { return talkChannel_.load(); }
    int StartBroadcastCapture() override;
    int StopBroadcastCapture() override;
    int IsBroadcasting() const override { return broadcastCapture_.load() != 0 ? 0 : -1; }
    int StartBroadcastMember(int device, int channel) override;
    int SendTalkData(int device, int channel, const uint8_t* data, uint32_t length) override;
    bool IsTalking(int channelId) const override;

    // The release hook: a cell stopped showing the channel; the two-way talk with it ends.
    void OnChannelReleased(int channelId);

    // Blocks sent to and dropped for a channel (tests, the benchmark); 0 without a sender.
    uint64_t SentBlocks(int channelId) const;
    // Capture time of the last block sent to the channel (voice clock milliseconds).
    uint32_t LastSentCaptureMs(int channelId) const;

    // The capture callbacks (public for the C trampolines).
    void Deliver(bool broadcast, const uint8_t* data, int length, uint32_t captureMs);

private:
    struct Member {
        std::unique_ptr<TalkSender> sender;
        bool broadcast;
    };

    // A channel the device has (within its channel count).
    bool Configured(int device, int channel) const;
    // Valid channel of a logged-in, online device: its login handle, else 0 (with a trace).
    int LoginOf(int device, int channel, const char* what) const;
    int StartSender(int channelId, bool broadcast);
    void StopSender(int channelId);
    int StopTalkLocked(int channelId);
    int StartCapture(bool broadcast, int* handle);
    static void StopCapture(int* handle);
    void Announce(int channelId) { PublishTo(&hub_, ChannelStateChanged{channelId}); }
    void Watch();
    void OnChannelState(int channelId);
    void OnDeviceState(int device, DeviceState state);

    const ConfigStore& store_;
    const RuntimeTable& runtime_;
    CoreEventHub& hub_;

    std::mutex opsMutex_;  // every operation that starts or ends a talk
    std::unique_ptr<std::atomic<int32_t>[]> talkHandles_{new std::atomic<int32_t>[kChannelIdCount]{}};
    // The live stream a talking channel had when last seen (its closing ends the talk).
    std::unique_ptr<int32_t[]> streamSeen_{new int32_t[kChannelIdCount]{}};
    std::atomic<int> talkChannel_{-1};
    std::atomic<int> broadcastCapture_{0};
    int talkCapture_ = 0;  // the two-way talk's microphone (under opsMutex_)

    mutable std::mutex sendersMutex_;  // the members, against the capture callbacks
    std::map<int, Member> members_;

    std::unique_ptr<CoreEventHub::Reader> reader_;
    std::atomic<bool> watching_{false};
    std::thread watcher_;
};

}  // namespace ocv
