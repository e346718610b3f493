#pragma once
// Playback of one recording file on a port. While the file plays, the port's decoding
// thread ("qvxplay-<n>") reads the records in order, decodes the pictures, paces them by
// their timestamps at the chosen speed and hands them to the port; it plays the sound at
// normal speed and follows a file that is still being written. Requests (play, pause,
// step, seek, speed) only leave a note for the thread and wake it; Stop joins it.
//
// Fast levels: when a picture is more than kSkipLateUs behind its time at a level above
// normal, the rest of its group of pictures is skipped without decoding and playback goes
// on from the next key frame. So at 8x and 16x a decoder that cannot keep up shows only
// key frames while the time line keeps its pace; at normal and slow levels every picture
// is shown and playback slows down instead (see PlaybackPacer).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "player/av_ptr.h"
#include "player/playback_clock.h"
#include "player/playback_pacer.h"
#include "player/recording_file.h"
#include "player/video_decoder.h"

namespace ocv::player {

// What the file thread hands to its port. Called on the file thread, no lock held.
class FileOutput {
public:
    // Counts one decoded access unit; the sequence number of its first picture.
    virtual uint64_t CountDecoded(bool damaged, const std::vector<AvFramePtr>& pictures) = 0;
    // A picture is shown now: drawn into the surface and kept for captures.
    virtual void ShowPicture(const AVFrame& picture, uint32_t timestampMs, uint64_t sequence) = 0;
    // Samples of an audio record, without its 4-byte audio header.
    virtual void PlaySound(const uint8_t* samples, size_t size) = 0;
    // The end of the file was reached; the port waits paused on the last picture.
    virtual void EndOfFile() = 0;

protected:
    ~FileOutput() = default;
};

class FilePlayback {
public:
    // A file written to within this time is still being recorded: at its end the thread
    // waits for more instead of ending.
    static constexpr int kDefaultFollowWindowMs = 3000;
    static constexpr int kFollowPollMs = 40;
    static constexpr int64_t kSkipLateUs = 100000;
    // Records read in one go before requests are looked at again.
    static constexpr int kRecordsPerTurn = 64;

    FilePlayback(FileOutput& output, int portNumber);
    ~FilePlayback();
    FilePlayback(const FilePlayback&) = delete;
    FilePlayback& operator=(const FilePlayback&) = delete;

    // Opens the file, to be played from the key frame at or before startPercent of its
    // duration. Only while stopped. 0, or -1 (trace line) when it is no playable recording.
    int Open(const std::string& path, int startPercent);
    // Stops and closes.
    void Close();
    bool IsOpen() const;
    StreamInfo Info() const;

    // Starts the thread, or resumes. -1 without a file.
    int Play();
    // -1 when the thread does not run (stopped).
    int Pause();
    // Ends the thread; the next Play starts at the beginning of the file. -1 when called
    // on the file thread itself (a state callback), which cannot wait for itself.
    int Stop();
    // Pauses and shows the next picture; several calls show as many pictures. From
    // stopped, the first step shows the picture where playing would start.
    int Step();
    // Goes to the key frame at or before percent (0..100) of the duration; while paused
    // the picture there is shown. While stopped, the next Play starts there.
    int Seek(int percent);
    int SetLevel(int level);
    int Level() const;

    int State() const;             // QVXPLAY_STATE_NONE / _STOPPED / _PLAYING / _PAUSED
    uint32_t DurationMs() const;   // of the whole video records known so far
    uint32_t PositionMs() const;   // of the picture shown last (or where playing starts)
    int PositionPercent() const;

    void SetClock(std::shared_ptr<PlaybackClock> clock);  // nullptr: the steady clock
    void SetFollowWindow(int ms);

private:
    struct Decoded {
        AvFramePtr frame;
        uint32_t timestampMs = 0;
        uint64_t sequence = 0;
    };
    struct Reading {
        uint64_t offset = 0;
        RecordSequence sequence;
        bool needKeyFrame = true;
        bool decoderFed = false;  // input since the last flush: a drain may give pictures
    };
    enum class Fill { kPicture, kAgain, kGrowing, kEnd };

    int StartThread(bool paused, int steps);
    void Run();
    void SeekTo(int percent, VideoDecoder& decoder, Reading* reading, std::deque<Decoded>* pending,
                PlaybackPacer* pacer);
    Fill FillPictures(VideoDecoder& decoder, Reading* reading, std::deque<Decoded>* pending,
                      const PlaybackPacer& pacer, PlaybackClock& clock, bool playSound,
                      int followWindowMs);
    void WaitForGrowth();
    void NoteDuration(uint32_t ms);

    FileOutput& output_;
    const int portNumber_;
    // The thread's alone while it runs; Open and Close touch it only while stopped.
    RecordingFile file_;
    std::vector<uint8_t> data_;
    std::vector<AvFramePtr> pictures_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool open_ = false;
    StreamInfo info_{};
    bool running_ = false;
    bool quit_ = false;
    bool paused_ = false;
    int steps_ = 0;
    std::optional<int> seekPercent_;
    int level_ = kNormalSpeedLevel;
    uint64_t serial_ = 0;  // bumped by every request: a paced wait ends and looks again
    std::shared_ptr<PlaybackClock> clock_;
    int followWindowMs_ = kDefaultFollowWindowMs;

    std::atomic<uint32_t> durationMs_{0};
    std::atomic<uint32_t> positionMs_{0};
};

}  // namespace ocv::player
