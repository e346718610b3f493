// libFuzzer target: arbitrary bytes as the body of an ONVIF device's SOAP reply (and of a
// request, as the simulator reads them), through every reader the standard-camera driver uses.
// The readers must neither crash nor hand on more than their documented bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sdk/onvif_soap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ocv::onvif;
    if (size > kMaxSoapBytes + 16) return 0;  // the client refuses longer bodies before parsing
    std::string xml(reinterpret_cast<const char*>(data), size);
    Fault fault = ParseFault(xml);
    if (fault.notAuthorized && !fault.present) __builtin_trap();
    time_t utc = 0;
    ParseSystemDateAndTime(xml, &utc);
    DeviceInformation info;
    ParseDeviceInformation(xml, &info);
    Capabilities caps;
    if (ParseCapabilities(xml, &caps) && (caps.inputs < 0 || caps.outputs < 0)) __builtin_trap();
    std::vector<Profile> profiles;
    if (ParseProfiles(xml, &profiles)) {
        if (profiles.size() > 128) __builtin_trap();
        for (const Profile& p : profiles)
            if (p.width < 0 || p.height < 0) __builtin_trap();
    }
    std::string uri;
    ParseMediaUri(xml, &uri);
    ParseSubscription(xml, &uri);
    std::vector<Notification> notes;
    if (ParsePullMessages(xml, &notes)) {
        if (notes.size() > 64) __builtin_trap();
        for (const Notification& n : notes) {
            int type = -1, state = -1;
            if (AlarmOf(n, &type, &state) && ((type != 0 && type != 1) || (state != 0 && state != 1)))
                __builtin_trap();
        }
    }
    Request request;
    if (ParseRequest(xml, &request) && request.operation.empty()) __builtin_trap();
    return 0;
}
