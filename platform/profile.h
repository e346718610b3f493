#pragma once
// Private-profile (INI) files with the semantics the rest of the program was written against:
// case-insensitive sections and keys, values cut to the caller's buffer, binary blocks stored as
// upper-case hex plus a one-byte checksum. Writes replace the file through a temporary file.
#include <cstdint>

namespace ocv {

// Files larger than this are treated as unreadable and are never rewritten.
constexpr uint32_t kMaxProfileFileBytes = 1u << 20;

// Copies the value (or defaultValue, without its trailing blanks) into out, cut to size - 1
// characters, and returns the number of characters copied. section == nullptr lists the
// section names and key == nullptr the keys of a section, each NUL-terminated with a final NUL.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* out, uint32_t size, const char* fileName);

// Value parsed as a decimal integer (leading digits only), or defaultValue when missing.
int GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                          const char* fileName);

// key == nullptr deletes the section, value == nullptr deletes the key.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName);

// Reads a block written by WritePrivateProfileStructA. A value of the wrong length, with
// non-hex characters or a wrong checksum is a failure and leaves out untouched.
bool GetPrivateProfileStructA(const char* section, const char* key, void* out, uint32_t size,
                              const char* fileName);
bool WritePrivateProfileStructA(const char* section, const char* key, const void* data,
                                uint32_t size, const char* fileName);

}  // namespace ocv
