#pragma once
// The debug console: standard output runs through a pipe whose reader thread copies every
// trace line to the original output and keeps the latest lines for the console window that
// Ctrl+Shift+F11 opens and closes inside the client.
#include <QPlainTextEdit>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ocv {

class TracePipe {
public:
    static TracePipe& Instance();
    // Redirects standard output through the pipe; false when it cannot (output stays as it was).
    bool Install();
    // Puts the original standard output back and ends the reader thread.
    void Uninstall();
    // Everything captured so far (bounded to the latest kKeepBytes).
    std::string Text() const;
    void SetListener(std::function<void(const std::string& chunk)> listener);
    static constexpr size_t kKeepBytes = 256 * 1024;

private:
    void ReadLoop(int readFd);

    int originalFd_ = -1;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::string text_;
    std::function<void(const std::string&)> listener_;
};

class DebugConsole : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit DebugConsole(QWidget* parent);
    ~DebugConsole() override;
    void Append(const QString& chunk);
};

}  // namespace ocv
