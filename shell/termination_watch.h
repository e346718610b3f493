#pragma once
// Turns SIGTERM, SIGINT and SIGHUP (the desktop logging out, the system shutting down, Ctrl+C in
// the terminal the demo runs in) into a Qt signal on the UI thread, so that the client leaves
// through its exit procedure and every recording file is closed properly. The handler only
// writes a byte to a pipe (async-signal-safe); a socket notifier reads it on the UI thread.
#include <QObject>

class QSocketNotifier;

namespace ocv {

class TerminationWatch : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatch(QObject* parent = nullptr);
    ~TerminationWatch() override;
    bool installed() const { return notifier_ != nullptr; }

signals:
    // Emitted once per signal received, with its number.
    void terminationRequested(int signalNumber);

private:
    void OnReadable();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ocv
