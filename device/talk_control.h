#pragma once
// What pages ask of talk and broadcast: two-way talk with one channel at a time, and a voice
// broadcast of the local microphone to many channels. Implemented by TalkService; pages hold
// this interface, and tests hand them a fake.
//
// Results: 0, -1 for an invalid channel, a device that is not logged in and online, or a
// precondition that does not hold (the device library's own errors are returned unchanged).
#include <cstdint>

namespace ocv {

class TalkControl {
public:
    virtual ~TalkControl() = default;

    // UI thread (and the service's own threads). Only while no channel holds the talk, no
    // broadcast capture runs and the channel has no talk handle. The device's voice plays
    // through the client's audio output; the microphone goes to the device.
    virtual int StartTalk(int device, int channel) = 0;
    // 0 at once when the channel has no talk handle; ends a broadcast member as well.
    virtual int StopTalk(int device, int channel) = 0;
    // Any thread: the channel id holding the two-way talk, -1 for none.
    virtual int GetTalkChannel() const = 0;

    // The microphone capture of a broadcast: created when none exists, then started.
    virtual int StartBroadcastCapture() = 0;
    virtual int StopBroadcastCapture() = 0;
    // 0 while the broadcast capture exists, else -1. Any thread.
    virtual int IsBroadcasting() const = 0;
    // Opens a one-way voice channel to the channel and feeds it the broadcast capture.
    virtual int StartBroadcastMember(int device, int channel) = 0;

    // Any thread: hands captured A-law bytes to the channel's talk.
    virtual int SendTalkData(int device, int channel, const uint8_t* data, uint32_t length) = 0;
    // Any thread: the channel has a talk handle (two-way talk or broadcast member).
    virtual bool IsTalking(int channelId) const = 0;
};

}  // namespace ocv
