#pragma once
// Appends records to the daily log files under AppDir/Logx and prunes old ones.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "base/channel_id.h"
#include "events/log_record.h"
#include "runtime/core_events.h"

namespace ocv {

class LogWriter {
public:
    // HOST and PORT of a device slot; false when the slot is empty.
    using DeviceAddressFn = std::function<bool(int deviceIndex, std::string* host, int* port)>;

    explicit LogWriter(std::string logDirectory);

    // Set once before other threads write; the device field stays empty without it.
    void SetDeviceAddressResolver(DeviceAddressFn resolver) { deviceAddress_ = std::move(resolver); }
    // Where LogWritten is published for each record written; set once before other threads write.
    void SetEventHub(CoreEventHub* hub) { hub_ = hub; }

    // 0, or -1 for a log type outside 0..2. A device index outside 0..127 leaves the device field
    // empty; time 0 means the clock snapshot's now. A record that cannot be written is lost
    // silently (the caller has nobody to tell).
    int LogWrite(int logType, int subtype, int deviceIndex, int channelIndex, const char* note,
                 const char* user, int64_t time = 0);

    // Deletes the log files of days before now - logMonth x 7 days (a negative value counts as
    // one unit, 0 keeps only today) and writes a "Delete Logs" record for each. Only names of the
    // log pattern are touched. Returns the number of files deleted.
    int DeleteOldLogs(int logMonth);

    const std::string& Directory() const { return directory_; }

private:
    std::string directory_;
    DeviceAddressFn deviceAddress_;
    CoreEventHub* hub_ = nullptr;
    std::mutex typeLocks_[kLogTypeCount];
};

// True for "<A|S|O><8 digits>.log".
bool IsLogFileName(const std::string& name);

// Reads today's alarm log and hands every temperature record (subtypes 42 and 43) to post with
// the channel found by its device text; records of unknown channels are skipped. Returns the
// number of records posted.
using ChannelByDeviceTextFn = std::function<int(const std::string& deviceText)>;
using PostTemperatureFn =
    std::function<void(int channelId, int eventType, const char* note, uint32_t time)>;
int ReloadTodaysTemperatures(const std::string& logDirectory, const ChannelByDeviceTextFn& channelOf,
                             const PostTemperatureFn& post);

}  // namespace ocv
