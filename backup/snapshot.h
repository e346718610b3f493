#pragma once
// Snapshots: where pictures captured from a live or playback window go and what they are
// called, so the snapshot viewer finds them by date and channel:
//
//   live      <PHOTOPATH>QVXPhoto\yyyy_mm_dd\<host>-<port>-C<channel>\yymmddhhmmssNN.jpg|.bmp
//   playback  <PHOTOPATH>QVXPhotoPB\yyyy_mm_dd\<host>-<port>-C<channel>\PByymmddhhmmssNN.jpg|.bmp
//
// NN is one process-wide sequence number, 00..99 and then 00 again, so several pictures within
// a second get their own names. Folders are built in the stored "D:\..." form and turned into
// paths by platform/drives.h. The picture itself comes from a PictureGrabber (the player); this
// module writes it through a temporary file, so a failed capture leaves no file.
#include <string>

#include "base/clock.h"
#include "store/records.h"

namespace ocv::backup {

enum class SnapshotKind { kLive, kPlayback };

// Gives the encoded picture of what a window shows.
class PictureGrabber {
public:
    virtual ~PictureGrabber() = default;
    // JPEG of quality 1..100, or a 24-bit bitmap. 0; -2 when there is no picture yet; -1 on
    // failure.
    virtual int Grab(bool bitmap, int quality, std::string* fileBytes) = 0;
};

// Appends "\" to the photo path setting when it does not end with one; the setting itself
// changes, as every later reader expects it. -1 when the path is empty or has no room.
int EnsureTrailingBackslash(char (&photoPath)[kPathBytes]);

// Stored-form folder (ending in "\") and file name of a snapshot.
std::string SnapshotFolder(SnapshotKind kind, const char* photoPath, const ClockSnapshot& now,
                           const char* host, int port, int channelNumber);
std::string SnapshotName(SnapshotKind kind, const ClockSnapshot& now, int sequence, bool bitmap);

// The next sequence number: returns it and moves on, 99 wrapping to 0. Any thread.
int TakeSnapshotSequence();
void ResetSnapshotSequenceForTesting();

// Captures the picture of a channel's window into the snapshot folders. The caller has made
// sure the window shows a running player of a valid channel. PHOTOTYPE 0 writes JPEG
// (quality 100), any other value a bitmap. Returns the grabber's result (0 success, -2 no
// picture yet), or -1 when the photo path or host is empty, the folder cannot be made, or the
// file cannot be written. *path (optional) gets the file written.
int CaptureLive(SystemSettings& settings, const char* host, int port, int channelNumber,
                PictureGrabber& grabber, std::string* path = nullptr);
int CapturePlayback(SystemSettings& settings, const char* host, int port, int channelNumber,
                    PictureGrabber& grabber, std::string* path = nullptr);

}  // namespace ocv::backup
