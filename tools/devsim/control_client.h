#pragma once
// Client side of the simulator's control port, for ocuvant-devsim-ctl and for tests.
#include <string>
#include <vector>

namespace ocv::devsim {

// Sends one command line and returns the reply lines; empty with *error set on failure.
std::vector<std::string> ControlCommand(const std::string& host, int port, const std::string& line,
                                        std::string* error, int timeoutMs = 5000);

// Reads "control <port>" from a ports file the simulator wrote. 0 when absent.
int ControlPortFromFile(const std::string& path);

}  // namespace ocv::devsim
