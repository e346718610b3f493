#include "tools/devsim/rtsp_server.h"

#include "tools/devsim/listener.h"
#include "tools/devsim/rtsp_session.h"
#include "tools/devsim/sim_device.h"

namespace ocv::devsim {

RtspServer::RtspServer(asio::io_context& io, SimDevice& device) : io_(io), device_(device), acceptor_(io) {}

bool RtspServer::Listen(const std::string& address, int port, std::string* error) {
    port_ = OpenListener(acceptor_, address, port, device_.config().name + ": RTSP port", error);
    if (port_ == 0) return false;
    Accept();
    return true;
}

DigestPolicy RtspServer::Policy() const {
    DigestPolicy p;
    p.realm = "ocuvant-devsim";
    p.user = device_.config().user;
    p.password = device_.config().password;
    p.sha256 = false;  // RTSP clients answer MD5
    p.md5 = true;
    return p;
}

void RtspServer::Stop() {
    asio::post(io_, [self = shared_from_this()] {
        asio::error_code ignored;
        self->acceptor_.close(ignored);
    });
    CutAll();
}

void RtspServer::Accept() {
    acceptor_.async_accept(asio::make_strand(io_), [self = shared_from_this()](const asio::error_code& ec,
                                                                               asio::ip::tcp::socket socket) {
        if (ec) {
            if (ec != asio::error::operation_aborted && self->acceptor_.is_open()) self->Accept();
            return;
        }
        asio::error_code ignored;
        socket.set_option(asio::ip::tcp::no_delay(true), ignored);
        auto session = std::make_shared<RtspSession>(self, std::move(socket));
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->sessions_[session.get()] = session;
        }
        session->Start();
        self->Accept();
    });
}

void RtspServer::Forget(RtspSession* session) {
    std::lock_guard<std::mutex> lock(mutex_);
    sessions_.erase(session);
}

int RtspServer::CutAll() { return Cut(-1, -1); }

int RtspServer::Cut(int channel, int streamType) {
    std::vector<std::shared_ptr<RtspSession>> cut;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [p, weak] : sessions_) {
            auto s = weak.lock();
            if (s && (channel < 0 || s->Plays(channel, streamType))) cut.push_back(s);
        }
    }
    for (auto& s : cut) s->Cut();
    return int(cut.size());
}

int RtspServer::Playing() {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (auto& [p, weak] : sessions_)
        if (auto s = weak.lock(); s && s->playing()) ++n;
    return n;
}

}  // namespace ocv::devsim
