#pragma once
// The live view's channel actions on the device side: snapshots of cells (the cell's player,
// the snapshot folders of backup/), disconnecting a channel for good, and marks for the
// time-sync worker.
#include "device/channel_actions.h"
#include "device/connection_service.h"
#include "device/player_channels.h"
#include "device/time_sync.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"

namespace ocv {

class ChannelActionService : public ChannelActions {
public:
    struct Parts {
        const ConfigStore& store;
        RuntimeTable& runtime;
        ConnectionService& connections;
        PlayerChannelSet& players;
        TimeSyncMarks& timeSync;
    };
    explicit ChannelActionService(Parts parts) : p_(parts) {}

    int CaptureCell(int slot, std::string* path) override;
    int DisconnectChannel(int device, int channel) override;
    int MarkTimeSync(int device, int channel) override;

    // How long a disconnect watches for a connect worker's last open (a worker turn and a bit);
    // tests shorten it.
    void SetWorkerGraceForTesting(int milliseconds) { workerGraceMs_ = milliseconds; }

private:
    bool Configured(int device, int channel) const;
    void CloseIfOpen(int device, int channel);

    Parts p_;
    int workerGraceMs_ = 600;
};

}  // namespace ocv
