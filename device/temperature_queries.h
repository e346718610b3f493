#pragma once
// What pages ask of screening cameras over HTTP: whether a device reports temperature support,
// and its temperature log for a span. Both wait for the device: never call them on the UI
// thread (the live view's temperature worker does). Implemented by TemperatureService.
#include <vector>

#include "device/temperature_log.h"

namespace ocv {

struct TimeBound {
    int year, month, day, hour, minute, second;
};

class TemperatureQueries {
public:
    virtual ~TemperatureQueries() = default;
    virtual int ProbeTemperatureSupport(int device, int channel) = 0;
    // filter: TemperatureFilter. Appends the records of the span to *out.
    virtual int QueryTemperatureLog(int device, int channel, const TimeBound& start, const TimeBound& end,
                                    int filter, std::vector<TemperatureRecord>* out) = 0;
};

}  // namespace ocv
