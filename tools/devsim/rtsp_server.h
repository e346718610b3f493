#pragma once
// The RTSP face of a simulated device (with --rtsp-base-port): rtsp://address:port/ch<c>/main and
// /ch<c>/sub serve the channel's video loop (H.264, RFC 6184) and the device's G.711 A-law tone,
// RTP interleaved in the RTSP connection (a request for UDP is answered 461, and clients such as
// libavformat then ask for TCP). Every request but OPTIONS needs Digest credentials of the
// device's user and password. Our own small server on Asio rather than libavformat's, which
// can only receive a published stream, not serve PLAY to many clients; it sends the loops from
// shared memory like the device protocol does.
#include <asio.hpp>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "tools/devsim/digest_server.h"

namespace ocv::devsim {

class SimDevice;
class RtspSession;

class RtspServer : public std::enable_shared_from_this<RtspServer> {
public:
    RtspServer(asio::io_context& io, SimDevice& device);
    // port 0: any free port. false with a message.
    bool Listen(const std::string& address, int port, std::string* error);
    int port() const { return port_; }
    void Stop();

    // Closes connections as a pulled cable would: all, or those playing a channel's stream
    // (streamType -1: any). Returns how many.
    int CutAll();
    int Cut(int channel, int streamType);
    int Playing();

    SimDevice& device() { return device_; }
    const DigestServer& digest() const { return digest_; }
    DigestPolicy Policy() const;
    void Forget(RtspSession* session);

private:
    void Accept();

    asio::io_context& io_;
    SimDevice& device_;
    asio::ip::tcp::acceptor acceptor_;
    int port_ = 0;
    DigestServer digest_;
    std::mutex mutex_;
    std::map<RtspSession*, std::weak_ptr<RtspSession>> sessions_;
};

}  // namespace ocv::devsim
