#include "bench/liveview/grid_peer.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "base/media_types.h"
#include "sdk/qvx_sdk.h"

namespace ocv::bench {
namespace {

struct Capture {
    std::mutex mutex;
    std::vector<uint8_t> bytes;
    int frames = 0;
    int wanted = 0;
    bool started = false;
    std::atomic<bool> done{false};
};

void OnData(QVX_HANDLE, int32_t kind, const uint8_t* data, int32_t length, intptr_t user) {
    auto* c = reinterpret_cast<Capture*>(user);
    if (kind != 1 || data == nullptr || length < static_cast<int32_t>(kFrameHeaderBytes) || c->done.load()) return;
    FrameHeader h;
    memcpy(&h, data, sizeof h);
    if (!IsVideoFrame(h)) return;
    uint32_t extensions = 72 * ((h.frameType / 10) % 10);
    uint32_t available = static_cast<uint32_t>(length) - kFrameHeaderBytes;
    if (h.dataLength > available || extensions > h.dataLength) return;
    std::lock_guard lock(c->mutex);
    if (!c->started && !IsKeyFrame(h)) return;
    c->started = true;
    c->bytes.insert(c->bytes.end(), data + kFrameHeaderBytes, data + kFrameHeaderBytes + h.dataLength - extensions);
    if (++c->frames >= c->wanted) c->done = true;
}

double ChildrenCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the command and waits; the CPU seconds it used.
double RunAndMeasure(std::vector<std::string> args) {
    double before = ChildrenCpuSeconds();
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "peer: ffmpeg failed (status %d)\n", status);
        return -1;
    }
    return ChildrenCpuSeconds() - before;
}

std::vector<std::string> PeerCommand(const std::vector<std::string>& files, int width, int height, bool convert,
                                     const std::string& limit) {
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin"};
    for (const std::string& f : files)
        args.insert(args.end(), {"-threads", "1", "-re", "-stream_loop", "-1", "-framerate", "25", "-f", "h264",
                                 "-i", f});
    args.insert(args.end(), {"-filter_threads", "1"});
    const std::string scale = "scale=" + std::to_string(width) + ":" + std::to_string(height) +
                              ":flags=fast_bilinear,format=bgra";
    for (size_t i = 0; i < files.size(); ++i) {
        args.insert(args.end(), {"-map", std::to_string(i) + ":v"});
        if (convert) args.insert(args.end(), {"-vf", scale});
        if (limit == "1") args.insert(args.end(), {"-frames:v", "1"});
        else args.insert(args.end(), {"-t", limit});
        args.insert(args.end(), {"-f", "null", "-"});
    }
    return args;
}

}  // namespace

std::vector<std::string> CaptureSubStreams(const std::string& host, int port, const char* user,
                                           const char* password, int channels, int frames,
                                           const std::string& dir, std::string* error) {
    QVX_HANDLE login = 0;
    QVX_DEVICE_INFO info{};
    if (QVX_SDK_Login(&login, host.c_str(), static_cast<uint16_t>(port), user, password, 0, 1, &info) != 0) {
        *error = "peer: the simulator refused the login";
        return {};
    }
    std::vector<std::unique_ptr<Capture>> captures;
    std::vector<QVX_HANDLE> streams;
    for (int ch = 0; ch < channels; ++ch) {
        auto c = std::make_unique<Capture>();
        c->wanted = frames;
        uint32_t request[QVX_REQUEST_WORDS] = {};
        request[1] = static_cast<uint32_t>(ch);
        request[2] = 1;
        request[4] = 1;
        QVX_HANDLE h = 0;
        if (QVX_SDK_RealPlay(login, request, OnData, reinterpret_cast<intptr_t>(c.get()), &h) == 0) streams.push_back(h);
        captures.push_back(std::move(c));
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(frames / 25 + 10);
    auto allDone = [&] {
        for (auto& c : captures)
            if (!c->done.load()) return false;
        return true;
    };
    while (!allDone() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (QVX_HANDLE h : streams) QVX_SDK_StopRealPlay(h);
    QVX_SDK_Logout(login);
    std::vector<std::string> files;
    for (int ch = 0; ch < channels; ++ch) {
        if (!captures[ch]->done.load()) {
            *error = "peer: channel " + std::to_string(ch) + " sent too few pictures";
            return {};
        }
        char name[32];
        snprintf(name, sizeof name, "/ch-%02d.h264", ch);
        std::ofstream out(dir + name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(captures[ch]->bytes.data()),
                  static_cast<std::streamsize>(captures[ch]->bytes.size()));
        if (!out) {
            *error = "peer: cannot write " + dir + name;
            return {};
        }
        files.push_back(dir + name);
    }
    return files;
}

PeerFigure RunFfmpegPeer(const std::vector<std::string>& files, int width, int height, bool convert, int seconds) {
    PeerFigure figure;
    figure.startup = RunAndMeasure(PeerCommand(files, width, height, convert, "1"));
    double cpu = RunAndMeasure(PeerCommand(files, width, height, convert, std::to_string(seconds)));
    if (figure.startup < 0 || cpu < 0) return figure;
    figure.cores = (cpu - figure.startup) / seconds;
    return figure;
}

}  // namespace ocv::bench
