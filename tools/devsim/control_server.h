#pragma once
// The simulator's control port: one text command a line, answered by "OK ..." or "ERR ...";
// multi-line answers say "OK <n>" and then n lines.
#include <asio.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ocv::devsim {

class ControlServer : public std::enable_shared_from_this<ControlServer> {
public:
    using Executor = std::function<std::vector<std::string>(const std::string& line)>;
    ControlServer(asio::io_context& io, Executor execute);
    bool Listen(const std::string& address, int port, std::string* error);
    int port() const { return port_; }
    void Stop();

private:
    void Accept();

    asio::io_context& io_;
    Executor execute_;
    asio::ip::tcp::acceptor acceptor_;
    int port_ = 0;
};

}  // namespace ocv::devsim
