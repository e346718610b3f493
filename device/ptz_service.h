#pragma once
// Pan, tilt, zoom, lens and preset commands passed to a channel's camera through the device
// library. Reads the connection fields of the runtime table; writes nothing.
#include "device/ptz_control.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"

namespace ocv {

class PtzService : public PtzControl {
public:
    PtzService(const ConfigStore& store, const RuntimeTable& runtime) : store_(store), runtime_(runtime) {}
    int SendPtz(int device, int channel, int command, int stop, int value) override;

private:
    const ConfigStore& store_;
    const RuntimeTable& runtime_;
};

}  // namespace ocv
