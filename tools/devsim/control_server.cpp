#include "tools/devsim/control_server.h"
#include "tools/devsim/listener.h"

namespace ocv::devsim {

namespace {

constexpr size_t kMaxLineBytes = 1024;

struct ControlConnection : std::enable_shared_from_this<ControlConnection> {
    ControlConnection(asio::ip::tcp::socket s, ControlServer::Executor e) : socket(std::move(s)), execute(std::move(e)) {}

    void Read() {
        asio::async_read_until(socket, asio::dynamic_buffer(in, kMaxLineBytes), '\n',
                               [self = shared_from_this()](const asio::error_code& ec, size_t n) {
                                   if (ec) return;  // closed, or a line longer than the bound
                                   std::string line = self->in.substr(0, n);
                                   self->in.erase(0, n);
                                   while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
                                   self->out.clear();
                                   for (const auto& l : self->execute(line)) self->out += l + "\n";
                                   asio::async_write(self->socket, asio::buffer(self->out),
                                                     [self](const asio::error_code& e, size_t) {
                                                         if (!e) self->Read();
                                                     });
                               });
    }

    asio::ip::tcp::socket socket;
    ControlServer::Executor execute;
    std::string in, out;
};

}  // namespace

ControlServer::ControlServer(asio::io_context& io, Executor execute)
    : io_(io), execute_(std::move(execute)), acceptor_(io) {}

bool ControlServer::Listen(const std::string& address, int port, std::string* error) {
    port_ = OpenListener(acceptor_, address, port, "control port", error);
    if (port_ == 0) return false;
    Accept();
    return true;
}

void ControlServer::Stop() {
    asio::post(io_, [self = shared_from_this()] {
        asio::error_code ignored;
        self->acceptor_.close(ignored);
    });
}

void ControlServer::Accept() {
    acceptor_.async_accept([self = shared_from_this()](const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec) {
            if (ec != asio::error::operation_aborted && self->acceptor_.is_open()) self->Accept();
            return;
        }
        std::make_shared<ControlConnection>(std::move(socket), self->execute_)->Read();
        self->Accept();
    });
}

}  // namespace ocv::devsim
