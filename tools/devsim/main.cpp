// ocuvant-devsim: simulated network video devices for the client, its tests and its demo.
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <signal.h>

#include <cstdio>
#include <string>

#include "platform/file_util.h"
#include "tools/devsim/simulator.h"

int main(int argc, char** argv) {
    using namespace ocv::devsim;
    // Signals are taken synchronously below; block them before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // A test that starts the simulator may die without stopping it: then end with it.
    pid_t parent = getppid();
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--exit-with-parent") {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) return 0;  // the parent is already gone
        }
    }

    SiteConfig site;
    SimOptions options;
    std::string error;
    bool help = false;
    if (!ExtractSimOptions(&argc, argv, &options, &error) || !ParseCommandLine(argc, argv, &site, &error, &help)) {
        std::fprintf(stderr, "ocuvant-devsim: %s\n%s%s", error.c_str(), Usage(), SimOptionsUsage());
        return 2;
    }
    if (help) {
        std::fputs(Usage(), stdout);
        std::fputs(SimOptionsUsage(), stdout);
        return 0;
    }
    if (!FinishSite(&site, &error)) {
        std::fprintf(stderr, "ocuvant-devsim: %s\n", error.c_str());
        return 2;
    }
    std::fprintf(stderr, "ocuvant-devsim: preparing video for %zu devices (cache %s)\n", site.devices.size(),
                 site.cacheDir.c_str());
    Simulator sim(site, options);
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "ocuvant-devsim: %s\n", error.c_str());
        return 1;
    }
    std::string ports = sim.PortsText();
    std::fputs(ports.c_str(), stdout);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    if (!site.portsFile.empty() && ocv::ReplaceFileAtomically(site.portsFile, ports + "ready\n") != 0) {
        std::fprintf(stderr, "ocuvant-devsim: cannot write %s\n", site.portsFile.c_str());
    }
    int sig = 0;
    sigwait(&signals, &sig);
    std::fprintf(stderr, "ocuvant-devsim: signal %d, stopping\n", sig);
    sim.Stop();
    std::fprintf(stderr, "ocuvant-devsim: stopped\n");
    return 0;
}
