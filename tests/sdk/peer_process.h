#pragma once
// A peer program that is not ours (a Python fixture around GStreamer's RTSP server, a Node
// ONVIF client), started as a child with its output in a file, ready once it prints "ready".
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace ocv::test {

class PeerProcess {
public:
    ~PeerProcess() { Stop(); }

    // Waits up to waitMs for "ready" (0: for the program to end). false when it could not start,
    // ended first, or took too long.
    bool Start(const std::vector<std::string>& argv, int waitMs = 20000) {
        Stop();
        std::vector<std::string> args = argv;
        std::vector<char*> raw;
        for (auto& a : args) raw.push_back(a.data());
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        std::string log = dir_ / "peer.log";
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        int rc = posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            return false;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs ? waitMs : 60000);
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitMs && ReadText(log).find("ready") != std::string::npos) return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
                return waitMs == 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Waits up to waitMs for the program to end by itself; false when it is still running.
    bool Wait(int waitMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (pid_ > 0) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    std::string log() const { return ReadText(dir_ / "peer.log"); }
    int exitStatus() const { return exitStatus_; }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    int exitStatus_ = -1;
};

inline bool FileExists(const std::string& path) { return access(path.c_str(), X_OK) == 0 || access(path.c_str(), R_OK) == 0; }

// Runs a command and returns its exit status; its output goes to outputPath.
inline int RunCommand(const std::vector<std::string>& argv, const std::string& outputPath) {
    std::vector<std::string> args = argv;
    std::vector<char*> raw;
    for (auto& a : args) raw.push_back(a.data());
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace ocv::test
