// Resident memory and threads of the whole device side per open channel: the device service
// with 256 channels of simulated devices open (64 devices of 4 single-stream channels, each
// stream at --kbps), as the client runs them, with no player cell. Each case runs in a process
// of its own:
//   watched    the channels are only open (no recording possible: no recorder is made)
//   recording  every channel may record (armed, its motion alarm linked to recording), so it
//              pre-records from its open; after PREREC seconds the manual switch records it
// Resident memory is read from /proc/self/statm once every device is logged in (before any
// channel opens) and after the streams ran --seconds; the difference is shared out per channel.
// Threads are counted by kind at the end.
//   bench_service_memory [--devices 64] [--channels 4] [--kbps 4096] [--prerec 5] [--seconds 10]
//                        [--case watched|recording|all]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/device_types.h"
#include "base/port_slots.h"
#include "device/device_service.h"
#include "platform/app_dir.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"
#include "store/text_field.h"
#include "tests/sdk/devsim_process.h"
#include "tools/mkdb/mkdb.h"

namespace {

struct Options {
    int devices = 64;
    int channels = 4;
    int kbps = 4096;
    int prerec = 5;
    int seconds = 10;
    std::string which = "all";
};

double RssMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Threads by kind: the name without its trailing number.
std::map<std::string, int> ThreadsByKind() {
    std::map<std::string, int> out;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        if (!std::getline(comm, name)) continue;
        while (!name.empty() && (std::isdigit(static_cast<unsigned char>(name.back())) || name.back() == '-'))
            name.pop_back();
        ++out[name];
    }
    return out;
}

template <typename Done>
bool WaitFor(Done&& done, int seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int RunCase(const Options& o, const std::string& which, const ocv::test::DevsimProcess& sim) {
    const bool recording = which == "recording";
    ocv::test::TempDir app;
    ocv::SetAppDir(app.str());
    ocv::test::WriteText(app / "config.ini", "[DRIVES]\nD=" + app.str() + "/d\n");
    std::filesystem::create_directories(app / "d");
    ocv::ResetDeviceTypeTable();
    ocv::AddStandardCameraTypes();  // as the client does
    ocv::ResetPortSlots();
    ocv::RenewClockSnapshot();
    ocv::mkdb::CreateEmptyDatabase(app / "QVXVMS.dat");
    {
        ocv::ConfigStore store;
        store.Open(app / "QVXVMS.dat");
        store.LoadSettings();
        store.LoadDevices();
        for (int i = 0; i < o.devices; ++i) {
            ocv::DeviceRecord r{};
            ocv::CopyText(r.host, sim.device(i).address);
            r.port = sim.device(i).port;
            r.channelCount = o.channels;
            ocv::CopyText(r.user, "admin");
            ocv::CopyText(r.password, "pw");
            int slot = -1;
            store.AddDevice(r, &slot);
            store.ModifyChannel(slot, -1, ocv::kChannelStream, 0, nullptr, 0);  // the main stream
        }
    }
    QVX_SDK_Init();
    const int total = o.devices * o.channels;
    {
        ocv::DeviceService service(app / "QVXVMS.dat", app / "Logx");
        ocv::SystemSettings& s = service.store().MutableSettingsForTesting();
        ocv::SetRelaxed(s.SHOWMODE, 0);  // one stream per channel: the stored (main) one
        ocv::SetRelaxed(s.PLANREC, 0);
        ocv::SetRelaxed(s.DISK, recording ? 2 : 0);  // drive D, or none
        ocv::SetRelaxed(s.DISKREMAIN, 1);
        ocv::SetRelaxed(s.PREREC, o.prerec);
        ocv::SetRelaxed(s.ARMFLAG, recording ? 1 : 0);
        for (int d = 0; d < o.devices && recording; ++d)
            for (int ch = 0; ch < o.channels; ++ch) {
                ocv::ChannelInfo& c = service.store().device(d).channels[ch];
                ocv::SetRelaxed(c.armAlarm, 1);
                ocv::SetRelaxed(c.alarmMd, ocv::kLinkRecord);
                for (uint32_t& w : c.armSchedule) ocv::SetRelaxed(w, 0xFFFFFFu);
            }
        service.disks().CheckDisks();
        service.connections().StartAllDeviceThreads();
        if (!WaitFor([&] {
                for (int d = 0; d < o.devices; ++d)
                    if (service.runtime().device(d).loginHandle.load() == 0) return false;
                return true;
            }, 60)) {
            fprintf(stderr, "%s: not every device logged in\n", which.c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double before = RssMiB();
        int threadsBefore = 0;
        for (const auto& [kind, n] : ThreadsByKind()) threadsBefore += n;
        for (int d = 0; d < o.devices; ++d)
            for (int ch = 0; ch < o.channels; ++ch) service.connections().StartConnectWorker(d, ch);
        int open = 0;
        WaitFor([&] {
            open = 0;
            for (int d = 0; d < o.devices; ++d)
                for (int ch = 0; ch < o.channels; ++ch)
                    open += service.runtime().channel(d, ch).connectState.load() == ocv::kStreamOpen;
            return open == total;
        }, 60);
        int recorders = 0, recordingNow = 0;
        if (recording) {
            // Pre-record first, as a channel that may record keeps it before its recording starts.
            std::this_thread::sleep_for(std::chrono::seconds(o.prerec));
            for (int d = 0; d < o.devices; ++d)
                for (int ch = 0; ch < o.channels; ++ch) service.recording().StartManualRecording(d, ch);
        }
        std::this_thread::sleep_for(std::chrono::seconds(o.seconds));
        const double after = RssMiB();
        for (int d = 0; d < o.devices; ++d)
            for (int ch = 0; ch < o.channels; ++ch) {
                int id = ocv::ChannelIdOf(d, ch);
                recorders += service.recording().HasRecorder(id);
                recordingNow += service.runtime().channel(id).recordType.load() != ocv::kRecordNone;
            }
        // What the streams really carried: the bytes recorded over the recording seconds.
        double recordedKbps = 0;
        if (recording) {
            uintmax_t bytes = 0;
            for (const auto& e : std::filesystem::recursive_directory_iterator(app / "d"))
                if (e.is_regular_file()) bytes += e.file_size();
            recordedKbps = static_cast<double>(bytes) * 8 / 1000 / (o.seconds + o.prerec) / total;  // pre-record included
        }
        std::map<std::string, int> threads = ThreadsByKind();
        int threadCount = 0;
        for (const auto& [kind, n] : threads) threadCount += n;
        printf("%-9s %3d channels open of %d (%d devices), %d kbit/s, PREREC %d: %.3f MiB per channel "
               "(%.1f MiB before the opens, %.1f after %d s); %d recorders, %d recording, %.0f kbit/s recorded per channel\n",
               which.c_str(), open, total, o.devices, o.kbps, o.prerec, (after - before) / total, before, after,
               o.seconds + (recording ? o.prerec : 0), recorders, recordingNow, recordedKbps);
        printf("          threads: %d (%d before the opens):", threadCount, threadsBefore);
        for (const auto& [kind, n] : threads) printf(" %s %d", kind.c_str(), n);
        printf("\n");
        fflush(stdout);
        for (int d = 0; d < o.devices; ++d)
            for (int ch = 0; ch < o.channels; ++ch) service.recording().StopRecording(d, ch);
        service.connections().StopAllDevices();
    }
    QVX_SDK_Cleanup();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i], v = argv[i + 1];
        if (k == "--devices") o.devices = std::clamp(std::stoi(v), 1, 128);
        else if (k == "--channels") o.channels = std::clamp(std::stoi(v), 1, 16);
        else if (k == "--kbps") o.kbps = std::clamp(std::stoi(v), 64, 16384);
        else if (k == "--prerec") o.prerec = std::clamp(std::stoi(v), 0, 30);
        else if (k == "--seconds") o.seconds = std::clamp(std::stoi(v), 1, 600);
        else if (k == "--case") o.which = v;
    }
    ocv::test::DevsimProcess sim;
    ocv::test::WriteText(sim.dir() / "site.ini",
                         "[site]\nloop_frames=50\n[device]\nname=D\ntype=IPC\nuser=admin\npassword=pw\ncount=" +
                             std::to_string(o.devices) + "\nchannels=" + std::to_string(o.channels) +
                             "\nmain=352x288@" + std::to_string(o.kbps) + "\nsub=off\nkey_interval=25\n");
    std::string error;
    if (!sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::vector<std::string> cases = {"watched", "recording"};
    if (o.which != "all") cases = {o.which};
    for (const std::string& c : cases) {
        // A fresh process per case: no heap or thread of one case counts in the next.
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) _exit(RunCase(o, c, sim));
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fprintf(stderr, "case %s failed\n", c.c_str());
    }
    return 0;
}
