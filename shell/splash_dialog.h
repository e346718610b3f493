#pragma once
// The splash windows: loading (mode 0) creates the device service, shutting down (mode 1)
// destroys it on its own thread while the window keeps counting seconds.
#include <QDialog>
#include <atomic>
#include <memory>
#include <thread>

class QLabel;
class QTimer;

namespace ocv {

class DeviceService;

class UIWzdSplashDlg : public QDialog {
    Q_OBJECT
public:
    enum Mode { kLoading = 0, kShuttingDown = 1 };
    // Loading fills *service at tick 4; shutting down takes it and destroys it.
    UIWzdSplashDlg(int mode, std::unique_ptr<DeviceService>* service, QWidget* parent = nullptr);
    ~UIWzdSplashDlg() override;
    // "Version v2.0.3.6-BUILD:yymmdd" with the translated "Version".
    static QString VersionText();
    // One 200 ms tick of the loading splash (public for tests and the screenshot tool).
    void LoadingTick();
    // Runs the loading steps its ticks have not reached yet (the device library, the device
    // service). Start-up calls it after the window's loop, so a loop that ended early (the
    // application quitting) never leaves the library uninitialised.
    void CompleteLoading();
    int tick() const { return tick_; }

    // The splash ends by itself: Escape and closing the window do nothing.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void ShutdownTick();
    bool Finished() const;

    int mode_;
    std::unique_ptr<DeviceService>* service_;
    QLabel* statusLabel_;
    QTimer* timer_;
    QString loadingText_, logOffText_;
    int tick_ = 0;
    int seconds_ = 1;
    std::thread shutdown_;
    std::atomic<bool> done_{false};
};

}  // namespace ocv
