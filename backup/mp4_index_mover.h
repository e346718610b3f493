#pragma once
// Moves the index ("moov") of an MP4 file that was written with it at the end to the front,
// so a browser or phone can start playing before it has the whole file ("fast start").
//
// libavformat's own fast start reads and rewrites the whole file a second time. Here, where the
// file system can insert space at the start of a file (ext4, XFS: FALLOC_FL_INSERT_RANGE), the
// pictures stay where they are and only the index is written again; elsewhere the file is
// shifted once, from the end backwards. The new start of the file is
//   ftyp | moov (chunk offsets moved by the inserted size) | free (up to the old mdat) | mdat
#include <string>

namespace ocv::backup {

// 0 moved (or already at the front); -2 left as it was (still a valid file with the index at
// the end; *error says why); -1 the file was damaged half-way (discard it).
int MoveMp4IndexToFront(int fd, bool allowInsertRange, std::string* error);

}  // namespace ocv::backup
