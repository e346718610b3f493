#pragma once
// A live stream the library plays itself: its frames go to a player port of the library's own,
// bound to the caller's window, and QVX_SDK_RegisterDrawFun draws over its pictures (the motion
// areas of the remote configuration page). The caller never sees the frames.
#include <cstdint>
#include <memory>
#include <mutex>

#include "sdk/device_driver.h"
#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

class Core;

class DrawnStream : public LiveStream {
public:
    DrawnStream(int32_t handle, int32_t loginHandle, int portNumber, int port);
    ~DrawnStream() override;
    DrawnStream(const DrawnStream&) = delete;
    DrawnStream& operator=(const DrawnStream&) = delete;

    // Opens the stream through the login's driver into a new player port bound to window.
    static int Open(DeviceLogin& login, int32_t handle, const StreamRequest& request, void* window,
                    std::shared_ptr<DrawnStream>* out);

    int32_t handle() const override { return handle_; }
    int32_t loginHandle() const override { return loginHandle_; }
    // The stream first (no frame arrives once it returns), then the port (no picture is drawn).
    void Stop() override;
    // No call of the previous callback runs once this returns.
    void SetDrawCallback(QVX_DrawCallBack callback, intptr_t user);

private:
    static void OnData(QVX_HANDLE streamHandle, int32_t kind, const uint8_t* data, int32_t length, intptr_t user);
    static void OnPicture(int port, QVXPlayDrawContext* context, int pictureWidth, int pictureHeight, int windowWidth,
                          int windowHeight, int marginX, int marginY, intptr_t user);
    void FreePort();

    const int32_t handle_;
    const int32_t loginHandle_;
    const int portNumber_;
    const int port_;
    std::shared_ptr<LiveStream> inner_;
    std::mutex stopMutex_;
    bool portReleased_ = false;
    // Held around the draw callback: a change of the callback waits for a call under way.
    std::mutex drawMutex_;
    QVX_DrawCallBack draw_ = nullptr;
    intptr_t drawUser_ = 0;
};

// QVX_SDK_RealPlayV3's drawn stream: checks the request and puts the stream into the stream table.
int32_t OpenDrawnStream(Core& core, const std::shared_ptr<DeviceLogin>& login, const uint32_t* request, void* window,
                        QVX_HANDLE* outHandle);

}  // namespace ocv::sdk
