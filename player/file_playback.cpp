#include "player/file_playback.h"

#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "player/qvx_player.h"
#include "base/trace.h"

namespace ocv::player {

FilePlayback::FilePlayback(FileOutput& output, int portNumber)
    : output_(output), portNumber_(portNumber), clock_(SteadyPlaybackClock()) {}

FilePlayback::~FilePlayback() { Close(); }

int FilePlayback::Open(const std::string& path, int startPercent) {
    if (startPercent < 0 || startPercent > 100) return -1;
    {
        std::lock_guard lock(mutex_);
        if (running_) return -1;
        open_ = false;
    }
    durationMs_ = 0;
    positionMs_ = 0;
    if (file_.Open(path) != 0) return -1;
    std::lock_guard lock(mutex_);
    open_ = true;
    info_ = file_.Info();
    seekPercent_ = startPercent;
    paused_ = false;
    steps_ = 0;
    return 0;
}

void FilePlayback::Close() {
    Stop();
    std::lock_guard lock(mutex_);
    if (running_) return;  // Stop refused: called from the file thread
    file_.Close();
    open_ = false;
    info_ = StreamInfo{};
    seekPercent_.reset();
    durationMs_ = 0;
    positionMs_ = 0;
}

bool FilePlayback::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

StreamInfo FilePlayback::Info() const {
    std::lock_guard lock(mutex_);
    return info_;
}

int FilePlayback::StartThread(bool paused, int steps) {
    {
        std::lock_guard lock(mutex_);
        quit_ = false;
        paused_ = paused;
        steps_ = steps;
        running_ = true;
    }
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        Trace("Player: port %d cannot start its playing thread\n", portNumber_);
        std::lock_guard lock(mutex_);
        running_ = false;
        return -1;
    }
    return 0;
}

int FilePlayback::Play() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return -1;
        if (running_) {
            paused_ = false;
            steps_ = 0;
            ++serial_;
            wake_.notify_all();
            return 0;
        }
    }
    return StartThread(false, 0);
}

int FilePlayback::Pause() {
    std::lock_guard lock(mutex_);
    if (!running_) return -1;
    paused_ = true;
    ++serial_;
    wake_.notify_all();
    return 0;
}

int FilePlayback::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (!running_) {
            if (open_) seekPercent_ = 0;
            positionMs_ = 0;
            return 0;
        }
        if (thread_.get_id() == std::this_thread::get_id()) return -1;
        quit_ = true;
        ++serial_;
        wake_.notify_all();
    }
    thread_.join();
    std::lock_guard lock(mutex_);
    running_ = false;
    quit_ = false;
    paused_ = false;
    steps_ = 0;
    if (open_) seekPercent_ = 0;
    positionMs_ = 0;
    return 0;
}

int FilePlayback::Step() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return -1;
        if (running_) {
            paused_ = true;
            ++steps_;
            ++serial_;
            wake_.notify_all();
            return 0;
        }
    }
    return StartThread(true, 1);
}

int FilePlayback::Seek(int percent) {
    if (percent < 0 || percent > 100) return -1;
    std::lock_guard lock(mutex_);
    if (!open_) return -1;
    seekPercent_ = percent;
    ++serial_;
    wake_.notify_all();
    // Until the thread has found the key frame, the place asked for.
    positionMs_ = static_cast<uint32_t>(uint64_t{durationMs_.load()} * static_cast<uint32_t>(percent) / 100);
    return 0;
}

int FilePlayback::SetLevel(int level) {
    if (!IsSpeedLevel(level)) return -1;
    std::lock_guard lock(mutex_);
    level_ = level;
    ++serial_;
    wake_.notify_all();
    return 0;
}

int FilePlayback::Level() const {
    std::lock_guard lock(mutex_);
    return level_;
}

int FilePlayback::State() const {
    std::lock_guard lock(mutex_);
    if (!open_) return QVXPLAY_STATE_NONE;
    if (!running_) return QVXPLAY_STATE_STOPPED;
    return paused_ ? QVXPLAY_STATE_PAUSED : QVXPLAY_STATE_PLAYING;
}

uint32_t FilePlayback::DurationMs() const { return durationMs_.load(); }

uint32_t FilePlayback::PositionMs() const { return positionMs_.load(); }

int FilePlayback::PositionPercent() const {
    uint64_t duration = durationMs_.load();
    if (duration == 0) return 0;
    uint64_t percent = uint64_t{positionMs_.load()} * 100 / duration;
    return static_cast<int>(std::min<uint64_t>(percent, 100));
}

void FilePlayback::SetClock(std::shared_ptr<PlaybackClock> clock) {
    std::lock_guard lock(mutex_);
    clock_ = clock ? std::move(clock) : SteadyPlaybackClock();
}

void FilePlayback::SetFollowWindow(int ms) {
    std::lock_guard lock(mutex_);
    followWindowMs_ = std::max(ms, 0);
}

void FilePlayback::NoteDuration(uint32_t ms) {
    uint32_t known = durationMs_.load();
    while (ms > known && !durationMs_.compare_exchange_weak(known, ms)) {
    }
}

void FilePlayback::Run() {
    char name[16];
    std::snprintf(name, sizeof name, "qvxplay-%d", portNumber_);
    pthread_setname_np(pthread_self(), name);

    std::shared_ptr<PlaybackClock> clock;
    int followWindowMs;
    uint32_t codec;
    {
        std::lock_guard lock(mutex_);
        clock = clock_;
        followWindowMs = followWindowMs_;
        codec = info_.videoCodec;
    }
    VideoDecoder decoder;
    if (decoder.Open(codec) != 0)
        Trace("Player: port %d has no decoder for video codec %u\n", portNumber_, codec);
    const uint32_t start = file_.StartTimeMs();
    file_.ScanToEnd();
    NoteDuration(file_.DurationMs());

    Reading reading;
    reading.offset = kRecordHeaderBytes;
    reading.sequence.StartOfFile(start);
    std::deque<Decoded> pending;
    PlaybackPacer pacer;
    bool wasPaused = true;
    bool showNext = false;  // the first picture after a seek is shown even while paused

    for (;;) {
        bool paused;
        int level;
        uint64_t serial;  // requests seen: a later one makes the loop look again
        std::optional<int> seek;
        {
            std::unique_lock lock(mutex_);
            while (!quit_ && !seekPercent_ && paused_ && steps_ == 0 && !showNext) wake_.wait(lock);
            if (quit_) return;
            seek = std::exchange(seekPercent_, std::nullopt);
            paused = paused_;
            level = level_;
            serial = serial_;
        }
        if (seek) {
            SeekTo(*seek, decoder, &reading, &pending, &pacer);
            showNext = true;
            continue;
        }
        const int64_t now = clock->NowUs();
        pacer.SetLevel(level);
        if (wasPaused && !paused) pacer.Resume(now);
        wasPaused = paused;

        if (pending.empty()) {
            Fill fill = FillPictures(decoder, &reading, &pending, pacer, *clock,
                                     !paused && level == kNormalSpeedLevel, followWindowMs);
            if (fill == Fill::kAgain) continue;
            if (fill == Fill::kGrowing) {
                WaitForGrowth();
                continue;
            }
            if (fill == Fill::kEnd) {
                if (reading.decoderFed) {
                    // Pictures the decoder held back for reordering come out now.
                    pictures_.clear();
                    decoder.Drain(&pictures_);
                    reading.decoderFed = false;
                    reading.needKeyFrame = true;
                    uint64_t sequence = output_.CountDecoded(false, pictures_);
                    for (AvFramePtr& p : pictures_) {
                        auto ts = static_cast<uint32_t>(p->pts);
                        pending.push_back(Decoded{std::move(p), ts, sequence++});
                    }
                    if (!pending.empty()) continue;
                }
                {
                    std::lock_guard lock(mutex_);
                    paused_ = true;
                    steps_ = 0;
                }
                showNext = false;
                wasPaused = true;
                output_.EndOfFile();
                continue;
            }
        }

        if (!paused && !showNext) {
            // Now, not before decoding: that took its time.
            const int64_t due = pacer.DueUs(pending.front().timestampMs, clock->NowUs());
            std::unique_lock lock(mutex_);
            while (!quit_ && serial_ == serial && clock->NowUs() < due)
                clock->WaitUntil(lock, wake_, due);
            // A request came (a pause, a step, a seek...): look again; the picture stays
            // first in line.
            if (quit_ || serial_ != serial) continue;
        }
        Decoded picture = std::move(pending.front());
        pending.pop_front();
        const int64_t shownAt = clock->NowUs();
        output_.ShowPicture(*picture.frame, picture.timestampMs, picture.sequence);
        pacer.Shown(picture.timestampMs, shownAt);
        positionMs_ = picture.timestampMs - start;
        showNext = false;
        if (paused) {
            std::lock_guard lock(mutex_);
            if (steps_ > 0) --steps_;
        }
    }
}

void FilePlayback::SeekTo(int percent, VideoDecoder& decoder, Reading* reading,
                          std::deque<Decoded>* pending, PlaybackPacer* pacer) {
    const uint32_t start = file_.StartTimeMs();
    file_.Refresh();
    file_.ScanToEnd();
    NoteDuration(file_.DurationMs());
    auto target = static_cast<uint32_t>(uint64_t{durationMs_.load()} * static_cast<uint32_t>(percent) / 100);
    pending->clear();
    decoder.Flush();
    reading->decoderFed = false;
    reading->needKeyFrame = true;
    KeyFramePlace place;
    if (file_.FindKeyFrame(target, &place) == 0) {
        reading->offset = place.offset;
        reading->sequence.AfterKeyFrame(start, place.header);
        positionMs_ = place.timeMs;
    } else {
        reading->offset = kRecordHeaderBytes;
        reading->sequence.StartOfFile(start);
        positionMs_ = 0;
    }
    pacer->Reset();
}

FilePlayback::Fill FilePlayback::FillPictures(VideoDecoder& decoder, Reading* reading,
                                              std::deque<Decoded>* pending,
                                              const PlaybackPacer& pacer, PlaybackClock& clock,
                                              bool playSound, int followWindowMs) {
    const uint32_t start = file_.StartTimeMs();
    for (int n = 0; n < kRecordsPerTurn; ++n) {
        FileRecord record;
        ReadStatus status = file_.ReadHeader(reading->offset, &record);
        if (status == ReadStatus::kRecord && !reading->sequence.Accept(record.header))
            status = ReadStatus::kBad;
        if (status == ReadStatus::kEnd) {
            if (file_.Refresh()) continue;
            return file_.ModifiedWithin(followWindowMs) ? Fill::kGrowing : Fill::kEnd;
        }
        if (status == ReadStatus::kBad) {
            // Damage: go on at the next indexed key frame after it, if there is one.
            KeyFramePlace place;
            if (file_.NextIndexedKeyFrame(reading->offset, &place) != 0) return Fill::kEnd;
            reading->offset = place.offset;
            reading->sequence.AfterKeyFrame(start, place.header);
            reading->needKeyFrame = true;
            continue;
        }
        reading->offset = record.NextOffset();
        const FrameHeader& h = record.header;
        if (h.kind != kFrameKindVideo) {
            if (playSound && h.dataLength > kAudioHeaderBytes && file_.ReadData(record, 0, &data_) == 0)
                output_.PlaySound(data_.data() + kAudioHeaderBytes, h.dataLength - kAudioHeaderBytes);
            continue;
        }
        NoteDuration(h.timestampMs - start);
        const bool key = IsKeyFrameType(h.frameType);
        if (reading->needKeyFrame && !key) continue;
        if (!key && pacer.Level() > kNormalSpeedLevel &&
            pacer.LateUs(h.timestampMs, clock.NowUs()) > kSkipLateUs) {
            reading->needKeyFrame = true;  // the rest of this group of pictures goes
            continue;
        }
        const size_t extension = size_t{ExtensionBlockCount(h.frameType)} * kFrameExtensionBlockBytes;
        if (!decoder.IsOpen() || extension >= h.dataLength) continue;
        if (file_.ReadData(record, AV_INPUT_BUFFER_PADDING_SIZE, &data_) != 0) return Fill::kEnd;
        const size_t size = h.dataLength - extension;
        // The extension blocks are no picture data: they become part of the zero padding.
        std::memset(data_.data() + size, 0, extension);
        pictures_.clear();
        int rc = decoder.Decode(data_.data(), size, h.timestampMs, &pictures_);
        reading->decoderFed = true;
        reading->needKeyFrame = rc != 0;  // damaged: the next clean picture is a key frame
        uint64_t sequence = output_.CountDecoded(rc != 0, pictures_);
        for (AvFramePtr& p : pictures_) {
            uint32_t ts = p->pts != AV_NOPTS_VALUE ? static_cast<uint32_t>(p->pts) : h.timestampMs;
            pending->push_back(Decoded{std::move(p), ts, sequence++});
        }
        if (!pending->empty()) return Fill::kPicture;
    }
    return Fill::kAgain;
}

void FilePlayback::WaitForGrowth() {
    std::unique_lock lock(mutex_);
    const uint64_t serial = serial_;
    wake_.wait_for(lock, std::chrono::milliseconds(kFollowPollMs),
                   [&] { return quit_ || serial_ != serial; });
}

}  // namespace ocv::player
