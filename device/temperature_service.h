#pragma once
// Temperature data of body-temperature screening cameras over their web interface: whether a
// device reports temperature support (kept in the runtime table), and its temperature log.
// Writes DeviceRuntime::thermalCapable (the connection service asks for the probe at login).
#include "device/temperature_queries.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"

namespace ocv {

class TemperatureService : public TemperatureQueries {
public:
    TemperatureService(const ConfigStore& store, RuntimeTable& runtime) : store_(store), runtime_(runtime) {}
    int ProbeTemperatureSupport(int device, int channel) override;
    int QueryTemperatureLog(int device, int channel, const TimeBound& start, const TimeBound& end, int filter,
                            std::vector<TemperatureRecord>* out) override;

private:
    const ConfigStore& store_;
    RuntimeTable& runtime_;
};

}  // namespace ocv
