#pragma once
// Hands the device library the stream URLs stored for the channels of standard cameras (the
// main and sub stream of an "RTSP URL" device, or the operator's choice for an ONVIF camera),
// through QVX_SDK_SetStreamUrlCallBack. The library asks on the thread that opens a stream.
namespace ocv {

class ConfigStore;

// The store whose devices and URLs are handed out; nullptr takes the callback away. The store
// must outlive every stream opening until it is taken away.
void ProvideStoredStreamUrls(const ConfigStore* store);

}  // namespace ocv
