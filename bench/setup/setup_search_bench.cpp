// Measures discovery as the operator sees it: the search window (offscreen) searching 64
// simulated devices (distinct loopback addresses) at the simulator's discovery address, from
// "Search" to the moment its list shows the last of them, in address order, each once. Fails
// (exit 1) when a round does not list every device.
//
//   build/bench/setup_search_bench [--devices 64] [--rounds 10] [--onvif]
#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sdk/qvx_sdk.h"
#include "setup/found_devices.h"
#include "setup/search_dlg.h"
#include "tests/sdk/devsim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

bool Ordered(const ocv::UISearchDlg& search) {
    const auto& r = search.found().records();
    for (size_t i = 1; i < r.size(); ++i)
        if (ocv::FoundText(r[i - 1].address) > ocv::FoundText(r[i].address)) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int devices = 64, rounds = 10;
    bool onvif = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--onvif") onvif = true;
        else if (a == "--devices" && i + 1 < argc) devices = std::atoi(argv[++i]);
        else if (a == "--rounds" && i + 1 < argc) rounds = std::atoi(argv[++i]);
    }
    if (devices < 1 || devices > 254 || rounds < 1) return 2;
    QApplication app(argc, argv);
    const char* home = std::getenv("HOME");
    std::string cache = std::string(home ? home : "/tmp") + "/.cache/ocuvant-devsim";

    ocv::test::DevsimProcess sim;
    std::string error;
    std::fprintf(stderr, "starting %d devices...\n", devices);
    if (!sim.Start({"--devices", std::to_string(devices), "--spread-addresses", "--channels", "1", "--main",
                    "64x64@32", "--sub", "off", "--loop-frames", "25", "--key-interval", "25", "--quiet",
                    "--cache-dir", cache},
                   &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    int port = 0;
    std::istringstream ports(ocv::test::ReadText(sim.dir() / "ports"));
    std::string word;
    while (ports >> word)
        if (word == (onvif ? "onvif" : "discovery")) ports >> port;
    if (port <= 0) {
        std::fprintf(stderr, "the simulator reported no discovery port\n");
        return 1;
    }
    QVX_SDK_Init();
    std::vector<double> lastMs;
    bool complete = true;
    {
        ocv::UISearchDlg search(onvif ? ocv::kSearchModeOnvif : ocv::kSearchModeDefault, nullptr);
        search.targetEdit()->setText(QString("127.0.0.1:%1").arg(port));
        for (int r = 0; r < rounds; ++r) {
            // The window's own first search (and the previous round's) must have ended.
            while (search.Searching()) {
                QApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            auto start = Clock::now();
            search.StartSearch();
            auto deadline = start + std::chrono::seconds(10);
            while (search.list()->rowCount() < devices && Clock::now() < deadline) {
                QApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            int listed = search.list()->rowCount();
            bool ok = listed == devices && Ordered(search);
            complete = complete && ok;
            lastMs.push_back(ms);
            std::printf("round %2d   listed %3d of %d%s   last row after %7.2f ms\n", r + 1, listed, devices,
                        ok ? "" : " (INCOMPLETE OR OUT OF ORDER)", ms);
        }
    }
    QVX_SDK_Cleanup();
    std::sort(lastMs.begin(), lastMs.end());
    std::printf("time to the last listed device   min %.2f ms, median %.2f ms, max %.2f ms over %d rounds\n",
                lastMs.front(), lastMs[lastMs.size() / 2], lastMs.back(), rounds);
    std::printf("%s\n", complete ? "every round listed every device" : "A ROUND MISSED DEVICES");
    return complete ? 0 : 1;
}
