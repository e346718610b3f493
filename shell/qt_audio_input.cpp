#include "shell/qt_audio_input.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QEventLoop>
#include <QMediaDevices>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <memory>
#include <vector>

#include "base/trace.h"

namespace ocv {

bool HaveAudioInputDevice() {
    static std::atomic<bool> told{false};
    if (!QMediaDevices::defaultAudioInput().isNull()) return true;
    if (!told.exchange(true)) Trace("audio: no sound input device, talk and broadcast cannot send\n");
    return false;
}

namespace {

// 20 ms of the source at a time keeps the talk's delay low without waking the thread for
// every few samples.
constexpr int kPeriodMs = 20;

class QtAudioInput : public player::AudioInput {
public:
    ~QtAudioInput() override { Stop(); }

    int Start(int sampleRate, int channels, SamplesFn sink) override {
        Stop();
        if (sampleRate <= 0 || channels <= 0 || !sink || !HaveAudioInputDevice()) return -1;
        std::promise<int> started;
        std::future<int> result = started.get_future();
        // A QThread: the audio source's timers need one.
        thread_.reset(QThread::create([this, sampleRate, channels, sink = std::move(sink), &started]() mutable {
            Run(sampleRate, channels, std::move(sink), started);
        }));
        thread_->setObjectName("mic-in");
        thread_->start();
        int rc = result.get();
        if (rc != 0) {
            thread_->wait();
            thread_.reset();
        }
        return rc;
    }

    void Stop() override {
        if (!thread_) return;
        {
            std::lock_guard lock(loopMutex_);
            stopping_ = true;
            if (loop_) QMetaObject::invokeMethod(loop_, &QEventLoop::quit, Qt::QueuedConnection);
        }
        thread_->wait();
        thread_.reset();
        stopping_ = false;
    }

private:
    void Run(int sampleRate, int channels, SamplesFn sink, std::promise<int>& started) {
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(channels);
        format.setSampleFormat(QAudioFormat::Int16);
        QAudioDevice device = QMediaDevices::defaultAudioInput();
        if (!device.isFormatSupported(format)) {
            Trace("audio: the microphone does not offer %d Hz, %d channels, 16 bits\n", sampleRate, channels);
            started.set_value(-1);
            return;
        }
        QAudioSource source(device, format);
        source.setBufferSize(format.bytesForDuration(kPeriodMs * 4 * 1000));
        QIODevice* io = source.start();
        if (io == nullptr || source.error() != QAudio::NoError) {
            Trace("audio: the microphone cannot be opened (error %d)\n", static_cast<int>(source.error()));
            started.set_value(-1);
            return;
        }
        QEventLoop loop;
        std::vector<char> carry;  // an odd byte left over from the last read
        QObject::connect(io, &QIODevice::readyRead, &loop, [&] {
            QByteArray bytes = io->readAll();
            carry.insert(carry.end(), bytes.begin(), bytes.end());
            size_t samples = carry.size() / sizeof(int16_t);
            if (samples == 0) return;
            std::vector<int16_t> block(samples);
            std::memcpy(block.data(), carry.data(), samples * sizeof(int16_t));
            carry.erase(carry.begin(), carry.begin() + static_cast<std::ptrdiff_t>(samples * sizeof(int16_t)));
            sink(block.data(), block.size());
        });
        {
            std::lock_guard lock(loopMutex_);
            loop_ = &loop;
        }
        started.set_value(0);
        // A stop that came before the loop was known quits it at once.
        if (!stopping_.load()) loop.exec();
        {
            std::lock_guard lock(loopMutex_);
            loop_ = nullptr;
        }
        source.stop();
    }

    std::unique_ptr<QThread> thread_;
    std::mutex loopMutex_;
    QEventLoop* loop_ = nullptr;
    std::atomic<bool> stopping_{false};
};

}  // namespace

void InstallQtAudioInput() {
    player::SetAudioInputFactory([]() -> std::unique_ptr<player::AudioInput> {
        return std::make_unique<QtAudioInput>();
    });
}

}  // namespace ocv
