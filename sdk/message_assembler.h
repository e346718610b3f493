#pragma once
// Collects bytes read from a socket and hands out the complete messages in them. The buffer
// grows only to the size a validated header announces, never beyond one maximal message, so
// a peer cannot make us allocate more than that by lying about lengths.
#include <cstring>
#include <utility>
#include <vector>

#include "sdk/wire_format.h"

namespace ocv::wire {

class MessageAssembler {
public:
    explicit MessageAssembler(size_t initialBytes = 64 * 1024) : buf_(initialBytes) {}

    // Where the next read may write, at least minFree bytes (as far as the bound allows).
    std::pair<uint8_t*, size_t> Space(size_t minFree = 16 * 1024) {
        if (begin_ == end_) begin_ = end_ = 0;
        if (buf_.size() - end_ < minFree && begin_ > 0) {
            std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (buf_.size() - end_ < minFree && buf_.size() < need_) buf_.resize(need_);
        return {buf_.data() + end_, buf_.size() - end_};
    }
    void Commit(size_t n) { end_ += n; }

    // The next complete message (valid until the next Space call), kNeedMore or kError.
    ParseResult Next(MessageView* out) {
        ParseResult r = ParseMessage(buf_.data() + begin_, end_ - begin_, out);
        if (r.status == ParseStatus::kComplete) {
            begin_ += r.consumed;
        } else if (r.status == ParseStatus::kNeedMore && end_ - begin_ >= kHeaderBytes) {
            // Header already validated by ParseMessage: make room for the whole message.
            size_t whole = kHeaderBytes + GetU32(buf_.data() + begin_ + 12);
            need_ = whole > kMinBytes ? whole : kMinBytes;
            if (buf_.size() - begin_ < whole) {
                std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
                end_ -= begin_;
                begin_ = 0;
                if (buf_.size() < whole) buf_.resize(whole);
            }
        }
        return r;
    }

private:
    static constexpr size_t kMinBytes = 64 * 1024;
    std::vector<uint8_t> buf_;
    size_t begin_ = 0, end_ = 0;
    size_t need_ = kMinBytes;
};

}  // namespace ocv::wire
