#pragma once
// Opens a listening TCP acceptor on address:port (0 = any free port), the one way the
// simulator's device, web and control ports are bound.
#include <asio.hpp>

#include <string>

namespace ocv::devsim {

// Returns the bound port, or 0 with a message naming `what` in *error.
int OpenListener(asio::ip::tcp::acceptor& acceptor, const std::string& address, int port, const std::string& what,
                 std::string* error);

}  // namespace ocv::devsim
