#!/usr/bin/python3
"""An RTSP server that is not ours, for the device library's tests: GStreamer's gst-rtsp-server
serving a test picture (H.264 or H.265) with G.711 sound on loopback, with Basic and Digest
authentication. Prints "ready" once it listens; runs until killed."""
import argparse
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtsp", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtsp, GstRtspServer  # noqa: E402


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--codec", choices=["h264", "h265"], default="h264")
    p.add_argument("--audio", choices=["pcma", "pcmu", "none"], default="pcma")
    p.add_argument("--path", default="/cam")
    p.add_argument("--user", default="")
    p.add_argument("--password", default="")
    p.add_argument("--size", default="320x240")
    p.add_argument("--kbps", type=int, default=300)
    # 0: parameter sets only in the session description; -1: also before every key picture
    p.add_argument("--config-interval", type=int, default=-1)
    a = p.parse_args()
    Gst.init(None)
    w, h = a.size.split("x")
    if a.codec == "h264":
        enc = ("x264enc tune=zerolatency speed-preset=ultrafast key-int-max=25 bitrate=%d ! "
               "rtph264pay name=pay0 pt=96 config-interval=%d" % (a.kbps, a.config_interval))
    else:
        enc = ("x265enc tune=zerolatency speed-preset=ultrafast key-int-max=25 option-string=open-gop=0 bitrate=%d ! "
               "rtph265pay name=pay0 pt=96 config-interval=%d" % (a.kbps, a.config_interval))
    launch = ("( videotestsrc is-live=true pattern=ball ! video/x-raw,width=%s,height=%s,framerate=25/1 ! "
              "videoconvert ! %s" % (w, h, enc))
    if a.audio == "pcma":
        launch += " audiotestsrc is-live=true ! audio/x-raw,rate=8000,channels=1 ! alawenc ! rtppcmapay name=pay1 pt=8"
    elif a.audio == "pcmu":
        launch += " audiotestsrc is-live=true ! audio/x-raw,rate=8000,channels=1 ! mulawenc ! rtppcmupay name=pay1 pt=0"
    launch += " )"
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(a.port))
    factory = GstRtspServer.RTSPMediaFactory()
    factory.set_launch(launch)
    factory.set_shared(True)
    if a.user:
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string("media.factory.role", "user")
        auth.add_basic(GstRtspServer.RTSPAuth.make_basic(a.user, a.password), token)
        auth.add_digest(a.user, a.password, token)
        auth.set_supported_methods(GstRtsp.RTSPAuthMethod.DIGEST)
        server.set_auth(auth)
        perms = GstRtspServer.RTSPPermissions()
        perms.add_role("user")
        perms.add_permission_for_role("user", "media.factory.access", True)
        perms.add_permission_for_role("user", "media.factory.construct", True)
        factory.set_permissions(perms)
    server.get_mount_points().add_factory(a.path, factory)
    if server.attach(None) == 0:
        print("cannot listen", flush=True)
        return 1
    print("ready", flush=True)
    GLib.MainLoop().run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
