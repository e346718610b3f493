#pragma once
// A microphone that plays a tone on a thread of its own in 20 ms blocks, and a speaker that
// keeps what it is given: the players' audio input and output for tests without a sound card.
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "player/audio_output.h"
#include "player/voice_input.h"

namespace ocv::test {

class ToneMicrophone : public player::AudioInput {
public:
    explicit ToneMicrophone(std::atomic<int>* running = nullptr) : running_(running) {}
    ~ToneMicrophone() override { Stop(); }
    int Start(int sampleRate, int channels, SamplesFn sink) override {
        if (sampleRate != 8000 || channels != 1) return -1;
        stop_ = false;
        if (running_) ++*running_;
        thread_ = std::thread([this, sink] {
            std::vector<int16_t> block(160);
            auto next = std::chrono::steady_clock::now();
            for (int n = 0; !stop_.load(); ++n) {
                for (size_t i = 0; i < block.size(); ++i)
                    block[i] = int16_t(8000 * std::sin(2 * M_PI * 1000 * double(n * 160 + int(i)) / 8000));
                sink(block.data(), block.size());
                next += std::chrono::milliseconds(20);
                std::this_thread::sleep_until(next);
            }
        });
        return 0;
    }
    void Stop() override {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
            if (running_) --*running_;
        }
    }

private:
    std::atomic<int>* running_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// What every speaker made by InstallSpeakers was given.
struct SpeakerLog {
    std::mutex mutex;
    std::vector<int16_t> samples;
    int opens = 0, stops = 0;
    size_t Count() {
        std::lock_guard lock(mutex);
        return samples.size();
    }
};

class LoggingSpeaker : public player::AudioOutput {
public:
    explicit LoggingSpeaker(std::shared_ptr<SpeakerLog> log) : log_(std::move(log)) {}
    int Start(int, int) override {
        std::lock_guard lock(log_->mutex);
        ++log_->opens;
        return 0;
    }
    void Write(const int16_t* samples, size_t count) override {
        std::lock_guard lock(log_->mutex);
        log_->samples.insert(log_->samples.end(), samples, samples + count);
    }
    void Stop() override {
        std::lock_guard lock(log_->mutex);
        ++log_->stops;
    }

private:
    std::shared_ptr<SpeakerLog> log_;
};

inline std::shared_ptr<SpeakerLog> InstallSpeakers() {
    auto log = std::make_shared<SpeakerLog>();
    player::SetAudioOutputFactory([log] { return std::make_unique<LoggingSpeaker>(log); });
    return log;
}

inline void InstallToneMicrophone(std::atomic<int>* running = nullptr) {
    player::SetAudioInputFactory([running] { return std::make_unique<ToneMicrophone>(running); });
}

inline void RemoveFakeAudio() {
    player::SetAudioOutputFactory(nullptr);
    player::SetAudioInputFactory(nullptr);
}

}  // namespace ocv::test
