#pragma once
// The simulator's options beyond the site (recordings on the devices, LAN discovery): their
// own command-line flags, taken out of the argument list before the site flags are read.
#include <string>

#include "tools/devsim/recording_store.h"

namespace ocv::devsim {

struct DiscoveryOptions {
    std::string address = "127.0.0.1";  // where the discovery sockets listen
    int port = 0;                        // device protocol probes; 0 any free port, -1 off
    int onvifPort = 0;                   // WS-Discovery probes; 0 any free port, -1 off
};

struct SimOptions {
    ArchiveOptions archive;
    DiscoveryOptions discovery;
};

// Removes the flags it knows from argv (argc shrinks) and fills *out. false with a message.
bool ExtractSimOptions(int* argc, char** argv, SimOptions* out, std::string* error);
const char* SimOptionsUsage();

}  // namespace ocv::devsim
