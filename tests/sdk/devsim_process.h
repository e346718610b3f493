#pragma once
// Starts ocuvant-devsim as a child process (fork/exec of the built binary, as a person or the
// demo would run it), waits until it has written its ports, and ends it with SIGTERM.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/devsim/control_client.h"

extern char** environ;

namespace ocv::test {

struct SimDeviceAddress {
    std::string name, address;
    int port = 0, webPort = 0;
    int rtspPort = 0;  // 0 without --rtsp-base-port
};

class DevsimProcess {
public:
    // args: simulator flags (site file, devices...); cache, ports file and --quiet are added.
    bool Start(const std::vector<std::string>& args, std::string* error) {
        std::vector<std::string> all = {OCV_DEVSIM_PATH, "--exit-with-parent", "--cache-dir", dir_ / "cache",
                                        "--ports-file", dir_ / "ports"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        std::string log = dir_ / "devsim.log";
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            *error = "cannot start " + std::string(OCV_DEVSIM_PATH);
            pid_ = -1;
            return false;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            std::string text = ReadText(dir_ / "ports");
            if (text.find("ready") != std::string::npos) return Parse(text, error);
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                *error = "simulator exited: " + ReadText(log);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        *error = "simulator did not become ready";
        return false;
    }

    // Sends SIGTERM and returns the exit status (-1 when it had to be killed).
    int Stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
    }

    ~DevsimProcess() { Stop(); }

    // Runs a control command; the reply lines.
    std::vector<std::string> Control(const std::string& line) {
        std::string error;
        return devsim::ControlCommand("127.0.0.1", controlPort_, line, &error);
    }
    bool ControlOk(const std::string& line) {
        auto r = Control(line);
        return !r.empty() && r[0].compare(0, 2, "OK") == 0;
    }

    const SimDeviceAddress& device(size_t i) const { return devices_.at(i); }
    int controlPort() const { return controlPort_; }
    pid_t pid() const { return pid_; }
    std::string log() const { return ReadText(dir_ / "devsim.log"); }
    const TempDir& dir() const { return dir_; }

private:
    bool Parse(const std::string& text, std::string* error) {
        std::istringstream in(text);
        std::string word;
        while (in >> word) {
            if (word == "device") {
                int index;
                SimDeviceAddress d;
                in >> index >> d.name >> d.address >> d.port >> d.webPort;
                devices_.push_back(d);
            } else if (word == "rtsp") {
                size_t index = 0;
                int port = 0;
                in >> index >> port;
                if (index < devices_.size()) devices_[index].rtspPort = port;
            } else if (word == "control") {
                in >> controlPort_;
            }
        }
        if (devices_.empty() || controlPort_ == 0) {
            *error = "bad ports file: " + text;
            return false;
        }
        return true;
    }

    TempDir dir_;
    pid_t pid_ = -1;
    int controlPort_ = 0;
    std::vector<SimDeviceAddress> devices_;
};

}  // namespace ocv::test
