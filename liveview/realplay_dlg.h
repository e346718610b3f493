#pragma once
// The live view page: the group tree with the PTZ panel and the day's counters on the left, the
// screen panel and its toolbar in the middle, the temperature column on the right. The rules of
// what happens to cells and channels live in LiveViewController and LiveViewCommands; this
// class turns the operator's gestures and the workers' messages into their calls and draws
// what it is told.
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "liveview/live_view_commands.h"
#include "liveview/live_view_controller.h"
#include "liveview/live_view_events.h"
#include "liveview/temperature_picture_dlg.h"
#include "liveview/live_view_jobs.h"
#include "liveview/ptz_pad.h"
#include "liveview/restore_worker.h"
#include "liveview/temperature_column.h"
#include "liveview/tour_runner.h"
#include "widgets/page.h"

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QTreeWidget;
class QTreeWidgetItem;
class QShortcut;

namespace ocv {

class ConfigStore;
class EventBridge;
class LogWriter;
class UIDatePopup;
class UIPictureWnd;
class UIPtzDlg;
class UIRotaWnd;

class UIScreenPannel;

// What the live view page works with; the client hands it these when it creates the page.
struct LiveViewPageServices {
    ChannelConnections& connections;
    PlayerCells& players;
    const ChannelDirectory& directory;
    EventBridge& events;
    ConfigStore& store;
    LogWriter& log;
    RecordingControl& recording;
    TalkControl& talk;
    PtzControl& ptz;
    ChannelActions& actions;
    DeviceConfiguration& deviceConfig;
    TemperatureQueries& temperature;
    // Today's body-temperature readings and abnormal ones, when the page opens.
    std::function<std::pair<int, int>()> dayCounters;
    bool connectAtStart = false;  // the CONNECT setting: connect every channel at start
    // Switches the main window to the camera settings of a channel; empty when the client has
    // no such page (the menu then does not offer it).
    std::function<void(int channelId)> openCameraSettings;
};

class UIRealPlayDlg : public QWidget, public CellView, public Page, private LiveViewEventSink {
    Q_OBJECT
public:
    struct Options {
        bool startWorkers = true;
        std::chrono::milliseconds restoreDelay{1000};
    };
    UIRealPlayDlg(LiveViewPageServices services, QWidget* parent, Options options);
    ~UIRealPlayDlg() override;

    // What other windows call.
    int OpenChannelInCell(int device, int channel, int cell) { return controller_.OpenChannelInCell(device, channel, cell); }
    void CloseCell(int cell) { controller_.CloseCell(cell); }
    bool ShowGroup(int group) { return controller_.ShowGroup(group); }
    void SelectCell(int cell);
    void SetSplitMode(int mode);
    void ToggleFullScreen();
    bool IsFullScreen() const { return fullScreen_; }
    // A hidden page decodes nothing.
    void SetPageHidden(bool hidden);

    // Page
    QWidget* Widget() override { return this; }
    void OnShown() override { SetPageHidden(false); }
    void OnHidden() override { SetPageHidden(true); }
    void OnUserChanged() override { SyncToolbar(); }

    UIScreenPannel* panel() { return panel_; }
    QTreeWidget* tree() { return tree_; }
    QTreeWidget* eventList() { return eventList_; }
    UITemperaturePictureDlg* temperaturePicture() { return temperaturePicture_; }
    LiveViewController& controller() { return controller_; }
    LiveViewCommands& commands() { return commands_; }
    TourRunner& tours() { return tours_; }
    LiveViewJobs& jobs() { return jobs_; }
    PtzSender& ptzSender() { return ptzSender_; }
    TemperatureQueryWorker& temperatureWorker() { return temperature_; }
    RestoreWorker& restoreWorker() { return *restore_; }
    UIPtzDlg* ptzPopup() const;
    UIRotaWnd* rotaWnd() const;
    UIDatePopup* datePopup() const;
    // A tree entry dropped at a point of the page (the end of a drag from the tree).
    void DropTreeItem(QTreeWidgetItem* item, QPoint pagePoint);
    // The tree item of a channel in a group (nullptr when none); tests.
    QTreeWidgetItem* ChannelItem(int group, int device, int channel) const;
    QTreeWidgetItem* GroupItem(int group) const;

    // The context menus as they would open now (the caller owns them; each action's data is
    // its command). The right-click shows them and posts 1430 / 1431.
    QMenu* BuildCellMenu(int cell);
    QMenu* BuildTreeMenu(QTreeWidgetItem* item);
    // Remembers the node a tree menu opened on (the target of 1431).
    void SetTreeMenuItem(QTreeWidgetItem* item);

    // CellView
    int SelectedCell() const override;
    void SetCellText(int cell, const std::string& name, const CellStrip& strip) override;
    void ShowInset(int cell, bool show) override;
    void* InsetHandle(int cell) override;
    void RepaintCell(int cell) override;
    bool HasRight(int right) override;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void BuildTree();
    void SetUpToolbar();
    void SetUpPtzPanel();
    void SetUpTemperatureColumn();
    void RefreshChannel(int device, int channel);
    void RefreshAll();
    // LiveViewEventSink: what the core's events change on the page.
    void ChannelChanged(int device, int channel) override;
    void DeviceChanged(int device) override;
    void TemperatureRead(int channelId, const TemperatureMark& mark) override;
    void DayCountersChanged(int readings, int abnormal) override { ShowCounters(readings, abnormal); }
    void ConfigurationChanged() override;
    void OnWindowMessage(int message, intptr_t wParam, intptr_t lParam);
    void OnCellNotification(int message, int cell, QPoint point);
    void OnTreeDoubleClick(QTreeWidgetItem* item);
    void OnCellCommand(int command);
    void OnTreeCommand(int command);
    void ShowCellMenu(int cell);
    void ShowTreeMenu(const QPoint& pos);
    void Tell(const CommandOutcome& outcome);
    void ShowPicker();
    void ShowRotaSettings();
    void ShowDatePopup();
    void OpenPtzPopup(int cell);
    void OnPtzPanelButton(const PtzButton& button, bool pressed);
    void OnTemperatureRecords();
    void ShowTemperaturePicture(int recordTime);
    // The toolbar's options show the selected cell's state; the temperature column follows
    // the selected cell's channel.
    void SyncToolbar();
    // The day's temperature readings and abnormal ones under the left column.
    void ShowCounters(int readings, int abnormal);
    QPoint CellPointToPanel(int cell, QPoint point) const;
    LiveSettings Settings() const;
    void Post(int message, intptr_t w, intptr_t l);

    LiveViewPageServices services_;
    Options options_;
    LiveViewController controller_;
    LiveViewJobs jobs_;
    TourRunner tours_;
    LiveViewCommands commands_;
    PtzSender ptzSender_;
    TemperatureQueryWorker temperature_;
    std::unique_ptr<RestoreWorker> restore_;
    UIScreenPannel* panel_ = nullptr;
    QWidget* viewArea_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QTreeWidget* eventList_ = nullptr;
    QComboBox* typeCombo_ = nullptr;
    QPushButton* dateBtn_ = nullptr;
    QLabel* checkNum_ = nullptr;
    QLabel* abnormalNum_ = nullptr;
    QPushButton* pictureBtn_ = nullptr;
    QPushButton* zoomBtn_ = nullptr;
    QPushButton* recordOption_ = nullptr;
    QPushButton* soundOption_ = nullptr;
    QPushButton* rotaOption_ = nullptr;
    QPushButton* rotaSetBtn_ = nullptr;
    QSlider* ptzSpeed_ = nullptr;
    QPointer<UIPictureWnd> picker_;
    QPointer<UIPtzDlg> ptzPopup_;
    QPointer<UIRotaWnd> rotaWnd_;
    QPointer<UIDatePopup> datePopup_;
    QPointer<UITemperaturePictureDlg> temperaturePicture_;
    // Tree items of each channel id (a channel may be a member of several groups).
    std::unordered_map<int, std::vector<QTreeWidgetItem*>> channelItems_;
    // The node the tree menu opened on: its group, and its channel (-1 for a group node).
    struct TreeTarget {
        int group = -1, device = -1, channel = -1;
    } treeTarget_;
    // The panel's held PTZ command (sent again with stop 1 on release), -1 none.
    int ptzHeldCode_ = -1;
    int ptzHeldChannel_ = -1;

    // Drag between cells.
    int dragSource_ = -1;
    bool dragMoved_ = false;

    bool fullScreen_ = false;
    bool quietRights_ = false;  // the start-up restore and the tours never ask the operator
    QShortcut* fullScreenEscape_ = nullptr;
};

}  // namespace ocv
