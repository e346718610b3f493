#include "store/text_field.h"

#include <cstring>

namespace ocv {

size_t CutLength(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    size_t n = maxBytes;
    // Step back over continuation bytes (10xxxxxx) so a multi-byte character is not split.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

size_t CompleteLength(std::string_view text) {
    // Find the start of the last character (at most three continuation bytes back).
    size_t n = text.size();
    size_t start = n;
    while (start > 0 && n - start < 4 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) --start;
    if (start == 0) return n;
    unsigned char lead = static_cast<unsigned char>(text[start - 1]);
    size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (lead < 0x80 || (lead & 0xC0) == 0x80) return n;  // plain byte, or no lead in reach
    return n - (start - 1) < need ? start - 1 : n;
}

void CopyText(char* field, size_t fieldBytes, std::string_view text) {
    if (fieldBytes == 0) return;
    size_t n = CutLength(text, fieldBytes - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, fieldBytes - n);
}

int32_t TextToInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;  // stays bounded
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace ocv
