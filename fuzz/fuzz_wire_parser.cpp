// libFuzzer target: arbitrary bytes as they could arrive from a device or a client, through
// the same parser and assembler the library and the simulator use.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sdk/message_assembler.h"
#include "sdk/wire_format.h"
#include "sdk/wire_recorded.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ocv::wire;
    // 1. The pure parser over the whole input, message after message.
    size_t at = 0;
    while (at < size) {
        MessageView m;
        ParseResult r = ParseMessage(data + at, size - at, &m);
        if (r.status != ParseStatus::kComplete) break;
        if (r.consumed < kHeaderBytes || r.consumed > size - at) __builtin_trap();
        if (m.payloadBytes != r.consumed - kHeaderBytes) __builtin_trap();
        // Touch the payload as a consumer would: every byte must be inside the input.
        volatile uint8_t sink = 0;
        for (size_t i = 0; i < m.payloadBytes; i += 64) sink = sink ^ m.payload[i];
        // What a valid recorded-media message carries must decode as its reader does.
        if (m.header.kind == kFindFileReply) {
            uint32_t count = GetU32(m.payload + 4);
            if (kFindReplyFixedBytes + size_t(count) * kFileDescriptionBytes != m.payloadBytes) __builtin_trap();
            for (uint32_t i = 0; i < count; ++i) {
                FileDescription d;
                if (!DecodeFileDescription(m.payload + kFindReplyFixedBytes + size_t(i) * kFileDescriptionBytes, &d))
                    __builtin_trap();
                if (d.name.empty() || d.name.size() >= kFileNameBytes) __builtin_trap();
            }
        } else if (m.header.kind == kFindFile || m.header.kind == kDownloadOpen) {
            SearchCondition c = DecodeCondition(m.payload);
            if (!CheckCondition(c) && (c.start.month < 1 || c.end.month > 12)) __builtin_trap();
        }
        at += r.consumed;
    }
    // 2. The same bytes through the assembler in uneven reads, as a socket delivers them.
    MessageAssembler assembler(1024);
    size_t pos = 0, chunk = size ? (data[0] % 97) + 1 : 1;
    while (pos < size) {
        auto space = assembler.Space(512);
        size_t n = chunk < space.second ? chunk : space.second;
        if (n > size - pos) n = size - pos;
        std::memcpy(space.first, data + pos, n);
        assembler.Commit(n);
        pos += n;
        chunk = chunk * 7 % 1013 + 1;
        for (;;) {
            MessageView m;
            ParseResult r = assembler.Next(&m);
            if (r.status == ParseStatus::kError) return 0;
            if (r.status == ParseStatus::kNeedMore) break;
            if (m.payloadBytes > kMaxPayloadBytes) __builtin_trap();
        }
    }
    return 0;
}
