#include "shell/debug_console.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <QMetaObject>
#include <cerrno>
#include <cstdio>
#include <functional>

namespace ocv {

TracePipe& TracePipe::Instance() {
    static TracePipe pipe;
    return pipe;
}

bool TracePipe::Install() {
    if (originalFd_ >= 0) return true;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    fflush(stdout);
    int original = dup(STDOUT_FILENO);
    if (original < 0 || dup2(fds[1], STDOUT_FILENO) < 0) {
        if (original >= 0) close(original);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    close(fds[1]);
    originalFd_ = original;
    int readFd = fds[0];
    reader_ = std::thread([this, readFd] { ReadLoop(readFd); });
    return true;
}

void TracePipe::Uninstall() {
    if (originalFd_ < 0) return;
    fflush(stdout);
    dup2(originalFd_, STDOUT_FILENO);  // closes the pipe's last write end: the reader sees EOF
    if (reader_.joinable()) reader_.join();
    close(originalFd_);
    originalFd_ = -1;
}

void TracePipe::ReadLoop(int readFd) {
    pthread_setname_np(pthread_self(), "trace-pipe");
    char buffer[4096];
    for (;;) {
        ssize_t n = read(readFd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(originalFd_, buffer + done, static_cast<size_t>(n - done));
            if (w <= 0) break;
            done += w;
        }
        std::string chunk(buffer, static_cast<size_t>(n));
        // The listener runs under the lock so that clearing it guarantees no call is in flight.
        std::lock_guard<std::mutex> lock(mutex_);
        text_ += chunk;
        if (text_.size() > kKeepBytes) text_.erase(0, text_.size() - kKeepBytes);
        if (listener_) listener_(chunk);
    }
    close(readFd);
}

std::string TracePipe::Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

void TracePipe::SetListener(std::function<void(const std::string&)> listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
}

DebugConsole::DebugConsole(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("debugConsole");
    setWindowFlags(Qt::Window);
    setWindowTitle("Debug console");
    setReadOnly(true);
    setMaximumBlockCount(5000);
    resize(640, 360);
    setPlainText(QString::fromLocal8Bit(TracePipe::Instance().Text()));
    // The reader thread never touches the widget: the chunk is queued to the UI thread, and a
    // queued call whose console is gone is dropped by Qt.
    TracePipe::Instance().SetListener([this](const std::string& chunk) {
        QString text = QString::fromLocal8Bit(chunk);
        QMetaObject::invokeMethod(this, [this, text] { Append(text); }, Qt::QueuedConnection);
    });
}

DebugConsole::~DebugConsole() { TracePipe::Instance().SetListener(nullptr); }

void DebugConsole::Append(const QString& chunk) {
    moveCursor(QTextCursor::End);
    insertPlainText(chunk);
    moveCursor(QTextCursor::End);
}

}  // namespace ocv
