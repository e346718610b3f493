#include "platform/profile.h"

#include <strings.h>

#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_util.h"

namespace ocv {
namespace {

// Read-modify-write of a profile must not interleave between threads.
std::mutex& ProfileMutex() {
    static std::mutex m;
    return m;
}

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

struct Line {
    enum Kind { kOther, kSection, kEntry } kind = kOther;
    std::string raw;
    std::string name;   // section name or key
    std::string value;  // entry value, trimmed
};

Line ParseLine(std::string_view raw) {
    Line line;
    line.raw = std::string(raw);
    if (raw.find('\0') != std::string_view::npos) return line;  // garbled: kept, never matched
    std::string_view t = Trim(raw);
    if (t.empty() || t[0] == ';' || t[0] == '#') return line;
    if (t[0] == '[') {
        size_t close = t.find(']');
        if (close == std::string_view::npos) return line;
        line.kind = Line::kSection;
        line.name = std::string(Trim(t.substr(1, close - 1)));
        return line;
    }
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return line;
    std::string_view key = Trim(t.substr(0, eq));
    if (key.empty()) return line;
    line.kind = Line::kEntry;
    line.name = std::string(key);
    line.value = std::string(Trim(t.substr(eq + 1)));
    return line;
}

struct Profile {
    bool loaded = false;   // file read (or absent: an empty profile)
    bool tooLarge = false; // never rewritten
    bool byteOrderMark = false;  // written back as it was found
    std::vector<Line> lines;
};

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

Profile Load(const char* fileName) {
    Profile p;
    std::string data;
    int rc = ReadFileBounded(fileName, kMaxProfileFileBytes, &data);
    if (rc == -2) {
        p.tooLarge = true;
        return p;
    }
    p.loaded = true;
    if (rc != 0) return p;
    // Editors that save UTF-8 may put a byte-order mark first; it is not part of the first line.
    size_t start = 0;
    if (std::string_view(data).substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
        p.byteOrderMark = true;
        start = kUtf8ByteOrderMark.size();
    }
    while (start < data.size()) {
        size_t nl = data.find('\n', start);
        size_t end = nl == std::string::npos ? data.size() : nl;
        p.lines.push_back(ParseLine(std::string_view(data).substr(start, end - start)));
        start = end + 1;
    }
    return p;
}

bool Save(const Profile& p, const char* fileName) {
    std::string out;
    if (p.byteOrderMark) out += kUtf8ByteOrderMark;
    for (const Line& l : p.lines) {
        out += l.raw;
        out += '\n';
    }
    // The program's profile (config.ini) holds login data: for the operator's account only.
    return ReplaceFileAtomically(fileName, out, kPrivateFileMode) == 0;
}

// Index range [first, last) of the lines that belong to the section, header excluded;
// first == npos when the section is missing.
struct Range {
    size_t header = std::string::npos;
    size_t first = std::string::npos;
    size_t last = std::string::npos;
};

Range FindSection(const Profile& p, std::string_view section) {
    Range r;
    for (size_t i = 0; i < p.lines.size(); ++i) {
        if (p.lines[i].kind != Line::kSection) continue;
        if (r.header != std::string::npos) {
            r.last = i;
            return r;
        }
        if (SameName(p.lines[i].name, section)) {
            r.header = i;
            r.first = i + 1;
        }
    }
    if (r.header != std::string::npos) r.last = p.lines.size();
    return r;
}

const Line* FindEntry(const Profile& p, const Range& r, std::string_view key) {
    if (r.header == std::string::npos) return nullptr;
    for (size_t i = r.first; i < r.last; ++i) {
        if (p.lines[i].kind == Line::kEntry && SameName(p.lines[i].name, key)) return &p.lines[i];
    }
    return nullptr;
}

std::string Unquote(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

uint32_t CopyOut(std::string_view s, char* out, uint32_t size) {
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(s.size(), size - 1));
    memcpy(out, s.data(), n);
    out[n] = '\0';
    return n;
}

// A list of NUL-terminated names followed by a final NUL, cut like the platform cuts it.
uint32_t CopyList(const std::vector<std::string>& names, char* out, uint32_t size) {
    if (size < 2) {
        if (size == 1) out[0] = '\0';
        return 0;
    }
    uint32_t pos = 0;
    for (const std::string& n : names) {
        for (char c : n) {
            if (pos + 2 >= size) {
                out[pos] = '\0';
                out[pos + 1] = '\0';
                return size - 2;
            }
            out[pos++] = c;
        }
        if (pos + 2 >= size) {
            out[pos] = '\0';
            out[pos + 1] = '\0';
            return size - 2;
        }
        out[pos++] = '\0';
    }
    out[pos] = '\0';
    return pos;
}

bool SafeText(const char* s, bool isKey) {
    for (; *s; ++s) {
        if (*s == '\n' || *s == '\r') return false;
        if (isKey && (*s == '=' || *s == '[')) return false;
    }
    return true;
}

const char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* out, uint32_t size, const char* fileName) {
    if (out == nullptr || size == 0 || fileName == nullptr) return 0;
    std::lock_guard lock(ProfileMutex());
    Profile p = Load(fileName);
    if (section == nullptr || key == nullptr) {
        std::vector<std::string> names;
        if (section == nullptr) {
            for (const Line& l : p.lines)
                if (l.kind == Line::kSection) names.push_back(l.name);
        } else {
            Range r = FindSection(p, section);
            if (r.header != std::string::npos)
                for (size_t i = r.first; i < r.last; ++i)
                    if (p.lines[i].kind == Line::kEntry) names.push_back(p.lines[i].name);
        }
        return CopyList(names, out, size);
    }
    const Line* entry = FindEntry(p, FindSection(p, section), key);
    if (entry != nullptr) return CopyOut(Unquote(entry->value), out, size);
    std::string_view def = defaultValue ? defaultValue : "";
    while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
    return CopyOut(def, out, size);
}

int GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                          const char* fileName) {
    char buf[64];
    if (GetPrivateProfileStringA(section, key, "", buf, sizeof buf, fileName) == 0)
        return defaultValue;
    const char* s = buf;
    bool negative = false;
    if (*s == '-' || *s == '+') negative = (*s++ == '-');
    if (*s < '0' || *s > '9') return 0;
    long long v = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        v = v * 10 + (*s - '0');
        if (v > 0x7fffffffLL) v = 0x7fffffffLL;
    }
    return static_cast<int>(negative ? -v : v);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
    if (section == nullptr || fileName == nullptr || !SafeText(section, true)) return false;
    if (key != nullptr && (!SafeText(key, true) || *key == '\0')) return false;
    if (value != nullptr && !SafeText(value, false)) return false;
    std::lock_guard lock(ProfileMutex());
    Profile p = Load(fileName);
    if (!p.loaded) return false;
    Range r = FindSection(p, section);
    if (key == nullptr) {
        if (r.header == std::string::npos) return true;
        p.lines.erase(p.lines.begin() + static_cast<long>(r.header),
                      p.lines.begin() + static_cast<long>(r.last));
        return Save(p, fileName);
    }
    if (value == nullptr) {
        if (r.header == std::string::npos) return true;
        bool changed = false;
        for (size_t i = r.last; i-- > r.first;) {
            if (p.lines[i].kind == Line::kEntry && SameName(p.lines[i].name, key)) {
                p.lines.erase(p.lines.begin() + static_cast<long>(i));
                changed = true;
            }
        }
        return changed ? Save(p, fileName) : true;
    }
    Line entry = ParseLine(std::string(key) + "=" + value);
    if (r.header == std::string::npos) {
        p.lines.push_back(ParseLine(std::string("[") + section + "]"));
        p.lines.push_back(std::move(entry));
        return Save(p, fileName);
    }
    size_t insertAt = r.first;
    for (size_t i = r.first; i < r.last; ++i) {
        if (p.lines[i].kind != Line::kEntry) continue;
        if (SameName(p.lines[i].name, key)) {
            p.lines[i] = std::move(entry);
            return Save(p, fileName);
        }
        insertAt = i + 1;
    }
    p.lines.insert(p.lines.begin() + static_cast<long>(insertAt), std::move(entry));
    return Save(p, fileName);
}

bool GetPrivateProfileStructA(const char* section, const char* key, void* out, uint32_t size,
                              const char* fileName) {
    if (section == nullptr || key == nullptr || out == nullptr || size > kMaxProfileFileBytes / 4)
        return false;
    std::string text(2u * size + 3u, '\0');
    uint32_t n = GetPrivateProfileStringA(section, key, "", text.data(),
                                          static_cast<uint32_t>(text.size()), fileName);
    if (n != 2u * size + 2u) return false;
    std::vector<unsigned char> bytes(size);
    unsigned sum = 0;
    for (uint32_t i = 0; i <= size; ++i) {
        int hi = HexValue(text[2 * i]), lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        unsigned char b = static_cast<unsigned char>(hi * 16 + lo);
        if (i < size) {
            bytes[i] = b;
            sum += b;
        } else if (b != (sum & 0xFFu)) {
            return false;
        }
    }
    if (size > 0) memcpy(out, bytes.data(), size);
    return true;
}

bool WritePrivateProfileStructA(const char* section, const char* key, const void* data,
                                uint32_t size, const char* fileName) {
    if (data == nullptr && size > 0) return false;
    if (size > kMaxProfileFileBytes / 4) return false;
    if (data == nullptr) return WritePrivateProfileStringA(section, key, nullptr, fileName);
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    text.reserve(2u * size + 2u);
    unsigned sum = 0;
    for (uint32_t i = 0; i < size; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 15];
        sum += bytes[i];
    }
    text += kHex[(sum >> 4) & 15];
    text += kHex[sum & 15];
    return WritePrivateProfileStringA(section, key, text.c_str(), fileName);
}

}  // namespace ocv
