#include "player/player_port.h"

#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include "player/display_geometry.h"
#include "player/frame_record.h"
#include "base/g711.h"
#include "player/picture_capture.h"
#include "player/present_schedule.h"
#include "player/video_decoder.h"

namespace ocv::player {
namespace {

using SteadyClock = std::chrono::steady_clock;

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

SteadyClock::time_point FromUs(int64_t us) {
    return SteadyClock::time_point(std::chrono::microseconds(us));
}

QueuedFrame CopyPayload(const FrameRecordView& view, bool video) {
    QueuedFrame frame;
    frame.video = video;
    frame.keyFrame = video && IsKeyFrameType(view.header.frameType);
    frame.timestampMs = view.header.timestampMs;
    frame.size = view.payloadSize;
    // The decoder reads ahead past the end of its input: zeroed padding keeps that safe.
    frame.data.resize(view.payloadSize + (video ? AV_INPUT_BUFFER_PADDING_SIZE : 0));
    std::memcpy(frame.data.data(), view.payload, view.payloadSize);
    return frame;
}

}  // namespace

namespace {
std::atomic<SmallPictureShortcut> gDefaultShortcut{SmallPictureShortcut::kNonReference};
}  // namespace

void SetDefaultSmallPictureShortcut(SmallPictureShortcut shortcut) { gDefaultShortcut = shortcut; }

PlayerPort::PlayerPort(int handle, int portNumber)
    : handle_(handle), portNumber_(portNumber), smallPictureShortcut_(gDefaultShortcut.load()) {}

PlayerPort::~PlayerPort() { Shutdown(); }

void PlayerPort::Shutdown() {
    CloseFile();
    Stop();
    CloseSound();
    SetDrawWnd(nullptr);
    RegisterDrawFun(nullptr, 0);
    SetStateCallBack(nullptr, 0);
}

int PlayerPort::SetDrawWnd(VideoSurface* surface) {
    std::shared_ptr<VideoSurface> held;
    if (surface) {
        held = surface->weak_from_this().lock();
        if (!held) held = std::shared_ptr<VideoSurface>(std::shared_ptr<VideoSurface>(), surface);
    }
    {
        std::lock_guard lock(surfaceMutex_);
        if (surface_ && surface_.get() != surface) surface_->DiscardPendingPicture();
        surface_.swap(held);
    }
    // The previous surface may go with this reference: outside the lock, on this thread.
    return 0;
}

int PlayerPort::SetDrawMode(int method) {
    if (method != QVXPLAY_DRAW_FAST && method != QVXPLAY_DRAW_SMOOTH) return -1;
    std::lock_guard lock(settingsMutex_);
    settings_.drawMethod = method;
    return 0;
}

int PlayerPort::SetDrawEnable(int enable) {
    if (enable != 0 && enable != 1) return -1;
    std::lock_guard lock(settingsMutex_);
    settings_.drawEnabled = enable == 1;
    return 0;
}

int PlayerPort::RegisterDrawFun(QVXPlayDrawFun fun, intptr_t user) {
    std::lock_guard lock(settingsMutex_);
    settings_.drawFun = fun;
    settings_.drawUser = user;
    return 0;
}

int PlayerPort::SetPlayerBufNumber(int frameCount) {
    if (frameCount < 0) return -1;
    std::lock_guard lock(inputMutex_);
    bufferedPictures_ = static_cast<size_t>(std::min(frameCount, QVXPLAY_MAX_BUFFERED_PICTURES));
    inputReady_.notify_one();
    return 0;
}

int PlayerPort::OpenStream(const StreamInfo& info) {
    {
        std::lock_guard lock(inputMutex_);
        streamInfo_ = info;
        streamOpen_ = true;
    }
    // A header without sound (the default header of a cell) keeps attributes already set.
    if (info.audioEncoding != kAudioNone) {
        QVXPlayAudioAttr attr{info.audioEncoding, info.audioSampleRate, info.audioChannels,
                              info.frameRate};
        SetAudioAttr(attr);
    }
    return 0;
}

int PlayerPort::Play() {
    std::lock_guard control(controlMutex_);
    if (file_.IsOpen()) return file_.Play();
    if (thread_.joinable()) {
        ResumeDecoder();  // after QVXPlay_Pause
        return 0;
    }
    {
        std::lock_guard lock(inputMutex_);
        if (!streamOpen_) return -1;
        queue_.Clear();
        stopRequested_ = false;
        flushRequested_ = false;
        playing_ = true;
        ++epoch_;
    }
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        std::lock_guard lock(inputMutex_);
        playing_ = false;
        return -1;
    }
    return 0;
}

int PlayerPort::Stop() {
    std::lock_guard control(controlMutex_);
    if (file_.IsOpen()) {
        if (file_.Stop() != 0) return -1;
        DropBufferedPictures();
        return 0;
    }
    return StopLocked();
}

int PlayerPort::StopLocked() {
    if (!thread_.joinable()) return 0;
    // A callback on the decoding thread cannot wait for its own thread.
    if (thread_.get_id() == std::this_thread::get_id()) return -1;
    {
        std::lock_guard lock(inputMutex_);
        stopRequested_ = true;
        playing_ = false;
        queue_.Clear();
        ++epoch_;
    }
    inputReady_.notify_one();
    thread_.join();
    DropBufferedPictures();
    return 0;
}

int PlayerPort::ResetSourceBuffer() {
    {
        std::lock_guard lock(inputMutex_);
        queue_.Clear();
        flushRequested_ = true;
        ++epoch_;
    }
    inputReady_.notify_one();
    DropBufferedPictures();
    return 0;
}

void PlayerPort::DropBufferedPictures() {
    // Taking the surface lock waits out a picture being made from older data; the epoch,
    // already bumped, stops every later one.
    {
        std::lock_guard lock(surfaceMutex_);
        if (surface_) surface_->DiscardPendingPicture();
    }
    std::lock_guard lock(lastPictureMutex_);
    lastPicture_.reset();
}

int PlayerPort::InputVideoData(const void* record, size_t length) {
    FrameRecordView view;
    if (ParseVideoRecord(record, length, &view) != 0) return -1;
    // Copied outside the lock; a paused port does not even copy.
    std::optional<QueuedFrame> frame;
    if (!paused_.load(std::memory_order_relaxed)) frame = CopyPayload(view, true);
    bool taken = false;
    uint64_t discarded = 0;
    {
        std::lock_guard lock(inputMutex_);
        if (!playing_) return -1;
        if (!frame || paused_.load(std::memory_order_relaxed)) {
            discarded = 1;
        } else {
            uint64_t before = queue_.DiscardedCount();
            taken = queue_.Push(std::move(*frame));
            discarded = queue_.DiscardedCount() - before;
        }
    }
    if (taken) inputReady_.notify_one();
    std::lock_guard lock(statsMutex_);
    if (taken) ++stats_.videoFramesTaken;
    stats_.framesDiscarded += discarded;
    return 0;
}

int PlayerPort::InputAudioData(const void* record, size_t length) {
    FrameRecordView view;
    if (ParseAudioRecord(record, length, &view) != 0) return -1;
    bool playable;
    {
        std::lock_guard lock(audioMutex_);
        playable = audioOutput_ != nullptr && !audioFailed_ &&
                   (audioAttr_.encoding == kAudioG711ALaw || audioAttr_.encoding == kAudioG711MuLaw);
    }
    {
        std::lock_guard lock(inputMutex_);
        if (!playing_) return -1;
        if (playable && !paused_.load(std::memory_order_relaxed)) {
            queue_.Push(CopyPayload(view, false));
            inputReady_.notify_one();
            return 0;
        }
    }
    std::lock_guard lock(statsMutex_);
    ++stats_.audioFramesDiscarded;
    return 0;
}

int PlayerPort::PauseDecoder() {
    if (paused_.load()) return 0;
    {
        std::lock_guard lock(inputMutex_);
        if (paused_.load()) return 0;
        paused_.store(true);
        queue_.Clear();
        ++epoch_;
    }
    inputReady_.notify_one();
    return 0;
}

int PlayerPort::ResumeDecoder() {
    if (!paused_.load()) return 0;
    std::lock_guard lock(inputMutex_);
    // The queue was cleared by the pause, so it waits for a key frame.
    queue_.RequireKeyFrame();
    paused_.store(false);
    return 0;
}

int PlayerPort::SetAudioAttr(const QVXPlayAudioAttr& attr) {
    std::lock_guard lock(audioMutex_);
    audioAttr_ = attr;
    audioFailed_ = false;
    return 0;
}

int PlayerPort::OpenSound() {
    {
        std::lock_guard lock(audioMutex_);
        if (audioOutput_) return 0;
    }
    std::unique_ptr<AudioOutput> output = MakeAudioOutput();
    if (!output) return -1;
    std::lock_guard lock(audioMutex_);
    if (!audioOutput_) {
        audioOutput_ = std::move(output);
        audioStartedRate_ = audioStartedChannels_ = 0;
        audioFailed_ = false;
    }
    return 0;
}

int PlayerPort::CloseSound() {
    std::unique_ptr<AudioOutput> output;
    {
        std::lock_guard lock(audioMutex_);
        output = std::move(audioOutput_);
        if (output && audioStartedRate_ != 0) output->Stop();
        audioStartedRate_ = audioStartedChannels_ = 0;
    }
    return 0;
}

int PlayerPort::GetSoundState() {
    std::lock_guard lock(audioMutex_);
    return audioOutput_ ? QVXPLAY_SOUND_PLAYING : QVXPLAY_SOUND_CLOSED;
}

int PlayerPort::SetDisplayMode(int mode) {
    if (mode != QVXPLAY_DISPLAY_STRETCH && mode != QVXPLAY_DISPLAY_KEEP) return -1;
    std::lock_guard lock(settingsMutex_);
    settings_.displayMode = mode;
    return 0;
}

int PlayerPort::GetDisplayMode() {
    std::lock_guard lock(settingsMutex_);
    return settings_.displayMode;
}

int PlayerPort::SetDisplayRegion(const QVXPlayRect* region) {
    std::lock_guard lock(settingsMutex_);
    settings_.hasRegion = region && region->right > region->left && region->bottom > region->top;
    settings_.region = settings_.hasRegion ? *region : QVXPlayRect{};
    return 0;
}

int PlayerPort::Capture(const char* path, int bitmapFlag, int quality) {
    if (!path || !*path) return -1;
    if (bitmapFlag == 0 && (quality < 1 || quality > 100)) return -1;
    AvFramePtr picture;
    {
        std::lock_guard lock(lastPictureMutex_);
        if (!lastPicture_) return -2;
        picture = RefFrame(lastPicture_.get());
    }
    if (!picture) return -1;
    return WritePictureFile(*picture, path, bitmapFlag != 0, quality);
}

PortStatistics PlayerPort::Statistics() {
    PortStatistics s;
    {
        std::lock_guard lock(statsMutex_);
        s = stats_;
    }
    std::lock_guard lock(inputMutex_);
    s.queuedFrames = static_cast<int>(queue_.FrameCount());
    return s;
}

void PlayerPort::Run() {
    char name[16];
    std::snprintf(name, sizeof name, "qvxplay-%d", portNumber_);
    pthread_setname_np(pthread_self(), name);

    uint32_t codec;
    {
        std::lock_guard lock(inputMutex_);
        codec = streamInfo_.videoCodec;
    }
    VideoDecoder decoder;
    bool decoderReady = decoder.Open(codec) == 0;
    uint32_t decoderCodecWord = codec;
    PresentSchedule<ScheduledPicture> schedule;
    std::vector<ScheduledPicture> decoded;
    std::vector<ScheduledPicture> due;
    uint64_t seenEpoch = epoch_.load();
    bool needKeyFrame = true;
    int pictureWidth = 0, pictureHeight = 0;  // of the last decoded picture

    for (;;) {
        std::optional<QueuedFrame> item;
        bool epochChanged = false;
        bool flush = false;
        {
            std::unique_lock lock(inputMutex_);
            for (;;) {
                if (stopRequested_) return;
                if (epoch_.load() != seenEpoch || queue_.FrameCount() > 0) break;
                std::optional<int64_t> nextUs = schedule.NextDueUs();
                if (!nextUs) {
                    inputReady_.wait(lock);
                } else if (NowUs() >= *nextUs) {
                    break;
                } else {
                    inputReady_.wait_until(lock, FromUs(*nextUs));
                }
            }
            uint64_t epoch = epoch_.load();
            if (epoch != seenEpoch) {
                seenEpoch = epoch;
                epochChanged = true;
                flush = std::exchange(flushRequested_, false);
            }
            item = queue_.Pop();
            schedule.SetCapacity(bufferedPictures_);
            codec = streamInfo_.videoCodec;
        }
        if (epochChanged) {
            schedule.Clear();
            if (flush) decoder.Flush();
            needKeyFrame = true;
        }
        // A new stream header with another codec word: a decoder for it, from a key frame on.
        if (codec != decoderCodecWord) {
            decoderCodecWord = codec;
            decoderReady = decoder.Open(codec) == 0;
            needKeyFrame = true;
        }
        due.clear();
        if (item && item->video && decoderReady) {
            decoder.SetSkipLoopFilter(LoopFilterSkipFor(pictureWidth, pictureHeight));
            decoded.clear();
            DecodeVideo(decoder, *item, seenEpoch, &needKeyFrame, &decoded);
            if (!decoded.empty()) {
                pictureWidth = decoded.back().frame->width;
                pictureHeight = decoded.back().frame->height;
            }
            if (decoder.SkipLoopFilter() != AVDISCARD_DEFAULT) {
                std::lock_guard lock(statsMutex_);
                ++stats_.shortcutDecodes;
            }
            int64_t now = NowUs();
            for (ScheduledPicture& p : decoded) {
                uint32_t ts = p.timestampMs;
                schedule.Push(std::move(p), ts, now, &due);
            }
        } else if (item && !item->video) {
            PlayAudio(item->data.data(), item->size);
        }
        schedule.TakeDue(NowUs(), &due);
        for (const ScheduledPicture& p : due) Present(*p.frame, p.timestampMs, p.sequence, p.epoch);
        std::lock_guard lock(statsMutex_);
        stats_.scheduledPictures = static_cast<int>(schedule.Size());
    }
}

AVDiscard PlayerPort::LoopFilterSkipFor(int pictureWidth, int pictureHeight) {
    SmallPictureShortcut shortcut = smallPictureShortcut_.load(std::memory_order_relaxed);
    if (shortcut == SmallPictureShortcut::kNone || pictureWidth <= 0 || pictureHeight <= 0) return AVDISCARD_DEFAULT;
    DrawSettings settings;
    {
        std::lock_guard lock(settingsMutex_);
        settings = settings_;
    }
    // Pictures that are not drawn are still captured: they keep their detail.
    if (!settings.drawEnabled) return AVDISCARD_DEFAULT;
    SurfaceFormat format;
    {
        std::lock_guard lock(surfaceMutex_);
        if (!surface_) return AVDISCARD_DEFAULT;
        format = surface_->CurrentFormat();
    }
    DisplayRequest request;
    request.pictureWidth = pictureWidth;
    request.pictureHeight = pictureHeight;
    request.hasRegion = settings.hasRegion;
    request.regionLeft = settings.region.left;
    request.regionTop = settings.region.top;
    request.regionRight = settings.region.right;
    request.regionBottom = settings.region.bottom;
    request.surfaceWidth = format.width;
    request.surfaceHeight = format.height;
    request.keepProportions = settings.displayMode == QVXPLAY_DISPLAY_KEEP;
    DisplayLayout layout;
    if (ComputeDisplayLayout(request, &layout) != 0) return AVDISCARD_DEFAULT;
    bool small = 2 * layout.destination.width < layout.source.width &&
                 2 * layout.destination.height < layout.source.height;
    if (!small) return AVDISCARD_DEFAULT;
    return shortcut == SmallPictureShortcut::kAllButKey ? AVDISCARD_NONKEY : AVDISCARD_NONREF;
}

void PlayerPort::DecodeVideo(VideoDecoder& decoder, const QueuedFrame& item, uint64_t epoch,
                              bool* needKeyFrame, std::vector<ScheduledPicture>* decoded) {
    if (*needKeyFrame && !item.keyFrame) {
        std::lock_guard lock(statsMutex_);
        ++stats_.framesDiscarded;
        return;
    }
    *needKeyFrame = false;
    std::vector<AvFramePtr> pictures;
    int rc = decoder.Decode(item.data.data(), item.size, item.timestampMs, &pictures);
    if (rc != 0) *needKeyFrame = true;  // damaged: the next clean picture is a key frame
    uint64_t firstSequence;
    {
        std::lock_guard lock(statsMutex_);
        if (rc != 0) ++stats_.decodeErrors;
        firstSequence = stats_.decodedPictures + 1;
        stats_.decodedPictures += pictures.size();
        if (!pictures.empty()) {
            stats_.pictureWidth = pictures.back()->width;
            stats_.pictureHeight = pictures.back()->height;
        }
    }
    if (!pictures.empty()) {
        std::lock_guard lock(lastPictureMutex_);
        if (epoch_.load() == epoch) {
            lastPicture_ = RefFrame(pictures.back().get());
            lastPictureSequence_ = firstSequence + pictures.size() - 1;
        }
    }
    for (size_t i = 0; i < pictures.size(); ++i) {
        uint32_t ts = pictures[i]->pts != AV_NOPTS_VALUE ? static_cast<uint32_t>(pictures[i]->pts)
                                                         : item.timestampMs;
        decoded->push_back(ScheduledPicture{std::move(pictures[i]), ts, firstSequence + i, epoch});
    }
}

void PlayerPort::PlayAudio(const uint8_t* samples, size_t size) {
    bool played = false;
    {
        std::lock_guard lock(audioMutex_);
        uint32_t encoding = audioAttr_.encoding;
        if (audioOutput_ && !audioFailed_ &&
            (encoding == kAudioG711ALaw || encoding == kAudioG711MuLaw)) {
            int rate = audioAttr_.sampleRate >= 4000 && audioAttr_.sampleRate <= 48000
                           ? static_cast<int>(audioAttr_.sampleRate)
                           : 8000;
            int channels = audioAttr_.channels == 2 ? 2 : 1;
            if (rate != audioStartedRate_ || channels != audioStartedChannels_) {
                if (audioStartedRate_ != 0) audioOutput_->Stop();
                audioStartedRate_ = audioStartedChannels_ = 0;
                if (audioOutput_->Start(rate, channels) == 0) {
                    audioStartedRate_ = rate;
                    audioStartedChannels_ = channels;
                } else {
                    audioFailed_ = true;
                }
            }
            if (audioStartedRate_ != 0) {
                size_t count = size - size % static_cast<size_t>(channels);
                pcm_.resize(count);
                if (count > 0 && g711::Decode(encoding, samples, count, pcm_.data()) == 0) {
                    audioOutput_->Write(pcm_.data(), count);
                    played = true;
                }
            }
        }
    }
    std::lock_guard lock(statsMutex_);
    if (played) ++stats_.audioFramesPlayed;
    else ++stats_.audioFramesDiscarded;
}

void PlayerPort::Present(const AVFrame& frame, uint32_t timestampMs, uint64_t sequence,
                         uint64_t epoch) {
    DrawSettings settings;
    {
        std::lock_guard lock(settingsMutex_);
        settings = settings_;
    }
    if (!settings.drawEnabled) return;
    std::lock_guard lock(surfaceMutex_);
    if (!surface_ || epoch_.load() != epoch) return;
    SurfaceFormat format = surface_->CurrentFormat();
    // A draw callback draws on the picture: never on the decoder's own planes.
    if (format.format == PixelFormat::kDecodedYuv && settings.drawFun) format.format = PixelFormat::kBgra32;
    DisplayRequest request;
    request.pictureWidth = frame.width;
    request.pictureHeight = frame.height;
    request.aspectNum = frame.sample_aspect_ratio.num;
    request.aspectDen = frame.sample_aspect_ratio.den;
    request.hasRegion = settings.hasRegion;
    request.regionLeft = settings.region.left;
    request.regionTop = settings.region.top;
    request.regionRight = settings.region.right;
    request.regionBottom = settings.region.bottom;
    request.surfaceWidth = format.width;
    request.surfaceHeight = format.height;
    request.keepProportions = settings.displayMode == QVXPLAY_DISPLAY_KEEP;
    DisplayLayout layout;
    if (ComputeDisplayLayout(request, &layout) != 0) return;
    std::shared_ptr<VideoPicture> picture =
        converter_.Convert(frame, layout, format.format, settings.drawMethod);
    if (!picture) return;
    picture->surfaceWidth = format.width;
    picture->surfaceHeight = format.height;
    picture->timestampMs = timestampMs;
    picture->sequence = sequence;
    if (settings.drawFun) {
        QVXPlayDrawContext context{};
        for (int i = 0; i < 3; ++i) {
            context.planes[i] = picture->planes[i];
            context.strides[i] = picture->strides[i];
        }
        context.pixelFormat = static_cast<int>(picture->format);
        context.width = picture->width;
        context.height = picture->height;
        settings.drawFun(handle_, &context, frame.width, frame.height, format.width,
                         format.height, layout.marginX, layout.marginY, settings.drawUser);
    }
    surface_->PostPicture(std::move(picture));
    surface_->PictureReady();
    std::lock_guard statsLock(statsMutex_);
    ++stats_.presentedPictures;
}

// Recording files.

int PlayerPort::OpenFile(const char* path, int startPercent) {
    if (!path || !*path || startPercent < 0 || startPercent > 100) return -1;
    std::lock_guard control(controlMutex_);
    // A live stream of this port gives way; its header stays for after the file.
    if (StopLocked() != 0) return -1;
    file_.Close();
    DropBufferedPictures();
    if (file_.Open(path, startPercent) != 0) return -1;
    StreamInfo info = file_.Info();
    if (info.audioEncoding != kAudioNone) {
        QVXPlayAudioAttr attr{info.audioEncoding, info.audioSampleRate, info.audioChannels,
                              info.frameRate};
        SetAudioAttr(attr);
    }
    return 0;
}

int PlayerPort::CloseFile() {
    std::lock_guard control(controlMutex_);
    if (!file_.IsOpen()) return 0;
    file_.Close();
    if (file_.IsOpen()) return -1;  // called from the file thread itself
    DropBufferedPictures();
    return 0;
}

int PlayerPort::Pause() {
    std::lock_guard control(controlMutex_);
    if (file_.IsOpen()) return file_.Pause();
    {
        std::lock_guard lock(inputMutex_);
        if (!playing_) return -1;
    }
    return PauseDecoder();
}

int PlayerPort::Fast() {
    std::lock_guard control(controlMutex_);
    return file_.SetLevel(std::min(file_.Level() + 1, kFastestSpeedLevel));
}

int PlayerPort::Slow() {
    std::lock_guard control(controlMutex_);
    return file_.SetLevel(std::max(file_.Level() - 1, kSlowestSpeedLevel));
}

int PlayerPort::SetRate(int level) {
    std::lock_guard control(controlMutex_);
    return file_.SetLevel(level);
}

int PlayerPort::GetPlaySpeed() { return file_.Level(); }

int PlayerPort::OneByOne() {
    std::lock_guard control(controlMutex_);
    return file_.Step();
}

int PlayerPort::ShowFrame() {
    AvFramePtr picture;
    uint64_t sequence;
    {
        std::lock_guard lock(lastPictureMutex_);
        if (!lastPicture_) return -2;
        picture = RefFrame(lastPicture_.get());
        sequence = lastPictureSequence_;
    }
    if (!picture) return -1;
    Present(*picture, static_cast<uint32_t>(picture->pts), sequence, epoch_.load());
    return 0;
}

int PlayerPort::GetPlayState() {
    int state = file_.State();
    if (state != QVXPLAY_STATE_NONE) return state;
    std::lock_guard lock(inputMutex_);
    if (!streamOpen_) return QVXPLAY_STATE_NONE;
    if (!playing_) return QVXPLAY_STATE_STOPPED;
    return paused_.load() ? QVXPLAY_STATE_PAUSED : QVXPLAY_STATE_PLAYING;
}

int PlayerPort::SetStateCallBack(QVXPlayStateFun fun, intptr_t user) {
    std::lock_guard lock(settingsMutex_);
    settings_.stateFun = fun;
    settings_.stateUser = user;
    return 0;
}

int PlayerPort::ShotImage(const char* path, int percent) {
    if (!path || !*path || percent < 0 || percent > 100) return -1;
    std::vector<AvFramePtr> pictures(1);
    uint32_t timestampMs = 0;
    {
        std::lock_guard lock(shotMutex_);
        if (shot_.Take(path, percent, &pictures[0], &timestampMs) != 0) return -1;
    }
    uint64_t sequence = CountDecoded(false, pictures);
    ShowPicture(*pictures[0], timestampMs, sequence);
    return 0;
}

int PlayerPort::GetFileTime() {
    if (!file_.IsOpen()) return -1;
    return static_cast<int>(std::min<uint32_t>(file_.DurationMs(), INT32_MAX));
}

int PlayerPort::GetPlayedTime() {
    if (!file_.IsOpen()) return -1;
    return static_cast<int>(std::min<uint32_t>(file_.PositionMs(), INT32_MAX));
}

int PlayerPort::GetPlayPos() {
    if (!file_.IsOpen()) return -1;
    return file_.PositionPercent();
}

int PlayerPort::SetPlayPos(int percent) {
    std::lock_guard control(controlMutex_);
    return file_.Seek(percent);
}

uint64_t PlayerPort::CountDecoded(bool damaged, const std::vector<AvFramePtr>& pictures) {
    std::lock_guard lock(statsMutex_);
    if (damaged) ++stats_.decodeErrors;
    uint64_t first = stats_.decodedPictures + 1;
    stats_.decodedPictures += pictures.size();
    if (!pictures.empty()) {
        stats_.pictureWidth = pictures.back()->width;
        stats_.pictureHeight = pictures.back()->height;
    }
    return first;
}

void PlayerPort::ShowPicture(const AVFrame& picture, uint32_t timestampMs, uint64_t sequence) {
    {
        std::lock_guard lock(lastPictureMutex_);
        lastPicture_ = RefFrame(&picture);
        lastPictureSequence_ = sequence;
    }
    Present(picture, timestampMs, sequence, epoch_.load());
}

void PlayerPort::EndOfFile() {
    QVXPlayStateFun fun;
    intptr_t user;
    {
        std::lock_guard lock(settingsMutex_);
        fun = settings_.stateFun;
        user = settings_.stateUser;
    }
    if (fun) fun(handle_, QVXPLAY_STATE_END, user);
}

}  // namespace ocv::player
