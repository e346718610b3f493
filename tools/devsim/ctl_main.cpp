// ocuvant-devsim-ctl: sends one command to a running simulator's control port.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/devsim/control_client.h"

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = 0;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--host" && i + 1 < argc) host = argv[++i];
        else if (a == "--port" && i + 1 < argc) port = std::atoi(argv[++i]);
        else if (a == "--ports-file" && i + 1 < argc) port = ocv::devsim::ControlPortFromFile(argv[++i]);
        else break;
    }
    if (port <= 0 || i >= argc) {
        std::fprintf(stderr,
                     "usage: ocuvant-devsim-ctl (--port P | --ports-file F) [--host H] <command...>\n"
                     "commands: help, devices, alarm, temp, cut, cutstream, freeze, channel, report, clear\n");
        return 2;
    }
    std::string line;
    for (; i < argc; ++i) line += std::string(line.empty() ? "" : " ") + argv[i];
    std::string error;
    auto reply = ocv::devsim::ControlCommand(host, port, line, &error);
    if (reply.empty()) {
        std::fprintf(stderr, "ocuvant-devsim-ctl: %s\n", error.c_str());
        return 1;
    }
    for (const auto& l : reply) std::printf("%s\n", l.c_str());
    return reply[0].compare(0, 2, "OK") == 0 ? 0 : 1;
}
