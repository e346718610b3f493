#include "backup/mp4_index_mover.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ocv::backup {
namespace {

constexpr uint64_t kMaxIndexBytes = 256ull << 20;
constexpr uint64_t kMaxFtypBytes = 4096;
constexpr size_t kShiftChunkBytes = 4 << 20;

uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}
uint64_t Be64(const uint8_t* p) { return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4); }
void PutBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void PutBe64(uint8_t* p, uint64_t v) {
    PutBe32(p, static_cast<uint32_t>(v >> 32));
    PutBe32(p + 4, static_cast<uint32_t>(v));
}

bool ReadAt(int fd, void* data, size_t size, uint64_t at) {
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
        ssize_t n = pread(fd, p, size, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        at += static_cast<uint64_t>(n);
    }
    return true;
}

bool WriteAt(int fd, const void* data, size_t size, uint64_t at) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = pwrite(fd, p, size, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        at += static_cast<uint64_t>(n);
    }
    return true;
}

struct Box {
    uint64_t at = 0;
    uint64_t size = 0;
    uint32_t header = 8;
    char type[5] = {};
};

// The box starting at p (within end); false when its size does not fit.
bool ParseBox(const uint8_t* p, const uint8_t* end, uint64_t at, Box* box) {
    if (end - p < 8) return false;
    uint64_t size = Be32(p);
    box->header = 8;
    if (size == 1) {
        if (end - p < 16) return false;
        size = Be64(p + 8);
        box->header = 16;
    } else if (size == 0) {
        size = static_cast<uint64_t>(end - p);
    }
    if (size < box->header || size > static_cast<uint64_t>(end - p)) return false;
    box->at = at;
    box->size = size;
    memcpy(box->type, p + 4, 4);
    return true;
}

// A box of the file itself, read from its header.
bool ReadTopBox(int fd, uint64_t at, uint64_t fileSize, Box* box) {
    uint8_t head[16] = {};
    size_t n = static_cast<size_t>(std::min<uint64_t>(16, fileSize - at));
    if (n < 8 || !ReadAt(fd, head, n, at)) return false;
    uint64_t size = Be32(head);
    box->header = 8;
    if (size == 1) {
        if (n < 16) return false;
        size = Be64(head + 8);
        box->header = 16;
    } else if (size == 0) {
        size = fileSize - at;
    }
    if (size < box->header || size > fileSize - at) return false;
    box->at = at;
    box->size = size;
    memcpy(box->type, head + 4, 4);
    return true;
}

bool Is(const Box& b, const char* type) { return memcmp(b.type, type, 4) == 0; }

// Adds delta to every chunk offset (stco, co64) below the boxes in [p, end). false for a box
// that does not fit or an offset that would no longer fit its field.
bool MoveChunkOffsets(uint8_t* p, uint8_t* end, uint64_t delta) {
    while (p < end) {
        Box b;
        if (!ParseBox(p, end, 0, &b)) return false;
        uint8_t* body = p + b.header;
        uint8_t* bodyEnd = p + b.size;
        if (Is(b, "trak") || Is(b, "mdia") || Is(b, "minf") || Is(b, "stbl")) {
            if (!MoveChunkOffsets(body, bodyEnd, delta)) return false;
        } else if (Is(b, "stco") || Is(b, "co64")) {
            size_t width = Is(b, "stco") ? 4 : 8;
            if (bodyEnd - body < 8) return false;
            uint64_t count = Be32(body + 4);
            if (count > static_cast<uint64_t>(bodyEnd - body - 8) / width) return false;
            for (uint64_t i = 0; i < count; ++i) {
                uint8_t* e = body + 8 + i * width;
                if (width == 4) {
                    uint64_t v = Be32(e) + delta;
                    if (v > UINT32_MAX) return false;
                    PutBe32(e, static_cast<uint32_t>(v));
                } else {
                    PutBe64(e, Be64(e) + delta);
                }
            }
        }
        p = bodyEnd;
    }
    return true;
}

}  // namespace

int MoveMp4IndexToFront(int fd, bool allowInsertRange, std::string* error) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        *error = std::string("cannot read the file: ") + strerror(errno);
        return -2;
    }
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    uint64_t block = st.st_blksize > 0 ? static_cast<uint64_t>(st.st_blksize) : 4096;

    // The top-level boxes: ftyp first, the index last, the media data before it.
    std::vector<Box> boxes;
    for (uint64_t at = 0; at < fileSize;) {
        Box b;
        if (!ReadTopBox(fd, at, fileSize, &b)) {
            *error = "damaged box at byte " + std::to_string(at);
            return -2;
        }
        boxes.push_back(b);
        at += b.size;
    }
    int moov = -1, mdat = -1;
    for (size_t i = 0; i < boxes.size(); ++i) {
        if (Is(boxes[i], "moov")) moov = static_cast<int>(i);
        if (Is(boxes[i], "mdat") && mdat < 0) mdat = static_cast<int>(i);
    }
    if (boxes.empty() || !Is(boxes[0], "ftyp") || moov < 0 || mdat < 0) {
        *error = "not an MP4 file with ftyp, mdat and moov";
        return -2;
    }
    if (moov < mdat) return 0;
    if (static_cast<size_t>(moov) != boxes.size() - 1) {
        *error = "something follows the index";
        return -2;
    }
    const Box& ftyp = boxes[0];
    const Box& index = boxes[static_cast<size_t>(moov)];
    uint64_t mdatAt = boxes[static_cast<size_t>(mdat)].at;
    if (ftyp.size > kMaxFtypBytes || index.size > kMaxIndexBytes) {
        *error = "index too large to move";
        return -2;
    }

    uint64_t inserted = (ftyp.size + index.size + 8 + block - 1) / block * block;
    std::vector<uint8_t> head(ftyp.size + index.size + 8);
    uint8_t* moovBytes = head.data() + ftyp.size;
    if (!ReadAt(fd, head.data(), ftyp.size, 0) || !ReadAt(fd, moovBytes, index.size, index.at)) {
        *error = std::string("cannot read the index: ") + strerror(errno);
        return -2;
    }
    if (!MoveChunkOffsets(moovBytes + index.header, moovBytes + index.size, inserted)) {
        *error = "the index cannot be moved (damaged, or offsets beyond 4 GiB)";
        return -2;
    }
    // The free box covers the rest of the new start and the old ftyp up to the media data.
    uint64_t freeSize = inserted + mdatAt - ftyp.size - index.size;
    PutBe32(head.data() + ftyp.size + index.size, static_cast<uint32_t>(freeSize));
    memcpy(head.data() + ftyp.size + index.size + 4, "free", 4);

    bool ok = allowInsertRange && fallocate(fd, FALLOC_FL_INSERT_RANGE, 0, static_cast<off_t>(inserted)) == 0;
    if (!ok) {
        // Shift everything before the old index by hand, from the end backwards.
        std::vector<uint8_t> chunk(kShiftChunkBytes);
        uint64_t end = index.at;
        ok = true;
        while (ok && end > 0) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), end));
            end -= n;
            ok = ReadAt(fd, chunk.data(), n, end) && WriteAt(fd, chunk.data(), n, end + inserted);
        }
    }
    ok = ok && ftruncate(fd, static_cast<off_t>(index.at + inserted)) == 0;
    ok = ok && WriteAt(fd, head.data(), head.size(), 0);
    if (!ok) {
        *error = std::string("cannot move the index: ") + strerror(errno);
        return -1;
    }
    return 0;
}

}  // namespace ocv::backup
