#include "tools/devsim/sim_device.h"
#include "tools/devsim/listener.h"

#include <turbojpeg.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/g711.h"
#include "sdk/qvx_sdk.h"
#include "sdk/wire_format.h"
#include "tools/devsim/device_session.h"
#include "tools/devsim/onvif_service.h"
#include "tools/devsim/rtsp_server.h"
#include "tools/devsim/test_picture.h"
#include "tools/devsim/web_server.h"

namespace ocv::devsim {

using namespace ocv::wire;

namespace {

std::atomic<bool> gQuiet{false};

void PutText(std::vector<uint8_t>& block, size_t offset, size_t field, const std::string& text) {
    size_t n = text.size() < field ? text.size() : field - 1;
    std::memcpy(block.data() + offset, text.data(), n);
}

void PutWord(std::vector<uint8_t>& block, size_t offset, uint32_t v) { ocv::wire::PutU32(block.data() + offset, v); }

const char* kStreamNames[3] = {"MAIN", "SUB", "THIRD"};

}  // namespace

void SetQuietLogging(bool quiet) { gQuiet = quiet; }

namespace {
std::atomic<bool> gClockTimestamps{false};
}
void SetClockTimestamps(bool on) { gClockTimestamps = on; }
bool ClockTimestamps() { return gClockTimestamps.load(); }

SimDevice::SimDevice(asio::io_context& io, DeviceConfig cfg, int index, int tempIntervalSec, ArchiveOptions archive)
    : io_(io),
      config_(std::move(cfg)),
      index_(index),
      tempIntervalSec_(tempIntervalSec),
      acceptor_(io),
      netStrand_(asio::make_strand(io)),
      archive_(archive) {
    net_.address = config_.address;
    net_.mask = "255.0.0.0";
    net_.gateway = "127.0.0.1";
    net_.dns1 = "127.0.0.53";
    net_.dns2 = "0.0.0.0";
    channelOn_.assign(size_t(config_.channels), true);
    // One second of a 1 kHz tone: a whole number of periods, so it loops without a click.
    tone_.resize(8000);
    for (size_t i = 0; i < tone_.size(); ++i) {
        double s = std::sin(2.0 * M_PI * 1000.0 * double(i) / 8000.0);
        tone_[i] = g711::LinearToALaw(int16_t(s * 8000.0));
    }
}

SimDevice::~SimDevice() = default;

int SimDevice::StreamCount() const {
    int n = 0;
    while (n < 3 && config_.streams[n].width > 0) ++n;
    return n;
}

bool SimDevice::Start(VideoLoopCache& loops, int loopFrames, std::string* error) {
    std::vector<int> kbps;
    for (int ch = 0; ch < config_.channels; ++ch) kbps.push_back(config_.StreamOf(ch, 0).bitrateKbps);
    store_ = std::make_unique<RecordingStore>(archive_, std::move(kbps));
    for (int type = 0; type < StreamCount(); ++type) {
        for (int ch = 0; ch < config_.channels; ++ch) {
            StreamConfig stream = config_.StreamOf(ch, type);
            if (stream.width == 0) {  // this channel lacks the stream
                loops_[type].push_back(nullptr);
                continue;
            }
            LoopParams p;
            p.width = stream.width;
            p.height = stream.height;
            p.bitrateKbps = stream.bitrateKbps;
            p.fps = config_.fps;
            p.keyInterval = config_.keyInterval;
            p.frames = loopFrames;
            char label[96];
            std::snprintf(label, sizeof label, "%s CH%02d %s", config_.name.c_str(), ch + 1, kStreamNames[type]);
            p.label = label;
            auto loop = loops.Get(p, error);
            if (!loop) return false;
            loops_[type].push_back(loop);
        }
    }
    if (IsScreeningCamera()) {
        // The thermal sensor's small picture, as screening cameras deliver it beside the video.
        LoopParams p;
        p.width = 256;
        p.height = 192;
        p.bitrateKbps = 192;
        p.fps = config_.fps;
        p.keyInterval = config_.keyInterval;
        p.frames = loopFrames;
        p.label = config_.name + " THERMAL";
        p.thermal = true;
        thermalLoop_ = loops.Get(p, error);
        if (!thermalLoop_) return false;
    }
    port_ = OpenListener(acceptor_, config_.address, config_.port, config_.name + ": port", error);
    if (port_ == 0) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        net_.port = port_;
    }
    if (config_.rtspPort >= 0) {
        rtsp_ = std::make_shared<RtspServer>(io_, *this);
        if (!rtsp_->Listen(config_.address, config_.rtspPort, error)) return false;
        rtspPort_ = rtsp_->port();
    }
    if (config_.onvif) onvif_ = std::make_unique<OnvifService>(io_, *this, rtspPort_);
    web_ = std::make_shared<WebServer>(io_, *this, tempIntervalSec_, onvif_.get());
    if (!web_->Listen(config_.address, config_.webPort, error)) return false;
    webPort_ = web_->port();
    Accept();
    return true;
}

void SimDevice::Stop() {
    asio::post(netStrand_, [self = shared_from_this()] {
        asio::error_code ignored;
        self->acceptor_.close(ignored);
    });
    if (web_) web_->Stop();
    if (onvif_) onvif_->Stop();
    if (rtsp_) rtsp_->Stop();
    CutAll();
}

time_t SimDevice::DeviceUtc() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::time(nullptr) + time_t(clockOffsetSec_);
}

void SimDevice::SetDeviceUtc(time_t utc) {
    std::lock_guard<std::mutex> lock(mutex_);
    clockOffsetSec_ = int64_t(utc) - int64_t(std::time(nullptr));
}

void SimDevice::Accept() {
    acceptor_.async_accept(asio::bind_executor(netStrand_, [self = shared_from_this()](const asio::error_code& ec,
                                                                                        asio::ip::tcp::socket socket) {
        if (ec) {
            if (ec != asio::error::operation_aborted && self->acceptor_.is_open()) self->Accept();
            return;
        }
        auto session = std::make_shared<DeviceSession>(self, std::move(socket));
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->sessions_[session.get()] = session;
        }
        session->Start();
        self->Accept();
    }));
}

NetSettings SimDevice::Network() {
    std::lock_guard<std::mutex> lock(mutex_);
    return net_;
}

std::string SimDevice::Mac() const {
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:51:56:58:%02X:%02X", (index_ >> 8) & 0xFF, index_ & 0xFF);
    return mac;
}

void SimDevice::ApplyNetwork(const NetSettings& settings, std::function<void(int32_t)> done) {
    asio::post(netStrand_, [self = shared_from_this(), settings, done = std::move(done)] {
        asio::error_code ec;
        auto address = asio::ip::make_address_v4(settings.address, ec);
        if (ec || (address.to_uint() >> 24) != 127 || settings.port < 1 || settings.port > 65535) {
            self->Log("network settings refused: %s:%d", settings.address.c_str(), settings.port);
            return done(kDeviceRefused);
        }
        NetSettings old = self->Network();
        bool moves = settings.address != old.address || settings.port != old.port;
        if (moves) {
            // Closing cancels the pending accept; the aborted handler does not re-arm it.
            asio::error_code ignored;
            self->acceptor_.close(ignored);
            std::string error;
            int port = OpenListener(self->acceptor_, settings.address, settings.port, self->config_.name + ": port", &error);
            if (port == 0) {
                self->Log("cannot move to %s:%d (%s), staying", settings.address.c_str(), settings.port, error.c_str());
                OpenListener(self->acceptor_, old.address, old.port, self->config_.name + ": port", &error);
                self->Accept();
                return done(kDeviceRefused);
            }
            self->port_ = port;
            self->Accept();
        }
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->net_ = settings;
        }
        self->Record("network " + settings.address + ":" + std::to_string(settings.port) + " gateway " +
                     settings.gateway);
        done(kDeviceOk);
    });
}

std::vector<std::shared_ptr<DeviceSession>> SimDevice::Sessions() {
    std::vector<std::shared_ptr<DeviceSession>> out;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [p, w] : sessions_) {
        if (auto s = w.lock()) out.push_back(s);
    }
    return out;
}

void SimDevice::Forget(DeviceSession* session) {
    std::lock_guard<std::mutex> lock(mutex_);
    sessions_.erase(session);
}

void SimDevice::Log(const char* format, ...) {
    if (gQuiet) return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::tm local{};
    localtime_r(&now, &local);  // sessions log from several I/O threads at once
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::fprintf(stderr, "%s [%s] %s\n", stamp, config_.name.c_str(), line);
}

void SimDevice::Record(const std::string& line) {
    Log("received: %s", line.c_str());
    std::lock_guard<std::mutex> lock(mutex_);
    if (report_.size() < 10000) report_.push_back(line);
}

void SimDevice::AddTalkBytes(size_t n, uint32_t) {
    std::lock_guard<std::mutex> lock(mutex_);
    talkBytes_ += n;
}

std::vector<std::string> SimDevice::Report() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out = report_;
    out.push_back("talkbytes " + std::to_string(talkBytes_));
    int streams = 0;
    for (auto& [p, w] : sessions_) {
        if (auto s = w.lock(); s && s->streaming()) ++streams;
    }
    out.push_back("streams " + std::to_string(streams));
    if (rtsp_) out.push_back("rtsp " + std::to_string(rtsp_->Playing()));
    return out;
}

void SimDevice::ClearReport() {
    std::lock_guard<std::mutex> lock(mutex_);
    report_.clear();
    talkBytes_ = 0;
}

void SimDevice::SetStreamRefused(int streamType, bool refused) {
    if (streamType < 0 || streamType > 2) return;
    uint32_t bit = 1u << streamType;
    if (refused) refusedStreams_.fetch_or(bit);
    else refusedStreams_.fetch_and(~bit);
}

bool SimDevice::StreamRefused(int streamType) const {
    return streamType >= 0 && streamType <= 2 && (refusedStreams_.load() & (1u << streamType)) != 0;
}

std::shared_ptr<const VideoLoop> SimDevice::Loop(int streamType, int channel) const {
    if (streamType == kThermalStream) return channel >= 0 && channel < config_.channels ? thermalLoop_ : nullptr;
    if (streamType < 0 || streamType > 2 || channel < 0 || size_t(channel) >= loops_[streamType].size()) return nullptr;
    return loops_[streamType][size_t(channel)];
}

int SimDevice::RaiseEvent(int channel, int type, int state, const std::string& text) {
    if (frozen_) return 0;
    std::string t = text.substr(0, kMaxEventTextBytes);
    auto payload = PayloadWriter()
                       .U32(uint32_t(channel))
                       .U32(uint32_t(type))
                       .U32(uint32_t(state))
                       .U32(uint32_t(std::time(nullptr)))
                       .U32(uint32_t(t.size()))
                       .Bytes(t.data(), t.size())
                       .bytes();
    int n = 0;
    for (auto& s : Sessions()) {
        if (s->purpose() == kPurposeControl) {
            s->OfferEvent(payload);
            ++n;
        }
    }
    if (onvif_) {
        onvif_->Notify(channel, type, state != 0);
        n += onvif_->Subscriptions();
    }
    Log("event channel %d type %d state %d: %s", channel, type, state, t.c_str());
    return n;
}

void SimDevice::CutAll() {
    auto all = Sessions();
    int rtsp = rtsp_ ? rtsp_->CutAll() : 0;
    Log("cutting %zu connections and %d RTSP connections", all.size(), rtsp);
    for (auto& s : all) s->Cut();
}

int SimDevice::CutStream(int channel, int streamType) {
    int n = 0;
    for (auto& s : Sessions()) {
        if (s->purpose() == kPurposeLiveStream && s->channel() == channel &&
            (streamType < 0 || s->streamType() == streamType)) {
            s->Cut();
            ++n;
        }
    }
    if (rtsp_) n += rtsp_->Cut(channel, streamType);
    Log("cut %d streams of channel %d", n, channel);
    return n;
}

void SimDevice::SetChannelOn(int channel, bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (channel < 0 || size_t(channel) >= channelOn_.size()) return;
        channelOn_[size_t(channel)] = on;
    }
    Log("channel %d switched %s", channel, on ? "on" : "off");
    if (on) return;
    for (auto& s : Sessions()) {
        if (s->purpose() == kPurposeLiveStream && s->channel() == channel) s->EndStream(1);
    }
    // RTSP has no word for "ended on purpose": the connection closes.
    if (rtsp_) rtsp_->Cut(channel, -1);
}

bool SimDevice::ChannelOn(int channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    return channel >= 0 && size_t(channel) < channelOn_.size() && channelOn_[size_t(channel)];
}

void SimDevice::ScheduleReboot() {
    auto timer = std::make_shared<asio::steady_timer>(io_, std::chrono::milliseconds(300));
    timer->async_wait([self = shared_from_this(), timer](const asio::error_code&) {
        self->Log("rebooting");
        self->CutAll();
    });
}

std::vector<uint8_t> SimDevice::InfoBlock() const {
    std::vector<uint8_t> b(kDeviceInfoBytes, 0);
    PutWord(b, 0, uint32_t(kDeviceInfoBytes));
    PutWord(b, 4, uint32_t(config_.channels));
    PutWord(b, 8, uint32_t(config_.channels));   // one alarm input a channel
    PutWord(b, 12, 1);
    PutWord(b, 16, uint32_t(StreamCount()));
    PutWord(b, 20, uint32_t(webPort_));
    PutWord(b, 24, kProtocolVersion);
    PutWord(b, 28, 1);
    PutText(b, 32, 32, config_.type);
    PutText(b, 64, 64, config_.deviceId);
    PutText(b, 128, 64, config_.name);
    PutText(b, 192, 32, Mac());
    PutText(b, 232, 64, config_.firmware);
    return b;
}

std::vector<uint8_t> SimDevice::DefaultRecord(int channel, uint32_t command, uint32_t streamIndex) const {
    std::vector<uint8_t> r(size_t(QVX_SDK_ConfigSize(command)), 0);
    switch (command) {
    case QVX_CMD_COLOR:
        for (int i = 0; i < 4; ++i) PutWord(r, size_t(i) * 4, 128);
        break;
    case QVX_CMD_QUALITY: {
        StreamConfig s = config_.StreamOf(channel, int(streamIndex));
        PutWord(r, 4, streamIndex);
        PutWord(r, 12, uint32_t(config_.fps));
        PutWord(r, 16, uint32_t(s.bitrateKbps));
        PutWord(r, 20, uint32_t(config_.keyInterval));
        PutWord(r, 24, 0);
        PutWord(r, 28, 3);
        PutWord(r, 32, uint32_t(s.width));
        PutWord(r, 36, uint32_t(s.height));
        break;
    }
    case QVX_CMD_OSD: {
        PutWord(r, 0, 1);
        PutWord(r, 4, 1);
        char name[32];
        std::snprintf(name, sizeof name, "CH%02d", channel + 1);
        PutText(r, 8, 64, name);
        break;
    }
    case QVX_CMD_PTZ_PORT:
        PutWord(r, 4, 9600);
        PutWord(r, 8, 8);
        PutWord(r, 12, 1);
        PutWord(r, 20, uint32_t(channel + 1));
        break;
    case QVX_CMD_NETWORK: {
        NetSettings n = net_;  // the caller holds mutex_
        PutWord(r, 4, uint32_t(n.port));
        PutText(r, 12, 32, n.address);
        PutText(r, 44, 32, n.mask);
        PutText(r, 76, 32, n.gateway);
        PutText(r, 108, 32, Mac());
        PutText(r, 140, 32, n.dns1);
        PutText(r, 172, 32, n.dns2);
        break;
    }
    case QVX_CMD_CAPABILITY:
        PutWord(r, 0, uint32_t(config_.channels));
        PutWord(r, 4, uint32_t(StreamCount()));
        PutWord(r, 8, uint32_t(config_.channels));
        PutWord(r, 12, 1);
        break;
    case QVX_CMD_MOTION:
        PutWord(r, 4, 0);
        PutWord(r, 8, 3);
        break;
    case QVX_CMD_STREAM_CHOICE: PutWord(r, 0, 6); break;
    default: break;
    }
    return r;
}

int32_t SimDevice::ReadConfig(int channel, uint32_t command, const std::vector<uint8_t>& selector, uint32_t length,
                              std::vector<uint8_t>* reply) {
    int32_t size = QVX_SDK_ConfigSize(command);
    if (size == 0) return kDeviceUnsupported;
    if (uint32_t(size) != length) return kDeviceWrongSize;
    if (channel < 0 || channel >= config_.channels) return kDeviceRefused;
    if (command == QVX_CMD_CHANNEL_STATUS) {
        // Byte 4 + n is '1' while channel n is on.
        reply->assign(size_t(size), 0);
        PutWord(*reply, 0, uint32_t(config_.channels));
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t n = 0; n < channelOn_.size(); ++n) (*reply)[4 + n] = channelOn_[n] ? '1' : '0';
        return kDeviceOk;
    }
    if (command == QVX_CMD_CLOCK) {
        int64_t now;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            now = int64_t(std::time(nullptr)) + clockOffsetSec_;
        }
        std::time_t t = std::time_t(now);
        std::tm tm{};
        localtime_r(&t, &tm);
        reply->assign(size_t(size), 0);
        uint32_t words[6] = {uint32_t(tm.tm_year + 1900), uint32_t(tm.tm_mon + 1), uint32_t(tm.tm_mday),
                             uint32_t(tm.tm_hour), uint32_t(tm.tm_min), uint32_t(tm.tm_sec)};
        for (int i = 0; i < 6; ++i) PutWord(*reply, size_t(i) * 4, words[i]);
        return kDeviceOk;
    }
    uint32_t streamIndex = 0;
    if (command == QVX_CMD_QUALITY) {
        streamIndex = selector.size() >= 8 ? GetU32(selector.data() + 4) : 0;
        if (streamIndex >= uint32_t(StreamCount()) || config_.StreamOf(channel, int(streamIndex)).width == 0) {
            return kDeviceRefused;
        }
    }
    int recordChannel = (command == QVX_CMD_CAPABILITY || command == QVX_CMD_NETWORK) ? 0 : channel;
    std::lock_guard<std::mutex> lock(mutex_);
    auto key = std::make_tuple(command, recordChannel, streamIndex);
    auto it = records_.find(key);
    *reply = it != records_.end() ? it->second : DefaultRecord(recordChannel, command, streamIndex);
    return kDeviceOk;
}

int32_t SimDevice::WriteConfig(int channel, uint32_t command, const uint8_t* data, uint32_t length) {
    int32_t size = QVX_SDK_ConfigSize(command);
    if (size == 0 || command == QVX_CMD_CHANNEL_STATUS || command == QVX_CMD_CAPABILITY) return kDeviceUnsupported;
    if (uint32_t(size) != length) return kDeviceWrongSize;
    if (channel < 0 || channel >= config_.channels) return kDeviceRefused;
    uint32_t streamIndex = 0;
    if (command == QVX_CMD_QUALITY) {
        streamIndex = GetU32(data + 4);
        if (streamIndex >= uint32_t(StreamCount()) || config_.StreamOf(channel, int(streamIndex)).width == 0) {
            return kDeviceRefused;
        }
    }
    if (command == QVX_CMD_STREAM_CHOICE) {
        uint32_t v = GetU32(data);
        if (v != 6 && v != 0) return kDeviceRefused;
    }
    char line[96];
    std::snprintf(line, sizeof line, "config %d 0x%04x %u", channel, command, length);
    Record(line);
    std::lock_guard<std::mutex> lock(mutex_);
    if (command == QVX_CMD_CLOCK) {
        std::tm tm{};
        tm.tm_year = int(GetU32(data)) - 1900;
        tm.tm_mon = int(GetU32(data + 4)) - 1;
        tm.tm_mday = int(GetU32(data + 8));
        tm.tm_hour = int(GetU32(data + 12));
        tm.tm_min = int(GetU32(data + 16));
        tm.tm_sec = int(GetU32(data + 20));
        tm.tm_isdst = -1;
        std::time_t set = mktime(&tm);
        if (set == std::time_t(-1) || tm.tm_year < 70 || tm.tm_year > 200) return kDeviceRefused;
        clockOffsetSec_ = int64_t(set) - int64_t(std::time(nullptr));
        return kDeviceOk;
    }
    int recordChannel = command == QVX_CMD_NETWORK ? 0 : channel;
    records_[std::make_tuple(command, recordChannel, streamIndex)] = std::vector<uint8_t>(data, data + length);
    return kDeviceOk;
}

std::vector<uint8_t> SimDevice::SnapshotJpeg(int channel, int number) {
    StreamConfig s = config_.StreamOf(channel, 0);
    I420Picture pic;
    char label[96];
    std::snprintf(label, sizeof label, "%s CH%02d SNAP %d", config_.name.c_str(), channel + 1, number);
    DrawTestPicture(&pic, s.width, s.height, label, int(std::time(nullptr) % 1000), config_.fps);
    tjhandle tj = tjInitCompress();
    if (!tj) return {};
    const unsigned char* planes[3] = {pic.y.data(), pic.u.data(), pic.v.data()};
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    int rc = tjCompressFromYUVPlanes(tj, planes, s.width, nullptr, s.height, TJSAMP_420, &jpeg, &jpegSize, 85, 0);
    std::vector<uint8_t> out;
    if (rc == 0 && jpegSize < 0xF0000) out.assign(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

}  // namespace ocv::devsim
