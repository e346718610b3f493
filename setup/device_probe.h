#pragma once
// The device form's "Test" and "GET CHN": a login with what the form holds, through the driver
// of the chosen device type, and a logout at once. Blocks up to the device library's request
// time-out: never on the UI thread.
#include <string>

namespace ocv {

struct ProbeResult {
    int result = -1;       // the library's login result (0 logged in)
    int channelCount = 0;  // reported by the login
    std::string deviceType;
};

ProbeResult ProbeDevice(const std::string& host, int port, const std::string& user, const std::string& password,
                        int deviceType);

}  // namespace ocv
