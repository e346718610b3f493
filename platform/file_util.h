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

// Permission bits of files that hold passwords (the configuration database, its copies,
// config.ini) and of folders that hold only such files.
constexpr unsigned kPrivateFileMode = 0600;
constexpr unsigned kPrivateDirectoryMode = 0700;
constexpr unsigned kSharedFileMode = 0644;

// Replaces path with data through a temporary file in the same folder, fsync and rename,
// so a crash leaves either the old or the new file, never a half-written one. A new file gets
// mode; a replaced file keeps its own mode, never looser than mode. 0 or -1.
int ReplaceFileAtomically(const std::string& path, std::string_view data, unsigned mode = kSharedFileMode);

// Copies src over dst through a temporary file and a rename, with the modes of
// ReplaceFileAtomically. On failure dst is untouched. 0 or -1.
int CopyFileAtomically(const std::string& src, const std::string& dst, unsigned mode = kSharedFileMode);

// Creates path as a new empty file with kPrivateFileMode (so a program that fills it, such as
// SQLite, never makes it readable for others). Fails when path exists. 0 or -1.
int CreatePrivateFile(const std::string& path);

// Takes away every permission beyond mode from an existing file. 1 when it was looser and is
// now tightened, 0 when it was already within mode or is missing, -1 when it could not be changed.
int TightenFileMode(const std::string& path, unsigned mode);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Creates a directory and its parents. 0 when it exists afterwards, -1 otherwise.
int MakeDirectories(const std::string& path);

}  // namespace ocv
