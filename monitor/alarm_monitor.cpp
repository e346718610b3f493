#include "monitor/alarm_monitor.h"

#include <QBoxLayout>
#include <QEvent>
#include <QWidget>
#include <algorithm>

#include "device/channel_directory.h"
#include "device/player_cells.h"
#include "events/alarm_engine.h"
#include "events/alarm_sound.h"
#include "monitor/alarm_info_dlg.h"
#include "monitor/alarm_picture_capture.h"
#include "monitor/alarm_picture_wnd.h"
#include "monitor/alarm_picture_worker.h"
#include "monitor/alarm_video_wnd.h"
#include "store/config_store.h"
#include "widgets/event_bridge.h"
#include "widgets/window_message.h"

namespace ocv {

AlarmMonitor::AlarmMonitor(QWidget* mainWindow, AlarmMonitorServices services, bool startWorkers)
    : QObject(mainWindow), mainWindow_(mainWindow), services_(std::move(services)) {
    setObjectName("alarmMonitor");
    panel_ = new UIAlarmInfoDlg(UIAlarmInfoDlg::Services{services_.directory, services_.players, services_.sounds,
                                                         services_.events, services_.configIni},
                                mainWindow_);
    pictures_ = new UIAlarmPictureWnd(services_.directory, panel_);
    pictures_->hide();
    panel_->SetFloatingChangedHandler([this](bool floating) { SetFloating(floating); });
    panel_->SetReadingActivatedHandler([this](const AlarmEvent& reading) {
        if (pictures_) pictures_->ShowReading(reading.channelId, reading.time);
    });
    SetFloating(panel_->options().floating != 0);
    mainWindow_->installEventFilter(this);

    worker_ = std::make_unique<AlarmPictureWorker>(
        services_.hub,
        [this](int channelId, AlarmPicture* out) {
            return CaptureAlarmPicture(services_.players, services_.store, channelId, out);
        },
        [this] { PostWindowMessage(this, kMsgAlarmPicture, 0, 0); });
    if (startWorkers) {
        AlarmEngine& alarms = services_.alarms;
        worker_->Start([&alarms] { alarms.ReloadTodaysTemperatures(); });
    }
}

AlarmMonitor::~AlarmMonitor() {
    worker_->Stop();  // before this object goes: the worker posts to it
    if (mainWindow_) mainWindow_->removeEventFilter(this);
    delete panel_.data();  // with its popup video (its players) and the picture window
}

UIAlarmInfoDlg* AlarmMonitor::panel() const { return panel_.data(); }
UIAlarmPictureWnd* AlarmMonitor::pictureWindow() const { return pictures_.data(); }

void AlarmMonitor::Dock() {
    auto* layout = qobject_cast<QBoxLayout*>(mainWindow_->layout());
    QWidget* status = mainWindow_->findChild<QWidget*>("statusBar", Qt::FindDirectChildrenOnly);
    int at = layout && status ? layout->indexOf(status) : -1;
    if (layout == nullptr) return;
    if (at < 0) layout->addWidget(panel_);
    else layout->insertWidget(at, panel_);
}

void AlarmMonitor::SetFloating(bool floating) {
    if (!panel_) return;
    if (floating) {
        if (auto* layout = mainWindow_->layout()) layout->removeWidget(panel_);
        panel_->setParent(mainWindow_, Qt::Tool);
        panel_->setWindowTitle(mainWindow_->windowTitle());
        panel_->resize(std::max(640, mainWindow_->width() * 3 / 4), 260);
        if (mainWindow_->isVisible()) panel_->show();
    } else {
        panel_->setParent(mainWindow_, Qt::Widget);
        Dock();
        panel_->show();
    }
}

void AlarmMonitor::OnAlarmPictureReady() {
    std::vector<AlarmPicture> ready = worker_->TakeReady();
    if (!ready.empty() && pictures_) pictures_->AddPictures(std::move(ready));
}

bool AlarmMonitor::event(QEvent* e) {
    if (e->type() == WindowMessage::EventType()) {
        if (static_cast<WindowMessage*>(e)->message() == kMsgAlarmPicture) OnAlarmPictureReady();
        return true;
    }
    return QObject::event(e);
}

// The floating windows follow the main window: nobody finds video or pictures on the screen
// while the client is locked or closing.
bool AlarmMonitor::eventFilter(QObject* watched, QEvent* e) {
    if (watched == mainWindow_ && panel_) {
        QWidget* windows[] = {panel_->options().floating ? panel_.data() : nullptr, panel_->popup(), pictures_.data()};
        if (e->type() == QEvent::Hide) {
            for (QWidget* w : windows)
                if (w && w->isVisible()) w->hide();
        } else if (e->type() == QEvent::Show && panel_->options().floating) {
            panel_->show();
        }
    }
    return QObject::eventFilter(watched, e);
}

}  // namespace ocv
