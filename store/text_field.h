#pragma once
// Fixed-size text fields of the configuration records: at most N-1 bytes and a terminating
// zero. Longer text is cut (at a character boundary), never allowed to overflow.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ocv {

// Length of the longest prefix of text that fits in maxBytes without splitting a UTF-8
// character.
size_t CutLength(std::string_view text, size_t maxBytes);

// Length of text without a multi-byte UTF-8 character left incomplete at its end (what a cut by
// bytes, such as an older version's snprintf into a field, leaves behind).
size_t CompleteLength(std::string_view text);

// Copies text into field[0..fieldBytes), cut to fieldBytes - 1 bytes, zero-filling the rest.
void CopyText(char* field, size_t fieldBytes, std::string_view text);

template <size_t N>
inline void CopyText(char (&field)[N], std::string_view text) {
    CopyText(field, N, text);
}

// The text of a field, never reading past it even when the terminator is missing.
template <size_t N>
inline std::string_view FieldText(const char (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n] != '\0') ++n;
    return std::string_view(field, n);
}

// Decimal text to a 32-bit integer the way stored numbers are read: leading blanks and a sign
// are accepted, reading stops at the first non-digit, empty or unreadable text gives 0 and
// values beyond the 32-bit range are clamped to it.
int32_t TextToInt(std::string_view text);

}  // namespace ocv
