#pragma once
// The playback page: local or remote recordings of up to four channels side by side, a
// calendar with the days that have recordings, the group tree to drag channels from, the time
// line, the hover preview and the backup window. The rules live in PlaybackController; this
// class turns the operator's gestures and the workers' messages into its calls and draws what
// it is told.
#include <QPointer>
#include <QWidget>
#include <memory>
#include <unordered_map>
#include <vector>

#include "playback/playback_controller.h"
#include "playback/qvx_playback_players.h"
#include "playback/remote_recordings.h"
#include "widgets/page.h"

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QShortcut;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace ocv {
class ConfigStore;
class EventBridge;
class LogWriter;
class UIScreenPannel;
}  // namespace ocv

namespace ocv::playback {

class DayCalendar;
class TimelineWnd;
class UIBackupDlg;
class UIPreviewWnd;

// What the playback page works with; the client hands it these when it creates the page.
struct PlaybackPageServices {
    ConfigStore& store;  // the photo path and type, devices
    LogWriter& log;
    const ChannelDirectory& directory;
    EventBridge& events;
    int drawMethod = QVXPLAY_DRAW_FAST;  // the client's display setting (config.ini DRAWMODE)
};

class UIPlaybackDlg : public QWidget, public Page, public PlaybackView {
    Q_OBJECT
public:
    struct Options {
        bool startTimers = true;  // the cursor and remote-end tick (tests drive Tick themselves)
    };
    UIPlaybackDlg(PlaybackPageServices services, QWidget* parent, Options options);
    ~UIPlaybackDlg() override;

    // Page
    QWidget* Widget() override { return this; }
    void OnHidden() override;

    PlaybackController& controller() { return *controller_; }
    UIScreenPannel* panel() { return panel_; }
    TimelineWnd* timeline() { return timeline_; }
    QTreeWidget* tree() { return tree_; }
    DayCalendar* calendar() { return calendar_; }
    UIPreviewWnd* preview() { return preview_; }
    UIBackupDlg* backupWindow();
    // A tree entry dropped at a point of the page (the end of a drag from the tree).
    void DropTreeItem(QTreeWidgetItem* item, QPoint pagePoint);
    QTreeWidgetItem* ChannelItem(int group, int device, int channel) const;
    // The selected window's context menu as it would show now (tests run its actions).
    std::unique_ptr<QMenu> MakeCellMenu();
    void RunCellCommand(int command);
    void OpenBackupWindow(bool download);
    void ToggleFullScreen();
    bool IsFullScreen() const { return fullScreen_; }
    void SelectWindow(int window);

    // PlaybackView
    int SelectedWindow() const override;
    void* SurfaceOf(int window) override;
    void SetWindowTitle(int window, const std::string& title) override;
    void SetWindowPaused(int window, bool paused) override;
    void RepaintWindow(int window, bool clear) override;
    void ShowNotice(const char* english) override;
    void SetSearching(bool searching) override;
    void TimelineChanged() override;
    void DayMarksChanged() override;
    bool HasRight(int right) override;
    std::string OperatorName() const override;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void BuildTree();
    void OnWindowMessage(int message, intptr_t wParam, intptr_t lParam);
    void OnCellNotification(int message, int cell, QPoint point);
    void OnBarButton(int number, int cell);
    void OnHover(int window, int second);
    void OnModeChosen(bool remote);
    void UpdateToolbar();
    void Post(int message, intptr_t wParam, intptr_t lParam);

    PlaybackPageServices services_;
    Options options_;
    DigitalZoom zoom_;
    std::unique_ptr<QvxPlaybackPlayers> players_;
    SdkRemoteRecordings remote_;
    std::unique_ptr<PlaybackController> controller_;

    UIScreenPannel* panel_ = nullptr;
    QWidget* viewArea_ = nullptr;
    QWidget* listColumn_ = nullptr;
    QWidget* sliderArea_ = nullptr;
    QWidget* toolArea_ = nullptr;
    TimelineWnd* timeline_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    DayCalendar* calendar_ = nullptr;
    QComboBox* typeCombo_ = nullptr;
    QPushButton* localOption_ = nullptr;
    QPushButton* remoteOption_ = nullptr;
    QPushButton* playOption_ = nullptr;
    QPushButton* zoomOption_ = nullptr;
    QPushButton* soundOption_ = nullptr;
    QPushButton* clipOption_ = nullptr;
    QPushButton* syncOption_ = nullptr;
    QPushButton* downBtn_ = nullptr;
    QPushButton* backupBtn_ = nullptr;
    QLabel* msgLabel_ = nullptr;
    QTimer* tick_ = nullptr;
    UIPreviewWnd* preview_ = nullptr;
    QPointer<UIBackupDlg> backup_;
    std::unordered_map<int, std::vector<QTreeWidgetItem*>> channelItems_;
    bool fullScreen_ = false;
    QShortcut* fullScreenEscape_ = nullptr;
};

}  // namespace ocv::playback
