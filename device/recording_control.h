#pragma once
// What pages ask of recording: a channel's manual recording. Implemented by RecordingService;
// the scheduler does everything else on its own thread.
namespace ocv {

class RecordingControl {
public:
    virtual ~RecordingControl() = default;

    // UI thread. Starts a manual recording of an open channel that records nothing now, on the
    // current record disk: 0, or -1 (no disk, not open, already recording).
    virtual int StartManualRecording(int device, int channel) = 0;
    // UI thread. Ends the channel's recording of whatever kind; 0, or -1 for an invalid channel.
    virtual int StopRecording(int device, int channel) = 0;
};

}  // namespace ocv
