#include "playback/qvx_playback_players.h"

#include "backup/player_picture_grabber.h"
#include "base/port_slots.h"
#include "base/trace.h"

namespace ocv::playback {

QvxPlaybackPlayers::QvxPlaybackPlayers(DigitalZoom& zoom, PostFn post, int drawMethod)
    : zoom_(zoom), post_(std::move(post)), drawMethod_(drawMethod) {
    for (int w = 0; w < static_cast<int>(targets_.size()); ++w) targets_[static_cast<size_t>(w)] = Target{this, w};
}

void QvxPlaybackPlayers::OnDraw(int, QVXPlayDrawContext* context, int pw, int ph, int ww, int wh, int mx, int my,
                                intptr_t user) {
    auto* t = reinterpret_cast<Target*>(user);
    t->self->zoom_.Overlay(t->window, context, ZoomGeometry{pw, ph, ww, wh, mx, my});
}

void QvxPlaybackPlayers::OnState(int port, int state, intptr_t user) {
    auto* t = reinterpret_cast<Target*>(user);
    if (state == QVXPLAY_STATE_END && t->self->post_) t->self->post_(kMsgFileEnded, t->window, port);
}

int QvxPlaybackPlayers::SetUp(int window, int port, void* surface) {
    const intptr_t user = reinterpret_cast<intptr_t>(&targets_[static_cast<size_t>(window)]);
    QVXPlay_SetDrawMode(port, drawMethod_);
    QVXPlay_SetDrawEnable(port, 1);
    QVXPlay_RegisterDrawFun(port, &QvxPlaybackPlayers::OnDraw, user);
    QVXPlay_SetStateCallBack(port, &QvxPlaybackPlayers::OnState, user);
    if (QVXPlay_SetDrawWnd(port, surface) != 0) return -1;
    QVXPlay_CloseSound(port);
    return 0;
}

int QvxPlaybackPlayers::CreatePort(int window, void* surface) {
    if (window < 0 || window >= static_cast<int>(targets_.size())) return -1;
    const int number = TakePort();
    if (number < 0) {
        Trace("playback window %d: no free player port\n", window);
        return -2;
    }
    int port = 0;
    if (QVXPlay_InitV2(&port, number) != 0) {
        ReleasePort(number);
        Trace("playback window %d: player port %d would not start\n", window, number);
        return -1;
    }
    if (SetUp(window, port, surface) != 0) {
        QVXPlay_DeInit(port);
        ReleasePort(number);
        Trace("playback window %d: the window could not be bound to its player\n", window);
        return -1;
    }
    return port;
}

int QvxPlaybackPlayers::AdoptPort(int window, int port, void* surface) {
    if (window < 0 || window >= static_cast<int>(targets_.size())) return -1;
    return SetUp(window, port, surface);
}

void QvxPlaybackPlayers::ReleaseAdopted(int port) {
    QVXPlay_SetStateCallBack(port, nullptr, 0);
    QVXPlay_RegisterDrawFun(port, nullptr, 0);
    QVXPlay_SetDrawWnd(port, nullptr);
}

void QvxPlaybackPlayers::DestroyPort(int port) {
    if (port <= 0) return;
    QVXPlay_DeInit(port);
    ReleasePort(port & 0xFF);
}

int QvxPlaybackPlayers::OpenFile(int port, const std::string& path, int percent) {
    return QVXPlay_OpenFile(port, path.c_str(), percent);
}

int QvxPlaybackPlayers::Capture(int port, bool bitmap, int quality, std::string* bytes) {
    return backup::PlayerPictureGrabber(port).Grab(bitmap, quality, bytes);
}

}  // namespace ocv::playback
