// The remote configuration page's device pages: each loads its record(s) from the device and
// writes back the record it read with the operator's fields changed, so the bytes the page does
// not know travel back as the device sent them.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include "device/device_configuration.h"
#include "setup/device_config_page.h"
#include "setup/motion_preview.h"
#include "store/config_store.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"

namespace ocv {
namespace {
const char* const kStreamNames[3] = {"Main stream", "Sub stream", "Third stream"};
QString Text(const ConfigRecord& r, uint32_t offset, uint32_t bytes) { return QString::fromUtf8(r.Text(offset, bytes)); }
}  // namespace

// Colour: four sliders written together, silently; flip and mirror; the default record.

void UIDeviceConfigDlg::LoadColor() {
    Read(QVX_CMD_COLOR, channel_, ConfigRecord(QVX_CMD_COLOR), [this](int rc, const ConfigRecord& r) {
        if (rc != 0) return;
        color_ = r;
        loading_ = true;
        bright_->setValue(int(r.Word(cfg::kColorBrightness)));
        contrast_->setValue(int(r.Word(cfg::kColorContrast)));
        saturation_->setValue(int(r.Word(cfg::kColorSaturation)));
        hue_->setValue(int(r.Word(cfg::kColorHue)));
        loading_ = false;
    });
    Read(QVX_CMD_IMAGE, channel_, ConfigRecord(QVX_CMD_IMAGE), [this](int rc, const ConfigRecord& r) {
        if (rc != 0) return;
        image_ = r;
        loading_ = true;
        flip_->setChecked(r.Word(cfg::kImageFlip) == 1);
        mirror_->setChecked(r.Word(cfg::kImageMirror) == 1);
        loading_ = false;
    });
}

void UIDeviceConfigDlg::WriteColorFromSliders() {
    if (loading_ || color_.empty() || !Allowed()) return;
    color_.SetWord(cfg::kColorBrightness, uint32_t(bright_->value()));
    color_.SetWord(cfg::kColorContrast, uint32_t(contrast_->value()));
    color_.SetWord(cfg::kColorSaturation, uint32_t(saturation_->value()));
    color_.SetWord(cfg::kColorHue, uint32_t(hue_->value()));
    Write(QVX_CMD_COLOR, channel_, color_, {});  // slider changes say nothing either way
}

void UIDeviceConfigDlg::WriteImageFlags(QCheckBox* changed) {
    if (loading_ || image_.empty()) return;
    const bool on = changed->isChecked();
    auto revert = [this, changed, on] {
        loading_ = true;
        changed->setChecked(!on);
        loading_ = false;
    };
    if (!Allowed()) return revert();
    ConfigRecord r = image_;
    r.SetWord(changed == flip_ ? cfg::kImageFlip : cfg::kImageMirror, on ? 1 : 0);
    Write(QVX_CMD_IMAGE, channel_, r, [this, r, revert](int rc) {
        if (rc == 0) {
            image_ = r;
            return;
        }
        revert();
        ShowMessage(this, "Set parameters failed!", kMsgError);
    });
}

void UIDeviceConfigDlg::DefaultColor() {
    if (!ready_ || !Allowed()) return;
    Write(QVX_CMD_COLOR, channel_, DefaultColorRecord(), [this](int rc) {
        if (rc == 0) LoadColor();
    });
}

// Quality: one record per stream the device announces.

void UIDeviceConfigDlg::LoadQuality() {
    for (int s = 0; s < streams_; ++s) {
        ConfigRecord selector(QVX_CMD_QUALITY);
        selector.SetWord(cfg::kQualityStream, uint32_t(s));
        Read(QVX_CMD_QUALITY, channel_, selector, [this, s](int rc, const ConfigRecord& r) {
            if (rc != 0) return;
            quality_[size_t(s)] = r;
            if (s != streams_ - 1) return;
            // The last stream is in: list them all and show the main one.
            loading_ = true;
            streamCombo_->clear();
            for (int i = 0; i < streams_; ++i) streamCombo_->addItem(Tr(kStreamNames[i]), i);
            streamCombo_->setCurrentIndex(0);
            loading_ = false;
            ShowStream(0);
        });
    }
}

void UIDeviceConfigDlg::ShowStream(int stream) {
    if (stream < 0 || stream >= streams_ || quality_[size_t(stream)].empty()) return;
    const ConfigRecord& r = quality_[size_t(stream)];
    int w = int(r.Word(cfg::kQualityWidth)), h = int(r.Word(cfg::kQualityHeight));
    const char* name = PictureSizeName(w, h);
    resolution_->setText(QString("%1 (%2 x %3)").arg(name[0] ? QString(name) : Tr("Other")).arg(w).arg(h));
    frameRate_->setCurrentIndex(std::clamp(int(r.Word(cfg::kQualityFrameRate)) - 1, 0, frameRate_->count() - 1));
    bitRate_->setText(QString::number(r.Word(cfg::kQualityBitRate)));
    iFrame_->setText(QString::number(r.Word(cfg::kQualityIFrame)));
    rateControl_->setCurrentIndex(std::clamp(int(r.Word(cfg::kQualityRateControl)), 0, rateControl_->count() - 1));
    qualityLevel_->setCurrentIndex(std::clamp(int(r.Word(cfg::kQualityLevel)) - 1, 0, qualityLevel_->count() - 1));
}

void UIDeviceConfigDlg::ModifyQuality() {
    int stream = streamCombo_->currentIndex();
    if (!ready_ || stream < 0 || stream >= streams_ || quality_[size_t(stream)].empty()) return;
    std::string iFrame = iFrame_->text().toStdString(), bitRate = bitRate_->text().toStdString();
    if (const char* refusal = CheckQualityInput(iFrame, bitRate)) {
        ShowMessage(this, refusal, kMsgError);
        return;
    }
    if (!Allowed()) return;
    int iFrameValue = 0, bitRateValue = 0;
    ParseDecimal(iFrame, &iFrameValue);
    ParseDecimal(bitRate, &bitRateValue);
    ConfigRecord r = quality_[size_t(stream)];
    r.SetWord(cfg::kQualityStream, uint32_t(stream));
    r.SetWord(cfg::kQualityFrameRate, uint32_t(frameRate_->currentIndex() + 1));
    r.SetWord(cfg::kQualityRateControl, uint32_t(rateControl_->currentIndex()));
    r.SetWord(cfg::kQualityLevel, uint32_t(qualityLevel_->currentIndex() + 1));
    r.SetWord(cfg::kQualityIFrame, uint32_t(iFrameValue));
    r.SetWord(cfg::kQualityBitRate, uint32_t(bitRateValue));
    Write(QVX_CMD_QUALITY, channel_, r, [this, r, stream](int rc) {
        if (rc == 0) quality_[size_t(stream)] = r;
        ShowMessage(this, rc == 0 ? "Successfully set parameters!" : "Set parameters failed!",
                    rc == 0 ? kMsgComplete : kMsgError);
    });
}

// Display (OSD).

void UIDeviceConfigDlg::LoadOsd() {
    Read(QVX_CMD_OSD, channel_, ConfigRecord(QVX_CMD_OSD), [this](int rc, const ConfigRecord& r) {
        if (rc != 0) {
            ShowMessage(this, "Get parameters failed!", kMsgError);
            return;
        }
        osd_ = r;
        osdName_->setChecked(r.Word(cfg::kOsdShowName) != 0);
        osdTime_->setChecked(r.Word(cfg::kOsdShowTime) != 0);
        osdNameEdit_->setText(Text(r, cfg::kOsdName, cfg::kOsdNameBytes));
    });
}

void UIDeviceConfigDlg::SaveOsd() {
    if (!ready_ || osd_.empty()) return;
    std::string name = osdNameEdit_->text().toStdString();
    if (name.empty()) {
        ShowMessage(this, "Name can not be empty!", kMsgError);
        return;
    }
    if (!Allowed()) return;
    ConfigRecord r = osd_;
    r.SetWord(cfg::kOsdShowName, osdName_->isChecked() ? 1 : 0);
    r.SetWord(cfg::kOsdShowTime, osdTime_->isChecked() ? 1 : 0);
    r.SetText(cfg::kOsdName, cfg::kOsdNameBytes, name);
    Write(QVX_CMD_OSD, channel_, r, [this, r](int rc) {
        if (rc == 0) osd_ = r;
        ShowMessage(this, rc == 0 ? "Successfully set parameters!" : "Set parameters failed!",
                    rc == 0 ? kMsgComplete : kMsgError);
    });
}

// Motion detection: the record's switches and areas on the device, the linkage in the store.

void UIDeviceConfigDlg::LoadMotion() {
    LoadLocal(LocalPage::kMotion);
    Read(QVX_CMD_MOTION, channel_, ConfigRecord(QVX_CMD_MOTION), [this](int rc, const ConfigRecord& r) {
        if (rc != 0) {
            ShowMessage(this, "Get parameters failed!", kMsgError);
            return;
        }
        motion_ = r;
        mdEnable_->setCurrentIndex(std::clamp(int(r.Word(cfg::kMotionEnable)), 0, mdEnable_->count() - 1));
        mdSensitivity_->setCurrentIndex(std::clamp(int(r.Word(cfg::kMotionSensitivity)), 0, mdSensitivity_->count() - 1));
        areas_ = MotionAreasOf(r);
        UpdateOverlay();
    });
}

void UIDeviceConfigDlg::AddArea(const AreaRect& area) {
    if (AddMotionArea(&areas_, area)) {
        UpdateOverlay();
        return;
    }
    if (int(areas_.size()) >= kMaxMotionAreas) ShowMessage(this, "Motion detection area is already full!", kMsgWarning);
}

void UIDeviceConfigDlg::ClearAreas() {
    areas_.clear();
    UpdateOverlay();
}

void UIDeviceConfigDlg::UpdateOverlay(const AreaRect& drawing) {
    overlay_.Set(areas_, drawing, pictureWidth_, pictureHeight_);
}

void UIDeviceConfigDlg::SaveMotion() {
    if (device_ < 0) return;
    if (!Allowed()) return;
    // The linkage is the client's own and is kept whether or not the device is there.
    bool linked = WriteLocalSettings(store_, device_, channel_, LocalPage::kMotion, EditedLocal(LocalPage::kMotion)) == 0;
    if (!ready_ || motion_.empty()) {
        ShowMessage(this, linked ? "Successfully set parameters!" : "Set parameters failed!",
                    linked ? kMsgComplete : kMsgError);
        return;
    }
    ConfigRecord r = motion_;
    r.SetWord(cfg::kMotionEnable, uint32_t(mdEnable_->currentIndex()));
    r.SetWord(cfg::kMotionSensitivity, uint32_t(mdSensitivity_->currentIndex()));
    SetMotionAreas(&r, areas_);
    Write(QVX_CMD_MOTION, channel_, r, [this, r, linked](int rc) {
        if (rc == 0) motion_ = r;  // what the device holds now
        bool ok = rc == 0 && linked;
        ShowMessage(this, ok ? "Successfully set parameters!" : "Set parameters failed!", ok ? kMsgComplete : kMsgError);
    });
}

// Alarm input: the record on the device, the linkage in the store.

void UIDeviceConfigDlg::LoadInput() {
    LoadLocal(LocalPage::kAlarmInput);
    Read(QVX_CMD_ALARM_INPUT, channel_, ConfigRecord(QVX_CMD_ALARM_INPUT), [this](int rc, const ConfigRecord& r) {
        if (rc != 0) {
            ShowMessage(this, "Get parameters failed!", kMsgError);
            return;
        }
        input_ = r;
        ioEnable_->setCurrentIndex(r.Word(cfg::kInputEnable) != 0 ? 0 : 1);
        ioState_->setCurrentIndex(r.Word(cfg::kInputLevel) != 0 ? 1 : 0);
    });
}

void UIDeviceConfigDlg::SaveInput() {
    if (device_ < 0) return;
    if (!Allowed()) return;
    bool linked =
        WriteLocalSettings(store_, device_, channel_, LocalPage::kAlarmInput, EditedLocal(LocalPage::kAlarmInput)) == 0;
    if (!ready_ || input_.empty()) {
        ShowMessage(this, linked ? "Successfully set parameters!" : "Set parameters failed!",
                    linked ? kMsgComplete : kMsgError);
        return;
    }
    ConfigRecord r = input_;
    r.SetWord(cfg::kInputEnable, ioEnable_->currentIndex() == 0 ? 1 : 0);
    r.SetWord(cfg::kInputLevel, uint32_t(ioState_->currentIndex()));
    Write(QVX_CMD_ALARM_INPUT, channel_, r, [this, r, linked](int rc) {
        if (rc == 0) input_ = r;
        bool ok = rc == 0 && linked;
        ShowMessage(this, ok ? "Successfully set parameters!" : "Set parameters failed!", ok ? kMsgComplete : kMsgError);
    });
}

// PTZ port.

void UIDeviceConfigDlg::LoadPtz() {
    Read(QVX_CMD_PTZ_PORT, channel_, ConfigRecord(QVX_CMD_PTZ_PORT), [this](int rc, const ConfigRecord& r) {
        if (rc != 0) return;
        ptz_ = r;
        ptzAddress_->setText(QString::asprintf("%d", int(r.Word(cfg::kPtzAddress))));
        ptzProtocol_->setCurrentIndex(std::clamp(int(r.Word(cfg::kPtzProtocol)), 0, 1));
        baud_->setCurrentIndex(std::max(IndexOfValue(kBaudRates, 9, int(r.Word(cfg::kPtzBaud))), 0));
        dataBits_->setCurrentIndex(std::max(IndexOfValue(kDataBits, 4, int(r.Word(cfg::kPtzDataBits))), 0));
        stopBits_->setCurrentIndex(std::max(IndexOfValue(kStopBitValues, 3, int(r.Word(cfg::kPtzStopBits))), 0));
        parity_->setCurrentIndex(std::clamp(int(r.Word(cfg::kPtzParity)), 0, 2));
    });
}

void UIDeviceConfigDlg::SavePtz() {
    if (!ready_ || ptz_.empty()) return;
    std::string address = ptzAddress_->text().toStdString();
    if (const char* refusal = CheckPtzAddress(address)) {
        ShowMessage(this, refusal, kMsgError);
        return;
    }
    if (!Allowed()) return;
    int value = 0;
    ParseDecimal(address, &value);
    ConfigRecord r = ptz_;
    r.SetWord(cfg::kPtzAddress, uint32_t(value));
    r.SetWord(cfg::kPtzProtocol, uint32_t(ptzProtocol_->currentIndex()));
    r.SetWord(cfg::kPtzBaud, uint32_t(kBaudRates[std::max(baud_->currentIndex(), 0)]));
    r.SetWord(cfg::kPtzDataBits, uint32_t(kDataBits[std::max(dataBits_->currentIndex(), 0)]));
    r.SetWord(cfg::kPtzStopBits, uint32_t(kStopBitValues[std::max(stopBits_->currentIndex(), 0)]));
    r.SetWord(cfg::kPtzParity, uint32_t(parity_->currentIndex()));
    Write(QVX_CMD_PTZ_PORT, channel_, r, [this, r](int rc) {
        if (rc == 0) ptz_ = r;
        ShowMessage(this, rc == 0 ? "Successfully set parameters!" : "Set parameters failed!",
                    rc == 0 ? kMsgComplete : kMsgError);
    });
}

// Network: the device's own record (channel 0).

void UIDeviceConfigDlg::LoadNetwork() {
    Read(QVX_CMD_NETWORK, 0, ConfigRecord(QVX_CMD_NETWORK), [this](int rc, const ConfigRecord& r) {
        if (rc != 0) return;
        network_ = r;
        netHost_->setText(Text(r, cfg::kNetAddress, cfg::kNetTextBytes));
        netMask_->setText(Text(r, cfg::kNetMask, cfg::kNetTextBytes));
        netGateway_->setText(Text(r, cfg::kNetGateway, cfg::kNetTextBytes));
        netMac_->setText(Text(r, cfg::kNetMac, cfg::kNetTextBytes));
        netDns1_->setText(Text(r, cfg::kNetDns1, cfg::kNetTextBytes));
        netDns2_->setText(Text(r, cfg::kNetDns2, cfg::kNetTextBytes));
        netPort_->setText(QString::asprintf("%d", int(r.Word(cfg::kNetPort))));
    });
}

void UIDeviceConfigDlg::SaveNetwork() {
    if (!ready_ || network_.empty()) return;
    std::string port = netPort_->text().toStdString();
    if (const char* refusal = CheckDevicePort(port)) {
        ShowMessage(this, refusal, kMsgError);
        return;
    }
    if (!Allowed()) return;
    int value = 0;
    ParseDecimal(port, &value);
    ConfigRecord r = network_;
    r.SetWord(cfg::kNetPort, uint32_t(value));
    r.SetText(cfg::kNetAddress, cfg::kNetTextBytes, netHost_->text().trimmed().toStdString());
    r.SetText(cfg::kNetMask, cfg::kNetTextBytes, netMask_->text().trimmed().toStdString());
    r.SetText(cfg::kNetGateway, cfg::kNetTextBytes, netGateway_->text().trimmed().toStdString());
    r.SetText(cfg::kNetDns1, cfg::kNetTextBytes, netDns1_->text().trimmed().toStdString());
    r.SetText(cfg::kNetDns2, cfg::kNetTextBytes, netDns2_->text().trimmed().toStdString());
    Write(QVX_CMD_NETWORK, 0, r, [this, r](int rc) {
        if (rc == 0) network_ = r;
        ShowMessage(this, rc == 0 ? "Successfully set parameters!" : "Set parameters failed!",
                    rc == 0 ? kMsgComplete : kMsgError);
    });
}

// System: the device clock and a restart.

void UIDeviceConfigDlg::LoadClock() {
    Read(QVX_CMD_CLOCK, channel_, ConfigRecord(QVX_CMD_CLOCK), [this](int rc, const ConfigRecord& r) {
        if (rc == 0) clockText_->setText(QString::fromStdString(ClockText(r)));
    });
}

void UIDeviceConfigDlg::WriteClock(const ConfigRecord& clock) {
    if (!ready_ || !Allowed()) return;
    Write(QVX_CMD_CLOCK, channel_, clock, [this](int rc) {
        ShowMessage(this, rc == 0 ? "Successfully set parameters!" : "Set parameters failed!",
                    rc == 0 ? kMsgComplete : kMsgError);
        if (rc == 0) LoadClock();
    });
}

void UIDeviceConfigDlg::Reboot() {
    if (!ready_ || !Allowed()) return;
    const int gen = generation_, device = device_;
    ++pending_;
    worker_.Post([this, gen, device] {
        int rc = config_.RebootDevice(device);
        QMetaObject::invokeMethod(this, [this, gen, rc] {
            --pending_;
            if (gen == generation_ && rc != 0) ShowMessage(this, "Set parameters failed!", kMsgError);
        }, Qt::QueuedConnection);
    });
}

}  // namespace ocv
