#pragma once
// Small file helpers shared by everything that reads bounded input or replaces a file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ocv {

// Reads a whole file of at most maxBytes. Returns 0, -1 when missing/unreadable,
// -2 when the file is larger than maxBytes (nothing is read then).
int ReadFileBounded(const std::string& path, size_t maxBytes, std::string* out);

// Replaces path with data through a temporary file in the same folder, fsync and rename,
// so a crash leaves either the old or the new file, never a half-written one. 0 or -1.
int ReplaceFileAtomically(const std::string& path, std::string_view data);

// Copies src over dst through a temporary file and a rename. On failure dst is untouched. 0 or -1.
int CopyFileAtomically(const std::string& src, const std::string& dst);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Creates a directory and its parents. 0 when it exists afterwards, -1 otherwise.
int MakeDirectories(const std::string& path);

}  // namespace ocv
