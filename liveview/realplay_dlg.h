#pragma once
// The live view page: the group tree, the screen panel and its toolbar. The rules of what
// happens to cells and channels live in LiveViewController; this class turns the operator's
// gestures and the workers' messages into its calls and draws what it is told.
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <unordered_map>
#include <vector>

#include "liveview/live_view_controller.h"
#include "liveview/live_view_events.h"
#include "liveview/restore_worker.h"
#include "widgets/page.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QShortcut;

namespace ocv {

class EventBridge;
class UIScreenPannel;
class UIPictureWnd;

// What the live view page works with; the client hands it these when it creates the page.
struct LiveViewPageServices {
    ChannelConnections& connections;
    PlayerCells& players;
    const ChannelDirectory& directory;
    EventBridge& events;
    // Today's body-temperature readings and abnormal ones, when the page opens.
    std::function<std::pair<int, int>()> dayCounters;
    bool connectAtStart = false;  // the CONNECT setting: connect every channel at start
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

    UIScreenPannel* panel() { return panel_; }
    QTreeWidget* tree() { return tree_; }
    LiveViewController& controller() { return controller_; }
    RestoreWorker& restoreWorker() { return *restore_; }
    // A tree entry dropped at a point of the page (the end of a drag from the tree).
    void DropTreeItem(QTreeWidgetItem* item, QPoint pagePoint);
    // The tree item of a channel in a group (nullptr when none); tests.
    QTreeWidgetItem* ChannelItem(int group, int device, int channel) const;

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
    void ShowPicker();
    // The day's temperature readings and abnormal ones under the left column.
    void ShowCounters(int readings, int abnormal);
    QPoint CellPointToPanel(int cell, QPoint point) const;

    LiveViewPageServices services_;
    Options options_;
    LiveViewController controller_;
    std::unique_ptr<RestoreWorker> restore_;
    UIScreenPannel* panel_ = nullptr;
    QWidget* viewArea_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QLabel* checkNum_ = nullptr;
    QLabel* abnormalNum_ = nullptr;
    QPushButton* pictureBtn_ = nullptr;
    QPushButton* zoomBtn_ = nullptr;
    QPointer<UIPictureWnd> picker_;
    // Tree items of each channel id (a channel may be a member of several groups).
    std::unordered_map<int, std::vector<QTreeWidgetItem*>> channelItems_;

    // Drag between cells.
    int dragSource_ = -1;
    bool dragMoved_ = false;

    bool fullScreen_ = false;
    bool quietRights_ = false;  // the start-up restore never asks the operator
    QShortcut* fullScreenEscape_ = nullptr;
};

}  // namespace ocv
