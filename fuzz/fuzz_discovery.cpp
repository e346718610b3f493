// libFuzzer target: arbitrary datagrams as they could arrive at a discovery socket, through the
// same checks the library and the simulator use: the device protocol's discovery messages and
// the found-device record, and WS-Discovery SOAP through libxml2.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sdk/discovery_wire.h"
#include "sdk/wire_format.h"
#include "sdk/ws_discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ocv::wire;
    uint16_t kind = 0;
    const uint8_t* payload = nullptr;
    size_t bytes = 0;
    uint32_t sequence = 0;
    if (ParseDiscoveryDatagram(data, size, &kind, &payload, &bytes, &sequence)) {
        if (payload < data || payload + bytes > data + size) __builtin_trap();
        const uint8_t* record = kind == kSearchAnswer ? payload + kSearchIdBytes : kind == kNetConfig ? payload : nullptr;
        if (record) {
            FoundDevice d;
            // The parser accepted the datagram, so its record must decode, id within bounds.
            if (!DecodeFoundDevice(record, &d)) __builtin_trap();
            if (d.deviceId.empty() || d.deviceId.size() > kMaxDeviceIdChars) __builtin_trap();
            uint8_t again[kFoundRecordBytes];
            EncodeFoundDevice(d, again);
            FoundDevice back;
            if (!DecodeFoundDevice(again, &back) || back.deviceId != d.deviceId || back.address != d.address)
                __builtin_trap();
        }
    }
    const char* xml = reinterpret_cast<const char*>(data);
    ProbeRequest probe;
    ParseProbe(xml, size, &probe);
    std::vector<ProbeMatch> matches;
    if (ParseProbeMatches(xml, size, "", &matches)) {
        if (matches.size() > kMaxProbeMatches) __builtin_trap();
        for (const auto& m : matches) {
            FoundDevice d;
            if (FoundDeviceFromMatch(m, &d)) {
                if (d.deviceId.empty() || d.deviceId.size() > kMaxDeviceIdChars || d.address.size() >= 32)
                    __builtin_trap();
                uint8_t record[kFoundRecordBytes];
                EncodeFoundDevice(d, record);
                if (!DecodeFoundDevice(record, nullptr)) __builtin_trap();
            }
        }
    }
    return 0;
}
