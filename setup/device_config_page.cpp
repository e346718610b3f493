#include "setup/device_config_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <memory>

#include "device/device_configuration.h"
#include "setup/copy_channels_dlg.h"
#include "setup/motion_preview.h"
#include "setup/week_schedule_view.h"
#include "store/config_store.h"
#include "store/text_field.h"
#include "videogrid/qt_video_surface.h"
#include "widgets/event_bridge.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/text_limit.h"
#include "widgets/user_session.h"
#include "ui_UIDeviceConfigDlg.h"

namespace ocv {
namespace {

const char* const kOptionNames[UIDeviceConfigDlg::kPageCount] = {
    "OpColor", "OpQuality", "OpPlan", "OpAlarm", "OpImage", "OpMotion", "OpCover", "OpIoAlarm", "OpPtz", "OpNetwork",
    "OpSystem"};
const char* const kOptionTexts[UIDeviceConfigDlg::kPageCount] = {
    "Color", "Quality", "Plan REC", "Arming", "Display", "Motion detection", "Occlusion", "I/O alarm", "PTZ",
    "Network", "System"};
const char* const kDescriptions[UIDeviceConfigDlg::kPageCount] = {
    "Configure device parameters (eg, brightness, contrast, saturation, etc.).",
    "Configure the device image quality, resolution parameters.",
    "Configure devices scheduled recording.",
    "Configure the device alarm planned schedule.",
    "Configure the device display parameters, OSD and privacy zones.",
    "Configure the device motion detection parameters (such as linkage methods).",
    "Configure the device occlusion alarm parameters (such as linkage methods).",
    "Configure the device I/O alarm parameters (such as linkage methods).",
    "Configure PTZ device parameters such as bit rate, protocols, address.",
    "Configure the network parameters (such as IP address, port, etc.).",
    "Parameter configuration of the system, such as time, restart."};
// Linkage check boxes in the order of their bits.
constexpr int32_t kLinkBits[4] = {kLinkPopupVideo, kLinkMap, kLinkSound, kLinkRecord};

void AddItems(QComboBox* combo, std::initializer_list<const char*> texts) {
    for (const char* t : texts) combo->addItem(Tr(t));
}

}  // namespace

UIDeviceConfigDlg::UIDeviceConfigDlg(ConfigStore& store, DeviceConfiguration& config, EventBridge* events,
                                     QWidget* parent)
    : QWidget(parent), store_(store), config_(config) {
    Ui::UIDeviceConfigDlg ui;
    ui.setupUi(this);
    devCombo_ = ui.devCombo;
    msgLabel_ = ui.msgLable;
    switch_ = ui.switchTab;
    mdSetting_ = ui.mdSettingHor;
    ioSetting_ = ui.ioSettingHor;
    for (int i = 0; i < kPageCount; ++i) {
        options_[i] = findChild<QPushButton*>(kOptionNames[i]);
        options_[i]->setText(Tr(kOptionTexts[i]));
        connect(options_[i], &QPushButton::clicked, this, [this, i] { SwitchPage(i); });
    }
    preview_ = new MotionPreview(ui.previewHost);
    ui.previewHost->layout()->addWidget(preview_);
    preview_->SetAreaDrawnHandler([this](const AreaRect& r) { AddArea(r); });
    preview_->SetDraggingHandler([this](const AreaRect& r) { UpdateOverlay(r); });

    // Colour.
    bright_ = ui.brightSlider;
    contrast_ = ui.contrastSlider;
    saturation_ = ui.saturationSlider;
    hue_ = ui.hueSlider;
    flip_ = ui.flipOption;
    mirror_ = ui.mirrorOption;
    ui.brightLabel->setText(Tr("Brightness"));
    ui.contrastLabel->setText(Tr("Contrast"));
    ui.saturationLabel->setText(Tr("Saturation"));
    ui.hueLabel->setText(Tr("Hue"));
    flip_->setText(Tr("Flip"));
    mirror_->setText(Tr("Mirror"));
    ui.cDefaultBtn->setText(Tr("Default"));
    for (QSlider* s : {bright_, contrast_, saturation_, hue_}) {
        s->setRange(0, kColorValueMax);
        // One write per position the operator settles on, not one per pixel of a drag.
        connect(s, &QSlider::valueChanged, this, [this, s] {
            if (!s->isSliderDown()) WriteColorFromSliders();
        });
        connect(s, &QSlider::sliderReleased, this, &UIDeviceConfigDlg::WriteColorFromSliders);
    }
    connect(flip_, &QCheckBox::toggled, this, [this] { WriteImageFlags(flip_); });
    connect(mirror_, &QCheckBox::toggled, this, [this] { WriteImageFlags(mirror_); });
    connect(ui.cDefaultBtn, &QPushButton::clicked, this, &UIDeviceConfigDlg::DefaultColor);

    // Quality.
    streamCombo_ = ui.vStreamCombo;
    resolution_ = ui.resolutionText;
    frameRate_ = ui.frameRateCombo;
    bitRate_ = ui.bitRateEdit;
    iFrame_ = ui.iFrameEdit;
    rateControl_ = ui.vcbrCombo;
    qualityLevel_ = ui.qualityCombo;
    ui.vStreamLabel->setText(Tr("Stream"));
    ui.resolutionLabel->setText(Tr("Resolution"));
    ui.frameRateLabel->setText(Tr("Frame rate"));
    ui.bitRateLabel->setText(Tr("Bit rate (kbps)"));
    ui.iFrameLabel->setText(Tr("I frame interval"));
    ui.vcbrLabel->setText(Tr("Bit rate control"));
    ui.qualityLabel->setText(Tr("Image quality"));
    ui.vModifyBtn->setText(Tr("Modify"));
    for (int f = 1; f <= 30; ++f) frameRate_->addItem(QString::number(f));
    AddItems(rateControl_, {"CBR", "VBR"});
    AddItems(qualityLevel_, {"Best", "Better", "Good", "Normal", "Bad", "Worst"});
    connect(streamCombo_, &QComboBox::currentIndexChanged, this, [this](int s) {
        if (!loading_) ShowStream(s);
    });
    connect(ui.vModifyBtn, &QPushButton::clicked, this, &UIDeviceConfigDlg::ModifyQuality);

    // Plan and arming.
    planRec_ = ui.planRecOption;
    alarmArm_ = ui.alarmArmOption;
    planRec_->setText(Tr("Enable scheduled recording"));
    alarmArm_->setText(Tr("Enable alarm linkage"));
    ui.planTimeBtn->setText(Tr("Time"));
    ui.alarmTimeBtn->setText(Tr("Time"));
    for (QPushButton* b : {ui.planCopyBtn, ui.alarmCopyBtn, ui.mdCopyBtn, ui.ioCopyBtn}) b->setText(Tr("Copy"));
    for (QPushButton* b : {ui.planSaveBtn, ui.alarmSaveBtn, ui.mdSaveBtn, ui.ioSaveBtn, ui.ptzSaveBtn})
        b->setText(Tr("Save"));
    connect(ui.planTimeBtn, &QPushButton::clicked, this, [this] { EditSchedule(LocalPage::kPlan); });
    connect(ui.alarmTimeBtn, &QPushButton::clicked, this, [this] { EditSchedule(LocalPage::kArming); });
    connect(ui.planSaveBtn, &QPushButton::clicked, this, [this] { SaveLocal(LocalPage::kPlan); });
    connect(ui.alarmSaveBtn, &QPushButton::clicked, this, [this] { SaveLocal(LocalPage::kArming); });
    connect(ui.planCopyBtn, &QPushButton::clicked, this, [this] { CopyLocal(LocalPage::kPlan); });
    connect(ui.alarmCopyBtn, &QPushButton::clicked, this, [this] { CopyLocal(LocalPage::kArming); });
    connect(ui.mdCopyBtn, &QPushButton::clicked, this, [this] { CopyLocal(LocalPage::kMotion); });
    connect(ui.ioCopyBtn, &QPushButton::clicked, this, [this] { CopyLocal(LocalPage::kAlarmInput); });

    // Display.
    osdName_ = ui.nameOption;
    osdTime_ = ui.timeOption;
    osdNameEdit_ = ui.osdNameEdit;
    osdName_->setText(Tr("Show name"));
    osdTime_->setText(Tr("Show time"));
    ui.osdNameLabel->setText(Tr("Name"));
    ui.osdBtn->setText(Tr("OK"));
    LimitToUtf8Bytes(osdNameEdit_, int(cfg::kOsdNameBytes) - 1);  // what the record's field keeps
    connect(ui.osdBtn, &QPushButton::clicked, this, &UIDeviceConfigDlg::SaveOsd);

    // Motion detection and alarm input.
    mdEnable_ = ui.mdEnableCombo;
    mdSensitivity_ = ui.mdSensiCombo;
    mdDraw_ = ui.mdCfgBtn;
    ui.mdEnableLabel->setText(Tr("Enable"));
    ui.mdSensiLabel->setText(Tr("Sensitivity"));
    AddItems(mdEnable_, {"Disable", "Enable"});
    AddItems(mdSensitivity_, {"Lowest", "Lower", "Low", "Middle", "Higher", "Highest"});
    mdDraw_->setText(Tr("Draw area"));
    ui.mdClearBtn->setText(Tr("Clear"));
    connect(mdDraw_, &QPushButton::toggled, this, [this](bool on) { preview_->SetDrawing(on); });
    connect(ui.mdClearBtn, &QPushButton::clicked, this, &UIDeviceConfigDlg::ClearAreas);
    connect(ui.mdSaveBtn, &QPushButton::clicked, this, &UIDeviceConfigDlg::SaveMotion);
    QCheckBox* md[4] = {ui.mdAvideoOption, ui.mdAmapOption, ui.mdAsoundOption, ui.mdArecordOption};
    QCheckBox* io[4] = {ui.ioAvideoOption, ui.ioAmapOption, ui.ioAsoundOption, ui.ioArecordOption};
    const char* linkTexts[4] = {"Popup video", "Map", "Sound", "REC"};
    ui.mdLinkLabel->setText(Tr("Alarm linkage:"));
    ui.ioLinkLabel->setText(Tr("Alarm linkage:"));
    for (int i = 0; i < 4; ++i) {
        mdLink_[i] = md[i];
        ioLink_[i] = io[i];
        md[i]->setText(Tr(linkTexts[i]));
        io[i]->setText(Tr(linkTexts[i]));
    }
    ioEnable_ = ui.ioEnableCombo;
    ioState_ = ui.ioStateCombo;
    ui.ioEnableLabel->setText(Tr("Enable"));
    ui.ioStateLabel->setText(Tr("Input level"));
    AddItems(ioEnable_, {"Enable", "Disable"});
    AddItems(ioState_, {"High level", "Low level"});
    connect(ui.ioSaveBtn, &QPushButton::clicked, this, &UIDeviceConfigDlg::SaveInput);
    ui.coverText->setText(Tr("This device keeps no occlusion alarm settings of its own."));

    // PTZ.
    ptzAddress_ = ui.addressEdit;
    ptzProtocol_ = ui.protocolCombo;
    baud_ = ui.baudCombo;
    dataBits_ = ui.dataBitCombo;
    stopBits_ = ui.stopBitCombo;
    parity_ = ui.parityCombo;
    ui.addressLabel->setText(Tr("Address"));
    ui.protocolLabel->setText(Tr("Protocol"));
    ui.baudLabel->setText(Tr("Baud rate"));
    ui.dataBitLabel->setText(Tr("Data bits"));
    ui.stopBitLabel->setText(Tr("Stop bits"));
    ui.parityLabel->setText(Tr("Parity"));
    AddItems(ptzProtocol_, {"PELCO-D", "PELCO-P"});
    for (int b : kBaudRates) baud_->addItem(QString::number(b));
    for (int b : kDataBits) dataBits_->addItem(QString::number(b));
    for (const char* s : kStopBitTexts) stopBits_->addItem(s);
    AddItems(parity_, {"None", "Odd", "Even"});
    connect(ui.ptzSaveBtn, &QPushButton::clicked, this, &UIDeviceConfigDlg::SavePtz);

    // Network.
    netHost_ = ui.hostEdit;
    netPort_ = ui.portEdit;
    netMask_ = ui.maskEdit;
    netGateway_ = ui.gatewayEdit;
    netDns1_ = ui.fdnsEdit;
    netDns2_ = ui.sdnsEdit;
    netMac_ = ui.macEdit;
    ui.hostLabel->setText(Tr("Address"));
    ui.portLabel->setText(Tr("Port"));
    ui.maskLabel->setText(Tr("Subnet mask"));
    ui.gatewayLabel->setText(Tr("Gateway"));
    ui.fdnsLabel->setText(Tr("Preferred DNS"));
    ui.sdnsLabel->setText(Tr("Alternate DNS"));
    ui.macLabel->setText(Tr("MAC address"));
    ui.networkBtn->setText(Tr("Modify"));
    connect(ui.networkBtn, &QPushButton::clicked, this, &UIDeviceConfigDlg::SaveNetwork);

    // System.
    clockText_ = ui.clockText;
    clockEdit_ = ui.sTimeBtn;
    ui.clockLabel->setText(Tr("Device time"));
    ui.sTimeLabel->setText(Tr("New time"));
    ui.setTimeBtn->setText(Tr("Set time"));
    ui.syncPcBtn->setText(Tr("Synchronization"));
    ui.rebootBtn->setText(Tr("Reboot"));
    clockEdit_->setDateTime(QDateTime::currentDateTime());
    connect(ui.setTimeBtn, &QPushButton::clicked, this, [this] {
        QDateTime t = clockEdit_->dateTime();
        WriteClock(ClockRecordOf(t.date().year(), t.date().month(), t.date().day(), t.time().hour(), t.time().minute(),
                                 t.time().second()));
    });
    connect(ui.syncPcBtn, &QPushButton::clicked, this, [this] {
        QDateTime t = QDateTime::currentDateTime();
        WriteClock(ClockRecordOf(t.date().year(), t.date().month(), t.date().day(), t.time().hour(), t.time().minute(),
                                 t.time().second()));
    });
    connect(ui.rebootBtn, &QPushButton::clicked, this, &UIDeviceConfigDlg::Reboot);

    connect(devCombo_, &QComboBox::activated, this, &UIDeviceConfigDlg::OnChannelChosen);
    if (events) {
        events->Subscribe(this, CoreEventHub::MaskOf<ConfigChanged>(), [this](const CoreEvent& e) {
            const auto& c = std::get<ConfigChanged>(e);
            if (c.part == ConfigPart::kDevices || c.part == ConfigPart::kAll) FillChannelList();
        }, [this] { FillChannelList(); });
    }
    SwitchPage(kColor);
    FillChannelList();
}

UIDeviceConfigDlg::~UIDeviceConfigDlg() {
    // Queued behind whatever still runs; the worker's destructor runs it before the overlay goes.
    ClosePreview();
}

void UIDeviceConfigDlg::OnShown() {
    if (device_ >= 0) SelectChannel(device_ * kMaxChannels + channel_);
}

void UIDeviceConfigDlg::OnHidden() {
    // A hidden page keeps no stream of the device open.
    ++generation_;
    ClosePreview();
}

bool UIDeviceConfigDlg::Allowed() { return CheckRight(this, kRightCameraSettings); }

QString UIDeviceConfigDlg::ChannelText(int device, int channel) const {
    const DeviceInfo& d = store_.device(device);
    QString label = d.name[0] ? QString::fromUtf8(std::string(FieldText(d.name)))
                              : QString::asprintf("%s:%d", std::string(FieldText(d.host)).c_str(), int(d.port));
    const ChannelInfo& c = d.channels[channel];
    if (c.name[0]) return QString("[%1]%2").arg(label, QString::fromUtf8(std::string(FieldText(c.name))));
    return QString("[%1]%2%3").arg(label, Tr("Channel"), QString::asprintf("%03d", channel + 1));
}

void UIDeviceConfigDlg::FillChannelList() {
    int keep = devCombo_->currentIndex() >= 0 ? devCombo_->currentData().toInt() : -1;
    devCombo_->clear();
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo& dev = store_.device(d);
        if (dev.IsEmpty()) continue;
        for (int c = 0; c < kMaxChannels && c < dev.channelCount; ++c)
            if (dev.channels[c].id > 0) devCombo_->addItem(ChannelText(d, c), d * kMaxChannels + c);
    }
    int index = keep >= 0 ? devCombo_->findData(keep) : -1;
    if (index >= 0) {
        devCombo_->setCurrentIndex(index);
        return;  // the channel shown is still there: nothing to reload
    }
    if (devCombo_->count() > 0) {
        OnChannelChosen(0);
    } else {
        ++generation_;
        ClosePreview();
        device_ = channel_ = -1;
        ready_ = false;
        ClearPages();
    }
}

bool UIDeviceConfigDlg::SelectChannel(int channelId) {
    int index = devCombo_->findData(channelId);
    if (index < 0) return false;
    OnChannelChosen(index);
    return true;
}

void UIDeviceConfigDlg::OnChannelChosen(int comboIndex) {
    devCombo_->setCurrentIndex(comboIndex);
    int id = devCombo_->itemData(comboIndex).toInt();
    ++generation_;
    ClosePreview();
    ready_ = false;
    areas_.clear();
    UpdateOverlay();
    ClearPages();
    int device = id / kMaxChannels, channel = id % kMaxChannels;
    if (id < 0 || device >= kMaxDevices || store_.device(device).IsEmpty()) {
        device_ = channel_ = -1;
        return;
    }
    device_ = device;
    channel_ = channel;
    LoadPage();  // the store's pages need no device

    // The device's pages need its login: the capability read tells whether it is there.
    const int gen = generation_;
    void* window = preview_->area().Surface().Handle();
    struct Opened {
        int capability = -1;
        int streams = 1;
        int width = 0, height = 0;
    };
    ++pending_;
    worker_.Post([this, gen, device, channel, window] {
        auto opened = std::make_shared<Opened>();
        ConfigRecord capability(QVX_CMD_CAPABILITY);
        opened->capability = config_.GetChannelConfig(device, 0, QVX_CMD_CAPABILITY, capability.data(), capability.size());
        if (opened->capability == 0) {
            opened->streams = std::clamp(int(capability.Word(cfg::kCapabilityStreams)), 1, 3);
            int handle = 0;
            if (config_.OpenPreview(device, channel, 0, window, &AreaOverlay::Draw, reinterpret_cast<intptr_t>(&overlay_),
                                    &handle) == 0)
                previewHandle_ = handle;
            ConfigRecord quality(QVX_CMD_QUALITY);
            quality.SetWord(cfg::kQualityStream, 0);
            if (config_.GetChannelConfig(device, channel, QVX_CMD_QUALITY, quality.data(), quality.size()) == 0) {
                opened->width = int(quality.Word(cfg::kQualityWidth));
                opened->height = int(quality.Word(cfg::kQualityHeight));
            }
        }
        QMetaObject::invokeMethod(this, [this, gen, opened] {
            --pending_;
            if (gen != generation_ || opened->capability != 0) return;  // not connected: the pages stay empty
            ready_ = true;
            streams_ = opened->streams;
            pictureWidth_ = opened->width;
            pictureHeight_ = opened->height;
            preview_->SetPictureSize(pictureWidth_, pictureHeight_);
            LoadPage();
        }, Qt::QueuedConnection);
    });
}

void UIDeviceConfigDlg::ClosePreview() {
    preview_->SetDrawing(false);
    preview_->area().ClearPicture();
    worker_.Post([this] {
        if (previewHandle_ != 0) config_.ClosePreview(previewHandle_);
        previewHandle_ = 0;
    });
}

void UIDeviceConfigDlg::Read(uint32_t command, int channel, ConfigRecord selector, ReadDone done) {
    if (!ready_ || device_ < 0) return;  // no login: nothing is read
    const int gen = generation_, device = device_;
    auto record = std::make_shared<ConfigRecord>(std::move(selector));
    ++pending_;
    worker_.Post([this, gen, device, channel, command, record, done = std::move(done)] {
        int rc = config_.GetChannelConfig(device, channel, command, record->data(), record->size());
        QMetaObject::invokeMethod(this, [this, gen, rc, record, done] {
            --pending_;
            if (gen == generation_) done(rc, *record);
        }, Qt::QueuedConnection);
    });
}

void UIDeviceConfigDlg::Write(uint32_t command, int channel, ConfigRecord record, WriteDone done) {
    if (!ready_ || device_ < 0) return;  // no login: nothing is written
    const int gen = generation_, device = device_;
    auto sent = std::make_shared<ConfigRecord>(std::move(record));
    ++pending_;
    worker_.Post([this, gen, device, channel, command, sent, done = std::move(done)] {
        int rc = config_.SendChannelConfig(device, channel, command, sent->data(), sent->size());
        QMetaObject::invokeMethod(this, [this, gen, rc, done] {
            --pending_;
            if (gen == generation_ && done) done(rc);
        }, Qt::QueuedConnection);
    });
}

void UIDeviceConfigDlg::SwitchPage(int index) {
    if (index < 0 || index >= kPageCount) return;
    page_ = index;
    options_[index]->setChecked(true);
    switch_->setCurrentIndex(index);
    msgLabel_->setText(Tr(kDescriptions[index]));
    mdSetting_->setVisible(index == kMotion);
    ioSetting_->setVisible(index == kIoAlarm);
    if (index != kMotion) mdDraw_->setChecked(false);
    LoadPage();
}

void UIDeviceConfigDlg::LoadPage() {
    switch (page_) {
    case kColor: LoadColor(); break;
    case kQuality: LoadQuality(); break;
    case kPlan: LoadLocal(LocalPage::kPlan); break;
    case kAlarm: LoadLocal(LocalPage::kArming); break;
    case kImage: LoadOsd(); break;
    case kMotion: LoadMotion(); break;
    case kIoAlarm: LoadInput(); break;
    case kPtz: LoadPtz(); break;
    case kNetwork: LoadNetwork(); break;
    case kSystem: LoadClock(); break;
    default: break;  // the occlusion page has nothing to load
    }
}

void UIDeviceConfigDlg::ClearPages() {
    loading_ = true;
    for (QSlider* s : {bright_, contrast_, saturation_, hue_}) s->setValue(0);
    for (QCheckBox* b : {flip_, mirror_, planRec_, alarmArm_, osdName_, osdTime_}) b->setChecked(false);
    for (QCheckBox* b : mdLink_) b->setChecked(false);
    for (QCheckBox* b : ioLink_) b->setChecked(false);
    streamCombo_->clear();
    for (QLineEdit* e : {bitRate_, iFrame_, osdNameEdit_, ptzAddress_, netHost_, netPort_, netMask_, netGateway_, netDns1_,
                         netDns2_, netMac_})
        e->clear();
    resolution_->clear();
    clockText_->clear();
    for (ConfigRecord* r : {&color_, &image_, &osd_, &motion_, &input_, &ptz_, &network_}) *r = ConfigRecord();
    for (ConfigRecord& q : quality_) q = ConfigRecord();
    planSchedule_ = armSchedule_ = WeekSchedule();
    loading_ = false;
}

// The store's pages: plan recording, arming, and the alarm linkage beside motion and input.

LocalPage UIDeviceConfigDlg::LocalPageOf(int page) const {
    switch (page) {
    case kPlan: return LocalPage::kPlan;
    case kAlarm: return LocalPage::kArming;
    case kIoAlarm: return LocalPage::kAlarmInput;
    default: return LocalPage::kMotion;
    }
}

void UIDeviceConfigDlg::LoadLocal(LocalPage page) {
    loading_ = true;
    QCheckBox* const* links = page == LocalPage::kMotion ? mdLink_ : ioLink_;
    // The linkage boxes start cleared, then show what the store holds.
    if (page == LocalPage::kMotion || page == LocalPage::kAlarmInput)
        for (int i = 0; i < 4; ++i) links[i]->setChecked(false);
    if (device_ >= 0) {
        LocalSettings s = LocalSettingsOf(store_.device(device_).channels[channel_], page);
        switch (page) {
        case LocalPage::kPlan:
            planRec_->setChecked(s.enabled != 0);
            planSchedule_ = WeekSchedule(s.schedule);
            break;
        case LocalPage::kArming:
            alarmArm_->setChecked(s.enabled != 0);
            armSchedule_ = WeekSchedule(s.schedule);
            break;
        default:
            for (int i = 0; i < 4; ++i) links[i]->setChecked((s.linkage & kLinkBits[i]) != 0);
        }
    }
    loading_ = false;
}

LocalSettings UIDeviceConfigDlg::EditedLocal(LocalPage page) const {
    LocalSettings s;
    switch (page) {
    case LocalPage::kPlan:
        s.enabled = planRec_->isChecked() ? 1 : 0;
        planSchedule_.ToWords(s.schedule);
        break;
    case LocalPage::kArming:
        s.enabled = alarmArm_->isChecked() ? 1 : 0;
        armSchedule_.ToWords(s.schedule);
        break;
    case LocalPage::kMotion:
    case LocalPage::kAlarmInput: {
        QCheckBox* const* links = page == LocalPage::kMotion ? mdLink_ : ioLink_;
        for (int i = 0; i < 4; ++i)
            if (links[i]->isChecked()) s.linkage |= kLinkBits[i];
        break;
    }
    }
    return s;
}

void UIDeviceConfigDlg::SaveLocal(LocalPage page) {
    if (device_ < 0) {
        ShowMessage(this, "Please select device", kMsgWarning);
        return;
    }
    if (!Allowed()) return;
    bool ok = WriteLocalSettings(store_, device_, channel_, page, EditedLocal(page)) == 0;
    ShowMessage(this, ok ? "Successfully set parameters!" : "Set parameters failed!", ok ? kMsgComplete : kMsgError);
}

void UIDeviceConfigDlg::EditSchedule(LocalPage page) {
    if (device_ < 0) {
        ShowMessage(this, "Please select device", kMsgWarning);
        return;
    }
    WeekSchedule& schedule = page == LocalPage::kPlan ? planSchedule_ : armSchedule_;
    UITimeDlg dlg(Tr(page == LocalPage::kPlan ? "Plan REC time configuration" : "Arming time configuration"), schedule,
                  this);
    bool accepted = timeHook_ ? timeHook_(dlg) : dlg.exec() == QDialog::Accepted;
    if (accepted) schedule = dlg.schedule();  // kept until "Save" writes it
}

void UIDeviceConfigDlg::CopyLocal(LocalPage page) {
    if (device_ < 0) {
        ShowMessage(this, "Please select device", kMsgWarning);
        return;
    }
    if (!Allowed()) return;
    std::vector<std::pair<int, QString>> channels;
    const DeviceInfo& d = store_.device(device_);
    for (int c = 0; c < kMaxChannels && c < d.channelCount; ++c)
        if (c != channel_ && d.channels[c].id > 0) channels.emplace_back(c, ChannelText(device_, c));
    UICopyDlg dlg(channels, this);
    bool accepted = copyHook_ ? copyHook_(dlg) : dlg.exec() == QDialog::Accepted;
    if (!accepted) return;
    CopyCount n = CopyLocalSettings(store_, device_, dlg.Chosen(), page, EditedLocal(page));
    ShowMessage(this,
                QString("%1:%2  %3:%4").arg(Tr("Copy success")).arg(n.written).arg(Tr("Copy failed")).arg(n.failed),
                QString(), n.failed == 0 ? kMsgComplete : kMsgWarning);
}

}  // namespace ocv
