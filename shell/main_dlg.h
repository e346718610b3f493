#pragma once
// The application's single top-level window: caption-less frame with its own title bar, the
// five menus, the page tabs, the status area, the background workers and the exit procedure.
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "shell/status_worker.h"

class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QHBoxLayout;
class QSizeGrip;

namespace ocv {

class DeviceService;
class DebugConsole;
class EventBridge;
class Page;
class UILoginInfoWnd;
class WavPlayer;

class MainDlg : public QWidget {
    Q_OBJECT
public:
    struct Options {
        bool startThreads = true;  // workers and device threads (tests leave them off)
    };
    MainDlg(DeviceService& service, WavPlayer* wavPlayer, Options options);
    ~MainDlg() override;

    // Login and initialisation; false when the login was refused (the program then quits).
    bool Create();
    // The close procedure; true when the window closed. Forced (a signal, after an import) it
    // also ends every modal dialog, the login at start-up included, which then fails.
    bool ExitSystem(bool force);
    // SIGTERM, SIGINT, SIGHUP: the forced exit procedure.
    void OnTerminationRequested(int signalNumber);
    // The menu items (what the menu posts as messages 1425..1429).
    void OnMenu(int message, int item);
    void ToggleDebugConsole();
    // Opens (or brings to the front) a page of the client's page list, when the operator's
    // rights allow it; pages not in the list are not offered.
    void OpenPage(const QString& name);
    void ClosePage(const QString& name);
    bool HasPage(const QString& name) const { return pages_.count(name) > 0; }
    Page* FindPage(const QString& name) const;
    EventBridge& events() { return *events_; }
    StatusWorker* statusWorker() { return status_.get(); }
    TimeSyncWorker* timeSyncWorker() { return timeSync_.get(); }
    bool closedByExit() const { return exiting_; }

    void ImportConfiguration();
    // The import of a chosen file: checked before anything stops; a failure later starts the
    // devices again.
    void ImportConfigurationFile(const QString& path);
    void ExportConfiguration();
    void ApplyViewSize(int item);
    // System 0: the confirming login, then the setup page comes to the front, nobody is logged
    // in and the accounts page closes.
    void Logout();
    // File 0: the snapshot viewer, modal.
    void OpenSnapshotViewer();
    // Tests see the modal windows the menus open instead of their loops: the hook gets the window
    // (not yet shown) and the window closes when it returns.
    void SetModalHookForTesting(std::function<void(QDialog& dialog)> hook) { modalHook_ = std::move(hook); }
    // Whether the operator has locked the window at its size (config.ini): read again after
    // every settings change.
    bool sizeLocked() const { return sizeLocked_; }
    // The lock button: the window hides until the current user's password is typed.
    void Lock();

protected:
    bool event(QEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void BuildWindow();
    using MenuItems = std::vector<std::tuple<int, const char*, const char*>>;
    // The menu's own items and those of the pages registered in it, in item order.
    void SetupMenu(QPushButton* button, const char* title, int message, MenuItems items);
    // The maximise and restore buttons, the size grip and the size limits follow the window's
    // state and the size lock.
    void UpdateFrame();
    void ReadSizeLock();
    void ToggleMaximized();
    void ToggleFullScreen();
    // The frame edges under a point of the window (none while it may not be resized there).
    Qt::Edges ResizeEdgesAt(QPoint point) const;
    void OnStatusTick(intptr_t time, intptr_t packed);
    void ShowAbout();
    void OpenHelp();
    void ClosePages();
    // Pages that show accounts close; the others hear that the operator changed.
    void CloseSessionPages();
    void OnPageChanged();
    bool AnyChannelBusy() const;

    DeviceService& service_;
    WavPlayer* wavPlayer_;
    Options options_;
    std::unique_ptr<StatusWorker> status_;
    std::unique_ptr<TimeSyncWorker> timeSync_;
    bool exiting_ = false;
    bool created_ = false;
    bool terminationRequested_ = false;
    bool locked_ = false;  // behind the lock: no page is in front

    QLabel* dateText_ = nullptr;
    QLabel* timeText_ = nullptr;
    QProgressBar* cpuProgress_ = nullptr;
    QProgressBar* networkProgress_ = nullptr;
    QStackedWidget* pageStack_ = nullptr;
    QHBoxLayout* tabStrip_ = nullptr;
    std::unique_ptr<EventBridge> events_;
    struct OpenedPage {
        QWidget* tab;      // name + "CtrlTab": the tab's button and close button
        QWidget* content;  // name + "TabCtrl", holding the page's widget
        Page* page;        // deleted with content
        bool closesWithSession;
    };
    std::map<QString, OpenedPage> pages_;
    DebugConsole* console_ = nullptr;
    UILoginInfoWnd* loginInfo_ = nullptr;
    QPushButton* maxBtn_ = nullptr;
    QPushButton* restoreBtn_ = nullptr;
    QPushButton* setupOption_ = nullptr;
    QSizeGrip* sizeGrip_ = nullptr;
    QWidget* titleBar_ = nullptr;
    bool sizeLocked_ = false;
    QPoint dragOffset_;
    bool dragging_ = false;
    // Resizing by an edge where the window system does not do it itself.
    Qt::Edges resizeEdges_;
    QPoint resizeStart_;
    QRect resizeGeometry_;
    std::function<void(QDialog&)> modalHook_;
};

}  // namespace ocv
