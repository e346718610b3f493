#include "tools/devsim/control_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace ocv::devsim {

namespace {

bool ReadLine(int fd, std::string& buf, std::string* line, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        size_t nl = buf.find('\n');
        if (nl != std::string::npos) {
            *line = buf.substr(0, nl);
            buf.erase(0, nl + 1);
            return true;
        }
        if (buf.size() > 1 << 20) return false;
        int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, left) <= 0) return false;
        char chunk[4096];
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buf.append(chunk, size_t(n));
    }
}

}  // namespace

std::vector<std::string> ControlCommand(const std::string& host, int port, const std::string& line,
                                        std::string* error, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = "no socket";
        return {};
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    std::vector<std::string> out;
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        *error = "cannot connect to control port " + std::to_string(port);
        ::close(fd);
        return {};
    }
    std::string text = line + "\n";
    if (::send(fd, text.data(), text.size(), MSG_NOSIGNAL) != ssize_t(text.size())) {
        *error = "send failed";
        ::close(fd);
        return {};
    }
    std::string buf, first;
    if (!ReadLine(fd, buf, &first, deadline)) {
        *error = "no reply";
        ::close(fd);
        return {};
    }
    out.push_back(first);
    // "OK <n> ..." announces n more lines only for listing commands; others carry text after n.
    if (first.compare(0, 3, "OK ") == 0) {
        char* end = nullptr;
        long n = std::strtol(first.c_str() + 3, &end, 10);
        if (end && *end == 0 && n > 0 && n < 100000) {
            for (long i = 0; i < n; ++i) {
                std::string l;
                if (!ReadLine(fd, buf, &l, deadline)) break;
                out.push_back(l);
            }
        }
    }
    ::close(fd);
    return out;
}

int ControlPortFromFile(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    while (in >> word) {
        if (word == "control") {
            int port = 0;
            in >> port;
            return port;
        }
    }
    return 0;
}

}  // namespace ocv::devsim
