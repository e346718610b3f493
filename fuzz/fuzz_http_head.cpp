// libFuzzer target: arbitrary bytes as the head of a web port's reply.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sdk/http_head.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 16384) return 0;  // the client never reads a longer head
    ocv::sdk::HttpHead head;
    std::string text(reinterpret_cast<const char*>(data), size);
    if (ocv::sdk::ParseHttpHead(text, &head)) {
        if (head.status < 0 || head.status > 999) __builtin_trap();
        if (head.contentLength != std::string::npos && head.contentLength >= 1000000000000000ull) __builtin_trap();
    }
    return 0;
}
