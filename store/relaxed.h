#pragma once
// The configuration records are changed only on the user-interface thread and read by every
// other thread without a lock. Each field is a plain fixed-size value; the store writes it with
// a relaxed atomic store and other threads read it with a relaxed atomic load, so a reader sees
// either the old or the new value of an integer field, and a text field always stays
// terminated inside its bytes (the last byte is never written non-zero).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "store/text_field.h"

namespace ocv {

// Reads a field that the user-interface thread may be changing.
template <typename T>
inline T Relaxed(const T& field) {
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

// Writes a field that other threads may be reading.
template <typename T, typename V>
inline void SetRelaxed(T& field, V value) {
    std::atomic_ref<T>(field).store(static_cast<T>(value), std::memory_order_relaxed);
}

// Writes a text field byte by byte, cut to N-1 bytes and zero-filled.
template <size_t N>
inline void SetTextRelaxed(char (&field)[N], std::string_view text) {
    size_t n = CutLength(text, N - 1);
    for (size_t i = 0; i < N; ++i) {
        char c = i < n ? text[i] : '\0';
        if (Relaxed(field[i]) != c) SetRelaxed(field[i], c);
    }
}

// Copies a text field that may be changing into out (N bytes), always terminated.
template <size_t N>
inline void ReadTextRelaxed(const char (&field)[N], char (&out)[N]) {
    for (size_t i = 0; i + 1 < N; ++i) out[i] = Relaxed(field[i]);
    out[N - 1] = '\0';
}

template <typename T, size_t N>
inline void SetArrayRelaxed(T (&dst)[N], const T (&src)[N]) {
    for (size_t i = 0; i < N; ++i) SetRelaxed(dst[i], src[i]);
}

}  // namespace ocv
