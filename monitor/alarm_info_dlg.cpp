#include "monitor/alarm_info_dlg.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableView>
#include <cstring>

#include "device/channel_directory.h"
#include "events/alarm_sound.h"
#include "monitor/alarm_row_model.h"
#include "monitor/alarm_rows.h"
#include "monitor/alarm_video_wnd.h"
#include "widgets/event_bridge.h"
#include "widgets/login_dialog.h"
#include "widgets/skin_image.h"
#include "widgets/user_session.h"
#include "widgets/window_message.h"
#include "ui_UIAlarmInfoDlg.h"

namespace ocv {

UIAlarmInfoDlg::UIAlarmInfoDlg(Services services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), options_(LoadAlarmDialogOptions(services_.configIni)) {
    Ui::UIAlarmInfoDlg ui;
    ui.setupUi(this);
    stack_ = ui.listStack;
    alarmList_ = ui.alarmList;
    eventList_ = ui.eventList;
    displayOption_ = ui.displayOption;
    alarmOption_ = ui.alarmOption;
    eventOption_ = ui.eventOption;
    videoOption_ = ui.videoOption;
    soundOption_ = ui.soundOption;
    autoOption_ = ui.autoOption;
    mdOption_ = ui.mdOption;
    ioOption_ = ui.ioOption;
    otherOption_ = ui.otherOption;
    floatOption_ = ui.floatOption;
    msgLabel_ = ui.msgLabel;

    displayOption_->setText(Tr("Show/Hide"));
    alarmOption_->setText(Tr("Abnormal Temperature"));
    eventOption_->setText(Tr("Real Temperature"));
    mdOption_->setText(Tr("Motion Detection"));
    ioOption_->setText(Tr("Input alarm"));
    otherOption_->setText(Tr("Other alarms"));
    videoOption_->setText(Tr("Popup video"));
    soundOption_->setText(Tr("Audio alarm"));
    autoOption_->setText(Tr("Automatic/manual display hidden"));
    floatOption_->setText(Tr("Floating window"));
    ui.clearBtn->setText(Tr("Clear information"));
    listedText_[0] = Tr("Abnormal Temperature");
    listedText_[1] = Tr("Real Temperature");

    alarmModel_ = new AlarmRowModel(services_.directory, AlarmRowList::kDefaultCapacity, this);
    eventModel_ = new AlarmRowModel(services_.directory, AlarmRowList::kDefaultCapacity, this);
    for (auto [view, model] : {std::pair{alarmList_, alarmModel_}, std::pair{eventList_, eventModel_}}) {
        view->setModel(model);
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(22);
        view->horizontalHeader()->resizeSection(AlarmRowModel::kTime, 150);
        view->horizontalHeader()->resizeSection(AlarmRowModel::kDevice, 180);
        view->horizontalHeader()->resizeSection(AlarmRowModel::kContent, 180);
        view->horizontalHeader()->resizeSection(AlarmRowModel::kNote, 90);
    }
    connect(alarmList_, &QTableView::activated, this, [this](const QModelIndex& i) { ActivateRow(true, i.row()); });
    connect(eventList_, &QTableView::activated, this, [this](const QModelIndex& i) { ActivateRow(false, i.row()); });

    ApplyOptions();

    connect(displayOption_, &QPushButton::clicked, this, [this](bool on) {
        ShowLists(on);
        SetOption(&AlarmDialogOptions::listsShown, on);
    });
    connect(alarmOption_, &QRadioButton::toggled, this, [this](bool on) {
        stack_->setCurrentIndex(on ? 0 : 1);
        SetOption(&AlarmDialogOptions::showAlarmList, on);
    });
    connect(videoOption_, &QCheckBox::toggled, this, [this](bool on) { SetOption(&AlarmDialogOptions::popupVideo, on); });
    connect(soundOption_, &QCheckBox::toggled, this, [this](bool on) {
        services_.sounds.SetSoundOn(on);  // the sound thread's next play already hears it
        SetOption(&AlarmDialogOptions::soundOn, on);
    });
    connect(autoOption_, &QCheckBox::toggled, this, [this](bool on) { SetOption(&AlarmDialogOptions::autoShow, on); });
    connect(mdOption_, &QCheckBox::toggled, this, [this](bool on) { SetOption(&AlarmDialogOptions::motion, on); });
    connect(ioOption_, &QCheckBox::toggled, this, [this](bool on) { SetOption(&AlarmDialogOptions::input, on); });
    connect(otherOption_, &QCheckBox::toggled, this, [this](bool on) { SetOption(&AlarmDialogOptions::other, on); });
    connect(floatOption_, &QCheckBox::toggled, this, [this](bool on) {
        SetOption(&AlarmDialogOptions::floating, on);
        if (floatingChanged_) floatingChanged_(on);
    });
    connect(ui.clearBtn, &QPushButton::clicked, this, [this] {
        alarmModel_->Clear();
        eventModel_->Clear();
        msgLabel_->clear();
    });

    // Entries the hub no longer held when the bridge came to read them are never shown: the
    // window lists what arrives, it does not rebuild a history.
    services_.events.Subscribe(this, CoreEventHub::MaskOf<AlarmEvent>(), [this](const CoreEvent& e) {
        if (const auto* alarm = std::get_if<AlarmEvent>(&e)) OnAlarmEvent(*alarm);
    });
}

UIAlarmInfoDlg::~UIAlarmInfoDlg() = default;

void UIAlarmInfoDlg::ApplyOptions() {
    const QSignalBlocker blocks[] = {QSignalBlocker(displayOption_), QSignalBlocker(alarmOption_),
                                     QSignalBlocker(eventOption_),   QSignalBlocker(videoOption_),
                                     QSignalBlocker(soundOption_),   QSignalBlocker(autoOption_),
                                     QSignalBlocker(mdOption_),      QSignalBlocker(ioOption_),
                                     QSignalBlocker(otherOption_),   QSignalBlocker(floatOption_)};
    (void)blocks;
    alarmOption_->setChecked(options_.showAlarmList != 0);
    eventOption_->setChecked(options_.showAlarmList == 0);
    stack_->setCurrentIndex(options_.showAlarmList ? 0 : 1);
    videoOption_->setChecked(options_.popupVideo != 0);
    soundOption_->setChecked(options_.soundOn != 0);
    autoOption_->setChecked(options_.autoShow != 0);
    mdOption_->setChecked(options_.motion != 0);
    ioOption_->setChecked(options_.input != 0);
    otherOption_->setChecked(options_.other != 0);
    floatOption_->setChecked(options_.floating != 0);
    displayOption_->setChecked(options_.listsShown != 0);
    stack_->setHidden(options_.listsShown == 0);
    services_.sounds.SetSoundOn(options_.soundOn != 0);
}

void UIAlarmInfoDlg::SetOption(uint8_t AlarmDialogOptions::*field, bool on) {
    options_.*field = on ? 1 : 0;
    SaveAlarmDialogOptions(services_.configIni, options_);
}

bool UIAlarmInfoDlg::ListsShown() const { return !stack_->isHidden(); }

void UIAlarmInfoDlg::ShowLists(bool shown) {
    stack_->setHidden(!shown);
    const QSignalBlocker block(displayOption_);
    displayOption_->setChecked(shown);
}

void UIAlarmInfoDlg::OnAlarmEvent(const AlarmEvent& e) {
    int lists = ListsFor(e, options_);
    if (lists & kInAlarmList) alarmModel_->Add(e);
    if (lists & kInEventList) eventModel_->Add(e);
    if (lists != 0) {
        const AlarmRowModel& model = *eventModel_;
        const QModelIndex top = model.index(0, 0);
        QStringList parts;
        for (int c = 0; c < AlarmRowModel::kColumnCount - 1; ++c)
            parts << model.data(top.siblingAtColumn(c), Qt::DisplayRole).toString();
        msgLabel_->setText(parts.join("  "));
    }
    const int type = DeviceAlarmTypeOfStart(e.code);
    const bool alarmStarts = type >= 0 && lists != 0;
    if (options_.autoShow && !ListsShown() && ((lists & kInAlarmList) || alarmStarts)) ShowLists(true);
    // The popup goes through its own message, after this delivery has finished, as any other
    // sender of it would.
    if (type >= 0) PostWindowMessage(this, kMsgAlarmPopupVideo, e.channelId, type);
}

bool UIAlarmInfoDlg::event(QEvent* e) {
    if (e->type() == WindowMessage::EventType()) {
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() == kMsgAlarmPopupVideo)
            OnPopupRequest(static_cast<int>(m->wParam()), static_cast<int>(m->lParam()));
        return true;
    }
    return QWidget::event(e);
}

UIAlarmVideoWnd& UIAlarmInfoDlg::Popup() {
    if (popup_ == nullptr) popup_ = new UIAlarmVideoWnd(services_.players, services_.directory, this);
    return *popup_;
}

void UIAlarmInfoDlg::OnPopupRequest(int channelId, int type) {
    if (!PopupWanted(services_.directory, channelId, type, options_.popupVideo != 0)) return;
    Popup().ShowChannel(channelId);
}

void UIAlarmInfoDlg::ActivateRow(bool alarmList, int row) {
    const AlarmRowList& rows = (alarmList ? alarmModel_ : eventModel_)->rows();
    if (row < 0 || static_cast<size_t>(row) >= rows.size()) return;
    const AlarmEvent e = rows.at(static_cast<size_t>(row));
    if (e.code == kEventTemperatureNormal || e.code == kEventTemperatureAbnormal) {
        if (readingActivated_) readingActivated_(e);
        return;
    }
    // A device alarm's row opens its channel's video, whatever its linkage: the operator asked.
    if (!IsChannelId(e.channelId) || !CheckRight(this, kRightLiveView)) return;
    Popup().ShowChannel(e.channelId);
}

}  // namespace ocv
