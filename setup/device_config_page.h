#pragma once
// The remote configuration page: a channel's settings kept on the device itself (colour,
// encoding quality, on-screen display, motion detection, alarm input, PTZ port, network, clock)
// read and written through the device's existing login, and the channel's settings kept in the
// store (recording plan, alarm arming, alarm linkage), with a preview on which the operator draws
// the motion areas. Every device call runs on the page's worker thread, in order; answers come
// back to the window and are dropped when another channel was chosen meanwhile.
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "setup/channel_copy.h"
#include "setup/config_records.h"
#include "setup/motion_areas.h"
#include "setup/serial_worker.h"
#include "setup/week_schedule.h"
#include "widgets/page.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QStackedWidget;

namespace ocv {

class MotionPreview;
class UICopyDlg;
class UITimeDlg;

class UIDeviceConfigDlg : public QWidget, public Page {
    Q_OBJECT
public:
    enum PageIndex { kColor, kQuality, kPlan, kAlarm, kImage, kMotion, kCover, kIoAlarm, kPtz, kNetwork, kSystem, kPageCount };

    // events may be null (the channel list then follows nothing but this page).
    UIDeviceConfigDlg(ConfigStore& store, DeviceConfiguration& config, EventBridge* events, QWidget* parent);
    ~UIDeviceConfigDlg() override;
    QWidget* Widget() override { return this; }
    void OnShown() override;
    void OnHidden() override;

    // The channel list's entry with this cell channel id (device * 64 + channel); false when it
    // has none.
    bool SelectChannel(int channelId);
    // The cell channel id shown, -1 when none.
    int selectedChannelId() const { return device_ < 0 ? -1 : device_ * kMaxChannels + channel_; }
    void SwitchPage(int index);
    int currentPage() const { return page_; }
    // The device answered the capability read: its settings can be read and written.
    bool Connected() const { return ready_; }
    // Device calls still under way (tests wait for none).
    bool Busy() const { return pending_ > 0; }

    // The motion areas being edited; the operator adds one by dragging on the preview.
    const std::vector<AreaRect>& motionAreas() const { return areas_; }
    void AddArea(const AreaRect& area);
    MotionPreview& preview() const { return *preview_; }

    // Tests answer the weekly editor and the copy window: false for Cancel.
    void SetTimeHookForTesting(std::function<bool(UITimeDlg&)> hook) { timeHook_ = std::move(hook); }
    void SetCopyHookForTesting(std::function<bool(UICopyDlg&)> hook) { copyHook_ = std::move(hook); }

private:
    using ReadDone = std::function<void(int result, const ConfigRecord& record)>;
    using WriteDone = std::function<void(int result)>;
    void Read(uint32_t command, int channel, ConfigRecord selector, ReadDone done);
    void Write(uint32_t command, int channel, ConfigRecord record, WriteDone done);
    bool Allowed();

    void FillChannelList();
    void OnChannelChosen(int comboIndex);
    void ClosePreview();
    void ClearPages();
    void LoadPage();
    // Device pages.
    void LoadColor();
    void WriteColorFromSliders();
    void WriteImageFlags(QCheckBox* changed);
    void DefaultColor();
    void LoadQuality();
    void ShowStream(int stream);
    void ModifyQuality();
    void LoadOsd();
    void SaveOsd();
    void LoadMotion();
    void SaveMotion();
    void ClearAreas();
    void UpdateOverlay(const AreaRect& drawing = {});
    void LoadInput();
    void SaveInput();
    void LoadPtz();
    void SavePtz();
    void LoadNetwork();
    void SaveNetwork();
    void LoadClock();
    void WriteClock(const ConfigRecord& clock);
    void Reboot();
    // Store pages.
    LocalPage LocalPageOf(int page) const;
    LocalSettings EditedLocal(LocalPage page) const;
    void LoadLocal(LocalPage page);
    void SaveLocal(LocalPage page);
    void EditSchedule(LocalPage page);
    void CopyLocal(LocalPage page);
    QString ChannelText(int device, int channel) const;

    ConfigStore& store_;
    DeviceConfiguration& config_;
    int page_ = kColor;
    int device_ = -1, channel_ = -1;
    int generation_ = 0;  // changes with every channel choice; older answers are dropped
    bool ready_ = false;
    int pending_ = 0;
    int streams_ = 1;
    int pictureWidth_ = 0, pictureHeight_ = 0;
    bool loading_ = false;  // filling widgets: their change signals write nothing
    ConfigRecord color_, image_, osd_, motion_, input_, ptz_, network_;
    std::array<ConfigRecord, 3> quality_;
    std::vector<AreaRect> areas_;
    WeekSchedule planSchedule_, armSchedule_;
    std::function<bool(UITimeDlg&)> timeHook_;
    std::function<bool(UICopyDlg&)> copyHook_;

    QComboBox* devCombo_;
    QLabel* msgLabel_;
    QStackedWidget* switch_;
    QPushButton* options_[kPageCount];
    QWidget* mdSetting_;
    QWidget* ioSetting_;
    MotionPreview* preview_;
    QSlider* bright_;
    QSlider* contrast_;
    QSlider* saturation_;
    QSlider* hue_;
    QCheckBox* flip_;
    QCheckBox* mirror_;
    QComboBox* streamCombo_;
    QLabel* resolution_;
    QComboBox* frameRate_;
    QLineEdit* bitRate_;
    QLineEdit* iFrame_;
    QComboBox* rateControl_;
    QComboBox* qualityLevel_;
    QCheckBox* planRec_;
    QCheckBox* alarmArm_;
    QCheckBox* osdName_;
    QCheckBox* osdTime_;
    QLineEdit* osdNameEdit_;
    QComboBox* mdEnable_;
    QComboBox* mdSensitivity_;
    QPushButton* mdDraw_;
    QCheckBox* mdLink_[4];
    QComboBox* ioEnable_;
    QComboBox* ioState_;
    QCheckBox* ioLink_[4];
    QLineEdit* ptzAddress_;
    QComboBox* ptzProtocol_;
    QComboBox* baud_;
    QComboBox* dataBits_;
    QComboBox* stopBits_;
    QComboBox* parity_;
    QLineEdit* netHost_;
    QLineEdit* netPort_;
    QLineEdit* netMask_;
    QLineEdit* netGateway_;
    QLineEdit* netDns1_;
    QLineEdit* netDns2_;
    QLineEdit* netMac_;
    QLabel* clockText_;
    QDateTimeEdit* clockEdit_;

    // Last: its destructor runs the jobs still queued (closing the preview among them) while
    // everything above still exists.
    AreaOverlay overlay_;
    int previewHandle_ = 0;  // the worker's: opened and closed only by its jobs
    SerialWorker worker_{"dev-config"};
};

}  // namespace ocv
