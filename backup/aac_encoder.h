#pragma once
// AAC-LC encoding of mono 8 kHz sound on a thread of its own ("backup-aac"). Encoding costs
// more than muxing the pictures, so it runs beside the export instead of in its way: the
// exporting thread pushes samples and now and then takes the finished packets to write.
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AVCodecContext;
struct AVPacket;

namespace ocv::backup {

class AacEncoder {
public:
    static constexpr int kSampleRate = 8000;

    AacEncoder() = default;
    ~AacEncoder();
    AacEncoder(const AacEncoder&) = delete;
    AacEncoder& operator=(const AacEncoder&) = delete;

    // Opens the encoder and starts its thread. 0 or -1 (Error() says why).
    int Start();
    // The opened encoder, to describe the track (valid after Start).
    const AVCodecContext* Context() const { return context_; }
    // Samples in -1..1, in order.
    void Push(const float* samples, size_t count);
    // Packets encoded since the last call, in order (time base 1/8000); the caller frees them.
    void TakePackets(std::vector<AVPacket*>* out);
    // Encodes what is left, waits for the thread. 0 or -1.
    int Finish();
    // Ends the thread without encoding the rest.
    void Stop();
    std::string Error() const;

private:
    void Run();
    bool EncodeFrames(std::vector<float>* pending, bool final);
    bool Drain();

    AVCodecContext* context_ = nullptr;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<float> incoming_;    // pushed, not yet taken by the thread
    std::vector<AVPacket*> ready_;   // encoded, not yet taken by the writer
    bool finishing_ = false;
    bool stopping_ = false;
    std::string error_;
    // Encoder thread only.
    int64_t nextPts_ = 0;
};

}  // namespace ocv::backup
