#pragma once
// The alarm and event window: the panel of the main window that lists body-temperature
// readings as they arrive (every reading in eventList, the abnormal ones in alarmList as well,
// in red), the device alarms its options choose, and holds the operator's alarm display
// options ("ALARMDIALOG" in config.ini): the sound switch, which takes effect at once, and the
// popup video of alarms linked to it (message 1446). It follows the core's AlarmEvent through
// the event bridge and polls nothing.
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "monitor/alarm_options.h"
#include "runtime/core_events.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTableView;

namespace ocv {

class AlarmRowModel;
class AlarmSoundPlayer;
class ChannelDirectory;
class EventBridge;
class PopupPlayers;
class UIAlarmVideoWnd;

constexpr int kMsgAlarmPopupVideo = 1024 + 422;  // 1446: wParam channel id, lParam alarm type

class UIAlarmInfoDlg : public QWidget {
    Q_OBJECT
public:
    struct Services {
        const ChannelDirectory& directory;
        PopupPlayers& players;
        AlarmSoundPlayer& sounds;
        EventBridge& events;
        std::string configIni;  // where "ALARMDIALOG" is kept
    };
    UIAlarmInfoDlg(Services services, QWidget* parent);
    ~UIAlarmInfoDlg() override;

    const AlarmDialogOptions& options() const { return options_; }
    AlarmRowModel& alarmRows() { return *alarmModel_; }
    AlarmRowModel& eventRows() { return *eventModel_; }
    // The popup video window; nullptr until the first popup.
    UIAlarmVideoWnd* popup() const { return popup_; }
    // The lists are open (displayOption, or opened by an alarm while autoOption is on).
    bool ListsShown() const;

    // A row was activated: readings ask for their alarm picture (the monitor shows it), device
    // alarms open the channel's video.
    using ReadingActivatedFn = std::function<void(const AlarmEvent& reading)>;
    void SetReadingActivatedHandler(ReadingActivatedFn fn) { readingActivated_ = std::move(fn); }
    // floatOption changed: the owner docks or floats the panel.
    using FloatingChangedFn = std::function<void(bool floating)>;
    void SetFloatingChangedHandler(FloatingChangedFn fn) { floatingChanged_ = std::move(fn); }

    // Message 1446: pops up the channel's video when the rule allows it.
    void OnPopupRequest(int channelId, int type);
    void ActivateRow(bool alarmList, int row);

protected:
    bool event(QEvent* e) override;

private:
    void OnAlarmEvent(const AlarmEvent& event);
    void ApplyOptions();
    void SetOption(uint8_t AlarmDialogOptions::*field, bool on);
    void ShowLists(bool shown);
    UIAlarmVideoWnd& Popup();

    Services services_;
    AlarmDialogOptions options_;
    AlarmRowModel* alarmModel_;
    AlarmRowModel* eventModel_;
    UIAlarmVideoWnd* popup_ = nullptr;
    QStackedWidget* stack_;
    QTableView* alarmList_;
    QTableView* eventList_;
    QPushButton* displayOption_;
    QRadioButton* alarmOption_;
    QRadioButton* eventOption_;
    QCheckBox* videoOption_;
    QCheckBox* soundOption_;
    QCheckBox* autoOption_;
    QCheckBox* mdOption_;
    QCheckBox* ioOption_;
    QCheckBox* otherOption_;
    QCheckBox* floatOption_;
    QLabel* msgLabel_;
    QString listedText_[2];
    ReadingActivatedFn readingActivated_;
    FloatingChangedFn floatingChanged_;
};

}  // namespace ocv
