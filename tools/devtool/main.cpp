// ocuvant-devtool: answers "why doesn't this camera work?" from the command line, through the
// same device library and recording writer the client uses.
//   probe --onvif http://HOST[:PORT] [--user U --password P]
//   record --url rtsp://... [--user U --password P] --seconds N --out FILE [--udp]
//   discover [--seconds N] [--unicast ADDR]
// Exit statuses: 0 done, 1 other failure, 2 wrong arguments, 3 no answer in time (unreachable),
// 4 connection refused, 5 user name or password refused, 6 video neither H.264 nor H.265.
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record/record_file_writer.h"
#include "sdk/onvif_client.h"
#include "sdk/qvx_sdk.h"
#include "sdk/stream_url.h"

namespace {

enum Exit { kDone = 0, kFailed = 1, kUsage = 2, kUnreachable = 3, kRefused = 4, kUnauthorised = 5, kCodec = 6 };

int Usage() {
    std::fprintf(stderr,
                 "usage: ocuvant-devtool probe --onvif http://HOST[:PORT] [--user U --password P]\n"
                 "       ocuvant-devtool record --url rtsp://... [--user U --password P] --seconds N --out FILE "
                 "[--udp]\n"
                 "       ocuvant-devtool discover [--seconds N] [--unicast ADDR]\n");
    return kUsage;
}

// Says what a library result means for the camera, and the exit status for it.
int Explain(const char* what, int result) {
    switch (result) {
    case QVX_OK: return kDone;
    case QVX_ERR_TIMEOUT:
        std::fprintf(stderr, "%s: no answer in time (is the address right and the camera on?)\n", what);
        return kUnreachable;
    case QVX_ERR_CONNECT:
        std::fprintf(stderr, "%s: connection refused or host unreachable (wrong port, or the service is off)\n", what);
        return kRefused;
    case QVX_ERR_PASSWORD:
        std::fprintf(stderr, "%s: the camera refused the user name or password\n", what);
        return kUnauthorised;
    case QVX_ERR_CODEC:
        std::fprintf(stderr, "%s: the video is neither H.264 nor H.265 (set the camera's encoding to H.264)\n", what);
        return kCodec;
    case QVX_ERR_DEVICE:
        std::fprintf(stderr, "%s: the camera refused the request or does not offer it\n", what);
        return kFailed;
    default: std::fprintf(stderr, "%s: failed (%d)\n", what, result); return kFailed;
    }
}

std::map<std::string, std::string> Options(int argc, char** argv, int from, bool* ok) {
    std::map<std::string, std::string> o;
    *ok = true;
    for (int i = from; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--udp") {
            o[a] = "1";
        } else if (a.rfind("--", 0) == 0 && i + 1 < argc) {
            o[a] = argv[++i];
        } else {
            std::fprintf(stderr, "ocuvant-devtool: unexpected \"%s\"\n", a.c_str());
            *ok = false;
        }
    }
    return o;
}

int Probe(std::map<std::string, std::string>& o) {
    ocv::sdk::Url url;
    if (!o.count("--onvif") || !ocv::sdk::ParseUrl(o["--onvif"], &url) || url.scheme == "rtsp") return Usage();
    if (url.path == "/") url.path = "/onvif/device_service";
    std::string user = o.count("--user") ? o["--user"] : url.user;
    std::string password = o.count("--password") ? o["--password"] : url.password;
    ocv::sdk::OnvifClient client(url, user, password, 5000);
    std::string where = ocv::sdk::UrlWithoutCredentials(url);
    time_t clock = 0;
    int rc = client.SyncClock(&clock);
    if (rc != QVX_OK) return Explain(where.c_str(), rc);
    long skew = long(clock - time(nullptr));
    std::printf("device      %s\nclock       %s (ours %+ld s)\n", where.c_str(), ocv::onvif::UtcText(clock).c_str(), skew);
    ocv::onvif::DeviceInformation info;
    rc = client.DeviceInformation(&info);
    if (rc != QVX_OK) return Explain("device information", rc);
    std::printf("maker       %s\nmodel       %s\nfirmware    %s\nserial      %s\n", info.manufacturer.c_str(),
                info.model.c_str(), info.firmware.c_str(), info.serial.c_str());
    ocv::onvif::Capabilities caps;
    rc = client.Capabilities(&caps);
    if (rc != QVX_OK) return Explain("capabilities", rc);
    std::printf("media       %s\nptz         %s\nevents      %s\ninputs      %d\n",
                caps.media.empty() ? "-" : caps.media.c_str(), caps.ptz.empty() ? "-" : caps.ptz.c_str(),
                caps.events.empty() ? "-" : caps.events.c_str(), caps.inputs);
    std::vector<ocv::onvif::Profile> profiles;
    rc = client.Profiles(&profiles);
    if (rc != QVX_OK) return Explain("profiles", rc);
    bool playable = false;
    for (const auto& p : profiles) {
        std::string stream, snapshot;
        client.StreamUri(p.token, &stream);
        client.SnapshotUri(p.token, &snapshot);
        bool ours = p.encoding == "H264" || p.encoding == "H265";
        playable |= ours;
        std::printf("profile     %s \"%s\" source %s %s %dx%d%s%s\n  stream    %s\n  snapshot  %s\n", p.token.c_str(),
                    p.name.c_str(), p.source.c_str(), p.encoding.c_str(), p.width, p.height, p.ptz ? " ptz" : "",
                    ours ? "" : " (not played: neither H.264 nor H.265)", stream.empty() ? "-" : stream.c_str(),
                    snapshot.empty() ? "-" : snapshot.c_str());
    }
    if (!playable) return Explain("profiles", QVX_ERR_CODEC);
    return kDone;
}

struct Recording {
    std::mutex mutex;
    ocv::RecordFileWriter writer;
    bool open = false;
    bool failed = false;
    std::atomic<uint64_t> video{0}, audio{0};
    static void Callback(QVX_HANDLE, int32_t kind, const uint8_t* data, int32_t length, intptr_t user) {
        auto* r = reinterpret_cast<Recording*>(user);
        std::lock_guard<std::mutex> lock(r->mutex);
        if (kind == QVX_DATA_STREAM_INFO && length == int32_t(sizeof(ocv::StreamInfo))) {
            if (r->open) return;  // a re-opened stream goes on in the same file
            ocv::StreamInfo info;
            std::memcpy(&info, data, sizeof info);
            r->writer.SetStreamInfo(info);
            struct timeval tv;
            gettimeofday(&tv, nullptr);
            struct tm local {};
            localtime_r(&tv.tv_sec, &local);
            uint32_t ms = uint32_t(((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + tv.tv_usec / 1000);
            r->open = r->writer.Open(ms) == 0;
            r->failed = !r->open;
            return;
        }
        if (kind != QVX_DATA_FRAME || !r->open || length < 16) return;
        if (r->writer.WriteFrame(data, uint32_t(length)) != 0) r->failed = true;
        uint32_t frameKind;
        std::memcpy(&frameKind, data, 4);
        (frameKind == 1 ? r->video : r->audio)++;
    }
};

int Record(std::map<std::string, std::string>& o) {
    ocv::sdk::Url url;
    if (!o.count("--url") || !o.count("--seconds") || !o.count("--out")) return Usage();
    if (!ocv::sdk::ParseUrl(o["--url"], &url) || url.scheme != "rtsp") {
        std::fprintf(stderr, "ocuvant-devtool: \"%s\" is not an rtsp:// URL\n", o["--url"].c_str());
        return kUsage;
    }
    int seconds = std::atoi(o["--seconds"].c_str());
    if (seconds < 1 || seconds > 86400) return Usage();
    std::string user = o.count("--user") ? o["--user"] : url.user;
    std::string password = o.count("--password") ? o["--password"] : url.password;
    Recording rec;
    if (rec.writer.Create(o["--out"]) != 0) return Usage();
    QVX_SDK_Init();
    if (o.count("--udp")) QVX_SDK_SetRtspTransport(QVX_RTSP_UDP);
    QVX_HANDLE login = 0;
    QVX_DEVICE_INFO info;
    std::string where = ocv::sdk::UrlWithoutCredentials(url);
    int rc = QVX_SDK_Login(&login, url.host.c_str(), url.port, user.c_str(), password.c_str(), QVX_PROTOCOL_RTSP_URL,
                           1, &info);
    if (rc == QVX_OK) rc = QVX_SDK_SetStreamUrl(login, 0, 0, where.c_str());
    QVX_HANDLE stream = 0;
    if (rc == QVX_OK) {
        uint32_t request[QVX_REQUEST_WORDS] = {};
        request[4] = 3;
        rc = QVX_SDK_RealPlay(login, request, &Recording::Callback, reinterpret_cast<intptr_t>(&rec), &stream);
    }
    if (rc != QVX_OK) {
        int status = Explain(where.c_str(), rc);
        QVX_SDK_Cleanup();
        return status;
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    QVX_SDK_StopRealPlay(stream);
    QVX_SDK_Logout(login);
    QVX_SDK_Cleanup();
    std::lock_guard<std::mutex> lock(rec.mutex);
    if (!rec.open || rec.writer.Close() != 0 || rec.failed) {
        std::fprintf(stderr, "%s: cannot write\n", o["--out"].c_str());
        return kFailed;
    }
    std::printf("%s: %llu pictures, %llu sound frames\n", o["--out"].c_str(),
                static_cast<unsigned long long>(rec.video.load()), static_cast<unsigned long long>(rec.audio.load()));
    if (rec.video == 0) {
        std::fprintf(stderr, "%s: no picture arrived in %d s\n", where.c_str(), seconds);
        return kFailed;
    }
    return kDone;
}

int Discover(std::map<std::string, std::string>& o) {
    int seconds = o.count("--seconds") ? std::atoi(o["--seconds"].c_str()) : 3;
    if (seconds < 1 || seconds > 60) return Usage();
    QVX_SDK_Init();
    int found = 0;
    for (int protocol : {QVX_SCH_PROTOCOL_ALL, QVX_SCH_PROTOCOL_ONVIF}) {
        QVX_HANDLE sch = 0;
        if (QVX_SDK_SchInitEx(&sch, seconds * 1000, protocol) != QVX_OK) continue;
        if (o.count("--unicast") && QVX_SDK_SchAddTarget(sch, o["--unicast"].c_str(), 0) != QVX_OK) {
            std::fprintf(stderr, "ocuvant-devtool: \"%s\" is not an IPv4 address\n", o["--unicast"].c_str());
            QVX_SDK_SchDestroy(sch);
            QVX_SDK_Cleanup();
            return kUsage;
        }
        std::vector<QVX_FOUND_DEVICE> records(256);
        int32_t count = 0;
        QVX_SDK_SchSearch(sch, records.data(), uint32_t(records.size() * sizeof(QVX_FOUND_DEVICE)), &count);
        for (int32_t i = 0; i < count; ++i) {
            const QVX_FOUND_DEVICE& d = records[size_t(i)];
            std::printf("%-6s %-15s port %-5u web %-5u %-8s id %s %s%s\n",
                        protocol == QVX_SCH_PROTOCOL_ONVIF ? "onvif" : "ours", d.address, d.port, d.webPort,
                        d.deviceType, d.deviceId, d.firmware, d.servicePath[0] ? (std::string(" ") + d.servicePath).c_str() : "");
            ++found;
        }
        QVX_SDK_SchDestroy(sch);
    }
    QVX_SDK_Cleanup();
    std::printf("%d found\n", found);
    return kDone;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string command = argv[1];
    bool ok = true;
    auto o = Options(argc, argv, 2, &ok);
    if (!ok) return Usage();
    if (command == "probe") return Probe(o);
    if (command == "record") return Record(o);
    if (command == "discover") return Discover(o);
    return Usage();
}
