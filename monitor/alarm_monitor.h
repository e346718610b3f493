#pragma once
// What the main window holds for alarms besides its pages: the alarm and event window docked
// above its status bar (or floating), the alarm picture worker with the window that shows its
// pictures (message 1214), and the reload of today's readings at start-up. The main window
// makes one, as its child, once its frame is built; it goes with the main window.
#include <QObject>
#include <QPointer>
#include <memory>
#include <string>

#include "runtime/core_events.h"

class QWidget;

namespace ocv {

class AlarmEngine;
class AlarmPictureWorker;
class AlarmSoundPlayer;
class ChannelDirectory;
class ConfigStore;
class EventBridge;
class PopupPlayers;
class UIAlarmInfoDlg;
class UIAlarmPictureWnd;

struct AlarmMonitorServices {
    ConfigStore& store;
    const ChannelDirectory& directory;
    PopupPlayers& players;
    AlarmSoundPlayer& sounds;
    AlarmEngine& alarms;
    CoreEventHub& hub;
    EventBridge& events;
    std::string configIni;
};

class AlarmMonitor : public QObject {
    Q_OBJECT
public:
    // Docks the panel into mainWindow's layout above the control named "statusBar" (at the end
    // when there is none). With startWorkers the picture worker starts, first reloading today's
    // readings from the alarm log.
    AlarmMonitor(QWidget* mainWindow, AlarmMonitorServices services, bool startWorkers);
    ~AlarmMonitor() override;

    UIAlarmInfoDlg* panel() const;
    UIAlarmPictureWnd* pictureWindow() const;
    AlarmPictureWorker& pictureWorker() { return *worker_; }

    // The main window's message 1214: shows the pictures the worker queued.
    void OnAlarmPictureReady();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void SetFloating(bool floating);
    void Dock();

    QWidget* mainWindow_;
    AlarmMonitorServices services_;
    QPointer<UIAlarmInfoDlg> panel_;
    QPointer<UIAlarmPictureWnd> pictures_;
    std::unique_ptr<AlarmPictureWorker> worker_;
};

}  // namespace ocv
