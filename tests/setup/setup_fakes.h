#pragma once
// Stand-ins for the device page's rules: connections that record what they were asked (and the
// stored port of the device at that moment), a store on a fresh database, and the operation log
// read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/clock.h"
#include "device/channel_connections.h"
#include "events/log_file_reader.h"
#include "events/log_writer.h"
#include "store/config_store.h"
#include "store/text_field.h"
#include "tests/support/temp_dir.h"
#include "tools/mkdb/mkdb.h"

namespace ocv::test {

class RecordingConnections : public ChannelConnections {
public:
    explicit RecordingConnections(const ConfigStore* store = nullptr) : store_(store) {}
    int StartConnectWorker(int, int) override { return 0; }
    int SetConnectPending(int, int, int) override { return 0; }
    int OpenThermalStream(int, int, void*) override { return -1; }
    int CloseThermalStream(int) override { return 0; }
    int IsThermalCapable(int, int) const override { return -1; }
    int StartDeviceThread(int device) override { return Note("start", device); }
    int StopDeviceThread(int device) override { return Note("stop", device); }
    int RetryLoginNow(int device) override { return Note("retry", device); }
    std::vector<int> ChannelsInUse(int device) const override {
        std::vector<int> used;
        for (int id : inUse)
            if (id / kMaxChannels == device) used.push_back(id % kMaxChannels);
        return used;
    }
    int ReopenChannels(int device, const std::vector<int>& channels) override {
        std::string list;
        for (int c : channels) list += (list.empty() ? "" : ",") + std::to_string(c);
        calls.push_back("reopen " + std::to_string(device) + " [" + list + "]");
        return int(channels.size());
    }

    std::vector<std::string> calls;
    // The port the store held for the device when it was stopped or started.
    std::vector<int> portAtCall;
    std::set<int> inUse;  // channel ids

private:
    int Note(const char* what, int device) {
        calls.push_back(std::string(what) + " " + std::to_string(device));
        portAtCall.push_back(store_ && !store_->device(device).IsEmpty() ? store_->device(device).port : -1);
        return 0;
    }
    const ConfigStore* store_;
};

// A store on a fresh database in a directory of its own, with a log writer beside it.
class StoreOnDisk {
public:
    StoreOnDisk() : log(dir / "Logx") {
        SetClockForTesting(2026, 5, 4, 10, 0, 0);
        std::filesystem::create_directories(dir / "Logx");
        EXPECT_EQ(mkdb::CreateEmptyDatabase(dir / "QVXVMS.dat"), 0);
        EXPECT_EQ(store.Open(dir / "QVXVMS.dat"), 0);
        store.LoadAll();
    }
    int Add(const std::string& host, int port, int channels, const std::string& name = "") {
        DeviceRecord r{};
        CopyText(r.host, host);
        CopyText(r.name, name);
        CopyText(r.user, "admin");
        CopyText(r.password, "kestr");
        r.port = port;
        r.channelCount = channels;
        int slot = -1;
        EXPECT_EQ(store.AddDevice(r, &slot), 0);
        return slot;
    }
    // "subtype note" of every operation log record, in order.
    std::vector<std::string> OperationLog() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir / "Logx", ec)) {
            if (e.path().filename().string()[0] != 'O') continue;
            LogFileReader reader(e.path().string());
            LogRecord r;
            while (reader.Next(&r)) out.push_back(std::to_string(r.subtype) + " " + r.note);
        }
        return out;
    }

    TempDir dir;
    ConfigStore store;
    LogWriter log;
};

}  // namespace ocv::test
