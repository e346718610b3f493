#include "tools/devsim/listener.h"

namespace ocv::devsim {

int OpenListener(asio::ip::tcp::acceptor& acceptor, const std::string& address, int port, const std::string& what,
                 std::string* error) {
    asio::error_code ec;
    auto addr = asio::ip::make_address(address, ec);
    if (ec) {
        *error = what + ": bad address " + address;
        return 0;
    }
    asio::ip::tcp::endpoint ep(addr, uint16_t(port));
    acceptor.open(ep.protocol(), ec);
    if (!ec) acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor.bind(ep, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        *error = what + " " + std::to_string(port) + ": " + ec.message();
        return 0;
    }
    return acceptor.local_endpoint().port();
}

}  // namespace ocv::devsim
