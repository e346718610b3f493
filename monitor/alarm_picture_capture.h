#pragma once
// How the alarm picture worker takes a picture: from the player that shows the channel (a popup
// first, else its grid cell), encoded as the snapshot settings say, and kept with the live
// snapshots of the channel so the snapshot viewer finds it later. Any thread (the worker's).
#include "device/player_cells.h"
#include "monitor/alarm_picture_worker.h"
#include "store/config_store.h"

namespace ocv {

// 0 with out->picture set (out->savedPath empty when the snapshot folder could not take it);
// -2 when no window plays the channel or it has no picture yet; -1 on failure.
int CaptureAlarmPicture(const PopupPlayers& players, const ConfigStore& store, int channelId, AlarmPicture* out);

}  // namespace ocv
