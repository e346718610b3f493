#include "shell/qt_audio.h"

#include <pthread.h>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>
#include <atomic>

#include "base/trace.h"
#include "shell/wav_file.h"

namespace ocv {

bool HaveAudioOutputDevice() {
    static std::atomic<bool> told{false};
    if (!QMediaDevices::defaultAudioOutput().isNull()) return true;
    if (!told.exchange(true)) Trace("audio: no sound output device, the client runs silent\n");
    return false;
}

QtWavPlayer::~QtWavPlayer() {
    std::lock_guard<std::mutex> lock(asyncMutex_);
    if (async_.joinable()) async_.join();
}

void QtWavPlayer::PlayBlocking(const std::string& path) {
    WavSound sound;
    if (ReadWavFile(path, &sound) != 0) {
        Trace("audio: cannot play %s\n", path.c_str());
        return;
    }
    if (!HaveAudioOutputDevice()) return;
    QAudioFormat format;
    format.setSampleRate(sound.sampleRate);
    format.setChannelCount(sound.channels);
    format.setSampleFormat(sound.bitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
    QByteArray bytes(reinterpret_cast<const char*>(sound.data.data()), static_cast<qsizetype>(sound.data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // The calling thread (the alarm sound thread) runs its own event loop until the sink is done.
    QAudioSink sink(QMediaDevices::defaultAudioOutput(), format);
    QEventLoop loop;
    QObject::connect(&sink, &QAudioSink::stateChanged, &loop, [&](QAudio::State state) {
        if (state == QAudio::IdleState || state == QAudio::StoppedState) loop.quit();
    });
    QTimer::singleShot(sound.DurationMs() + 2000, &loop, &QEventLoop::quit);
    sink.start(&buffer);
    if (sink.error() == QAudio::NoError && sink.state() != QAudio::StoppedState) loop.exec();
    sink.stop();
}

void QtWavPlayer::PlayAsync(const std::string& path) {
    std::lock_guard<std::mutex> lock(asyncMutex_);
    if (async_.joinable()) async_.join();  // one test sound at a time
    async_ = std::thread([this, path] {
        pthread_setname_np(pthread_self(), "wav-async");
        PlayBlocking(path);
    });
}

namespace {

// Live sound of a player port: push mode, dropping what the device cannot take at once so the
// decoding thread never waits.
class QtAudioOutput : public player::AudioOutput {
public:
    int Start(int sampleRate, int channels) override {
        Stop();
        if (!HaveAudioOutputDevice()) return -1;
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(channels);
        format.setSampleFormat(QAudioFormat::Int16);
        sink_ = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), format);
        io_ = sink_->start();
        if (!io_) {
            sink_.reset();
            return -1;
        }
        return 0;
    }
    void Write(const int16_t* samples, size_t sampleCount) override {
        if (!io_ || !sink_) return;
        qsizetype bytes = static_cast<qsizetype>(sampleCount * sizeof(int16_t));
        qsizetype room = sink_->bytesFree();
        if (room <= 0) return;
        io_->write(reinterpret_cast<const char*>(samples), std::min(bytes, room));
    }
    void Stop() override {
        if (sink_) sink_->stop();
        io_ = nullptr;
        sink_.reset();
    }
    ~QtAudioOutput() override { Stop(); }

private:
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* io_ = nullptr;
};

}  // namespace

void InstallQtAudioOutput() {
    player::SetAudioOutputFactory([]() -> std::unique_ptr<player::AudioOutput> {
        return std::make_unique<QtAudioOutput>();
    });
}

}  // namespace ocv
