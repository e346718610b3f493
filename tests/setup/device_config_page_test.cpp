// The remote configuration page on the offscreen platform against an in-memory device: the
// quality page's limits and picture-size names, a device without login, motion areas drawn
// with the mouse and saved, the PTZ and network limits, answers for a channel no longer shown,
// and the plan page's weekly editor, save and copy through the store.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QCheckBox>
#include <QTest>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "device/device_configuration.h"
#include "setup/copy_channels_dlg.h"
#include "setup/device_config_page.h"
#include "setup/motion_preview.h"
#include "setup/week_schedule_view.h"
#include "tests/setup/setup_fakes.h"
#include "widgets/client_context.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"

namespace ocv::test {
namespace {

using Strings = std::vector<std::string>;

// A device's records kept per channel (and per stream for quality), read and written from the
// page's worker thread.
class FakeDeviceConfig : public DeviceConfiguration {
public:
    int SendChannelConfig(int device, int channel, uint32_t command, const void* buffer, uint32_t length) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (!online.count(device) || refuseWrites || length != uint32_t(QVX_SDK_ConfigSize(command))) return -1;
        auto* bytes = static_cast<const uint8_t*>(buffer);
        records[Key(channel, command, bytes)] = std::vector<uint8_t>(bytes, bytes + length);
        ++writes;
        return 0;
    }
    int FetchDevicePicture(int, int, int, uint8_t*, uint32_t*) override { return -1; }
    int GetChannelConfig(int device, int channel, uint32_t command, void* buffer, uint32_t length) override {
        if (delayReads) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        std::lock_guard<std::mutex> lock(mutex);
        if (!online.count(device) || length != uint32_t(QVX_SDK_ConfigSize(command))) return -1;
        auto it = records.find(Key(channel, command, static_cast<const uint8_t*>(buffer)));
        if (it == records.end()) return command == QVX_CMD_CAPABILITY || failReads ? -1 : 0;
        std::memcpy(buffer, it->second.data(), length);
        return 0;
    }
    int RebootDevice(int device) override { return online.count(device) ? 0 : -1; }
    int OpenPreview(int device, int, int, void* window, PreviewDrawFn draw, intptr_t, int* preview) override {
        if (!online.count(device) || !window || !draw) return -1;
        *preview = ++opened;
        return 0;
    }
    int ClosePreview(int preview) override {
        if (preview <= 0) return -1;
        ++closed;
        return 0;
    }

    void Put(int channel, const ConfigRecord& r) {
        std::lock_guard<std::mutex> lock(mutex);
        records[Key(channel, r.command(), r.data())] = std::vector<uint8_t>(r.data(), r.data() + r.size());
    }
    ConfigRecord Get(int channel, uint32_t command, int stream = 0) {
        ConfigRecord r(command);
        r.SetWord(cfg::kQualityStream, uint32_t(stream));
        std::lock_guard<std::mutex> lock(mutex);
        auto it = records.find(Key(channel, command, r.data()));
        if (it != records.end()) std::memcpy(r.data(), it->second.data(), r.size());
        return r;
    }

    std::mutex mutex;
    std::set<int> online;
    std::map<std::tuple<int, uint32_t, uint32_t>, std::vector<uint8_t>> records;
    std::atomic<int> writes{0}, opened{0}, closed{0};
    bool refuseWrites = false, failReads = false;
    std::atomic<bool> delayReads{false};

private:
    static std::tuple<int, uint32_t, uint32_t> Key(int channel, uint32_t command, const uint8_t* bytes) {
        uint32_t stream = 0;
        if (command == QVX_CMD_QUALITY) std::memcpy(&stream, bytes + cfg::kQualityStream, 4);
        return {command == QVX_CMD_NETWORK || command == QVX_CMD_CAPABILITY ? 0 : channel, command, stream};
    }
};

class DeviceConfigPageTest : public ::testing::Test {
protected:
    DeviceConfigPageTest() {
        SetMessageHookForTesting([this](const QString& text, int) {
            messages.push_back(text.toStdString());
            return true;
        });
        SetLoginHookForTesting([](QWidget*, bool) { return false; });
        UserInfo admin{};
        admin.id = 1;
        admin.level = kLevelAdministrator;
        admin.option = kAllRights;
        std::snprintf(admin.userName, sizeof admin.userName, "boss");
        LogInAs(admin);
        cam = s.Add("10.0.0.5", 8000, 4, "Yard");
        other = s.Add("10.0.0.6", 8000, 1, "Gate");
        ConfigRecord capability(QVX_CMD_CAPABILITY);
        capability.SetWord(cfg::kCapabilityStreams, 2);
        device.Put(0, capability);
        for (int ch = 0; ch < 4; ++ch) {
            ConfigRecord main(QVX_CMD_QUALITY), sub(QVX_CMD_QUALITY);
            main.SetWord(cfg::kQualityWidth, 640);
            main.SetWord(cfg::kQualityHeight, 352);
            main.SetWord(cfg::kQualityBitRate, 2048);
            main.SetWord(cfg::kQualityIFrame, 50);
            main.SetWord(cfg::kQualityFrameRate, 25);
            sub.SetWord(cfg::kQualityStream, 1);
            sub.SetWord(cfg::kQualityWidth, 640);
            sub.SetWord(cfg::kQualityHeight, 360);
            device.Put(ch, main);
            device.Put(ch, sub);
        }
        device.online.insert(cam);
    }
    ~DeviceConfigPageTest() override {
        LogOut();
        SetMessageHookForTesting(nullptr);
        SetLoginHookForTesting(nullptr);
    }
    std::unique_ptr<UIDeviceConfigDlg> Page() {
        auto page = std::make_unique<UIDeviceConfigDlg>(s.store, device, nullptr, nullptr);
        page->resize(1000, 620);
        page->show();
        EXPECT_TRUE(Settle(*page));
        return page;
    }
    static bool Settle(UIDeviceConfigDlg& page) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } while (page.Busy() && std::chrono::steady_clock::now() < deadline);
        QApplication::processEvents();
        return !page.Busy();
    }
    template <class W>
    static W* Find(UIDeviceConfigDlg& page, const char* name) {
        W* w = page.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void Click(UIDeviceConfigDlg& page, const char* button) {
        Find<QPushButton>(page, button)->click();
        Settle(page);
    }

    StoreOnDisk s;
    FakeDeviceConfig device;
    Strings messages;
    int cam = -1, other = -1;
};

TEST_F(DeviceConfigPageTest, QualityPageNamesPictureSizesAndRefusesIFrameAndBitRateOutsideTheirRanges) {
    auto page = Page();
    ASSERT_TRUE(page->Connected());
    page->SwitchPage(UIDeviceConfigDlg::kQuality);
    ASSERT_TRUE(Settle(*page));
    auto* streams = Find<QComboBox>(*page, "vStreamCombo");
    ASSERT_EQ(streams->count(), 2);
    EXPECT_TRUE(Find<QLabel>(*page, "resolutionText")->text().startsWith("Q720"));
    EXPECT_EQ(Find<QLineEdit>(*page, "bitRateEdit")->text(), "2048");
    streams->setCurrentIndex(1);
    EXPECT_TRUE(Find<QLabel>(*page, "resolutionText")->text().startsWith("VGA"));
    streams->setCurrentIndex(0);

    auto* iFrame = Find<QLineEdit>(*page, "iFrameEdit");
    auto* bitRate = Find<QLineEdit>(*page, "bitRateEdit");
    const struct {
        const char* iFrame;
        const char* bitRate;
        const char* message;
    } cases[] = {
        {"0", "2048", "Invalid I frame interval!"},     {"301", "2048", "Invalid I frame interval!"},
        {"50", "31", "Invalid bit rate (32-10000)!"},    {"50", "10001", "Invalid bit rate (32-10000)!"},
        {"1", "32", "Successfully set parameters!"},     {"300", "10000", "Successfully set parameters!"},
    };
    for (const auto& c : cases) {
        messages.clear();
        int writesBefore = device.writes;
        iFrame->setText(c.iFrame);
        bitRate->setText(c.bitRate);
        Click(*page, "vModifyBtn");
        EXPECT_EQ(messages, Strings{c.message}) << c.iFrame << " / " << c.bitRate;
        bool accepted = std::string(c.message) == "Successfully set parameters!";
        EXPECT_EQ(device.writes - writesBefore, accepted ? 1 : 0) << c.iFrame << " / " << c.bitRate;
        if (accepted) {
            ConfigRecord q = device.Get(0, QVX_CMD_QUALITY, 0);
            EXPECT_EQ(q.Word(cfg::kQualityIFrame), uint32_t(std::stoi(c.iFrame)));
            EXPECT_EQ(q.Word(cfg::kQualityBitRate), uint32_t(std::stoi(c.bitRate)));
            EXPECT_EQ(q.Word(cfg::kQualityWidth), 640u);  // the rest travels back as it came
        }
    }
}

TEST_F(DeviceConfigPageTest, ADeviceWithoutLoginShowsEmptyPagesAndWritesNothing) {
    device.online.clear();
    auto page = Page();
    EXPECT_FALSE(page->Connected());
    EXPECT_EQ(device.opened, 0);
    for (int p : {UIDeviceConfigDlg::kColor, UIDeviceConfigDlg::kQuality, UIDeviceConfigDlg::kImage,
                  UIDeviceConfigDlg::kPtz, UIDeviceConfigDlg::kNetwork, UIDeviceConfigDlg::kSystem}) {
        page->SwitchPage(p);
        ASSERT_TRUE(Settle(*page));
    }
    EXPECT_EQ(Find<QComboBox>(*page, "vStreamCombo")->count(), 0);
    EXPECT_TRUE(Find<QLineEdit>(*page, "hostEdit")->text().isEmpty());
    EXPECT_TRUE(Find<QLabel>(*page, "clockText")->text().isEmpty());
    Find<QLineEdit>(*page, "portEdit")->setText("8000");
    Find<QLineEdit>(*page, "addressEdit")->setText("1");
    Find<QLineEdit>(*page, "osdNameEdit")->setText("x");
    for (const char* b : {"vModifyBtn", "osdBtn", "ptzSaveBtn", "networkBtn", "setTimeBtn", "syncPcBtn", "rebootBtn",
                          "cDefaultBtn"})
        Click(*page, b);
    Find<QSlider>(*page, "brightSlider")->setValue(99);
    ASSERT_TRUE(Settle(*page));
    EXPECT_EQ(device.writes, 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(DeviceConfigPageTest, MotionAreasDrawnWithTheMouseAreSavedAndASeventeenthIsRefused) {
    ConfigRecord motion(QVX_CMD_MOTION);
    SetMotionAreas(&motion, {{10, 10, 20, 20}});
    device.Put(0, motion);
    auto page = Page();
    page->SwitchPage(UIDeviceConfigDlg::kMotion);
    ASSERT_TRUE(Settle(*page));
    ASSERT_EQ(page->motionAreas().size(), 1u);
    EXPECT_TRUE(page->findChild<QWidget*>("mdSettingHor")->isVisible());
    EXPECT_FALSE(page->findChild<QWidget*>("ioSettingHor")->isVisible());

    // Drawing is off until the operator turns it on.
    MotionPreview& preview = page->preview();
    const QSize size = preview.size();
    QTest::mousePress(&preview, Qt::LeftButton, {}, QPoint(0, 0));
    QTest::mouseRelease(&preview, Qt::LeftButton, {}, QPoint(size.width() / 2, size.height() / 2));
    EXPECT_EQ(page->motionAreas().size(), 1u);
    Find<QPushButton>(*page, "mdCfgBtn")->setChecked(true);
    QTest::mousePress(&preview, Qt::LeftButton, {}, QPoint(size.width() - 1, size.height() - 1));
    QTest::mouseMove(&preview, QPoint(size.width() / 2, size.height() / 2));
    QTest::mouseRelease(&preview, Qt::LeftButton, {}, QPoint(size.width() / 2, size.height() / 2));
    ASSERT_EQ(page->motionAreas().size(), 2u);
    // Measured in the 640 x 352 picture of the main stream, whatever the preview's size.
    const AreaRect drawn = page->motionAreas()[1];
    EXPECT_NEAR(drawn.left, 320, 3);
    EXPECT_NEAR(drawn.top, 176, 3);
    EXPECT_NEAR(drawn.right, 640, 3);
    EXPECT_NEAR(drawn.bottom, 352, 3);

    Find<QComboBox>(*page, "mdEnableCombo")->setCurrentIndex(1);
    Find<QComboBox>(*page, "mdSensiCombo")->setCurrentIndex(4);
    Find<QCheckBox>(*page, "mdArecordOption")->setChecked(true);
    Click(*page, "mdSaveBtn");
    EXPECT_EQ(messages, Strings{"Successfully set parameters!"});
    ConfigRecord saved = device.Get(0, QVX_CMD_MOTION);
    EXPECT_EQ(saved.Word(cfg::kMotionEnable), 1u);
    EXPECT_EQ(saved.Word(cfg::kMotionSensitivity), 4u);
    EXPECT_EQ(MotionAreasOf(saved), page->motionAreas());
    EXPECT_EQ(s.store.device(cam).channels[0].alarmMd, kLinkRecord);

    messages.clear();
    for (int i = 2; i < kMaxMotionAreas; ++i) page->AddArea({i, i, i + 5, i + 5});
    EXPECT_TRUE(messages.empty());
    page->AddArea({0, 0, 5, 5});
    EXPECT_EQ(messages, Strings{"Motion detection area is already full!"});
    EXPECT_EQ(int(page->motionAreas().size()), kMaxMotionAreas);
    Click(*page, "mdClearBtn");
    EXPECT_TRUE(page->motionAreas().empty());
}

TEST_F(DeviceConfigPageTest, AFailedReadOfTheMotionRecordIsReported) {
    device.failReads = true;
    auto page = Page();
    page->SwitchPage(UIDeviceConfigDlg::kMotion);
    ASSERT_TRUE(Settle(*page));
    EXPECT_EQ(messages, Strings{"Get parameters failed!"});
}

TEST_F(DeviceConfigPageTest, PtzAddressAndNetworkPortLimits) {
    auto page = Page();
    page->SwitchPage(UIDeviceConfigDlg::kPtz);
    ASSERT_TRUE(Settle(*page));
    auto* address = Find<QLineEdit>(*page, "addressEdit");
    for (const char* text : {"256", "-1", "0", "255"}) {
        messages.clear();
        address->setText(text);
        Click(*page, "ptzSaveBtn");
        bool ok = std::string(text) == "0" || std::string(text) == "255";
        EXPECT_EQ(messages, Strings{ok ? "Successfully set parameters!" : "Invalid IP Address(0~255)!"}) << text;
    }
    EXPECT_EQ(device.Get(0, QVX_CMD_PTZ_PORT).Word(cfg::kPtzAddress), 255u);

    page->SwitchPage(UIDeviceConfigDlg::kNetwork);
    ASSERT_TRUE(Settle(*page));
    const int before = device.writes;
    Find<QLineEdit>(*page, "portEdit")->setText("79");
    messages.clear();
    Click(*page, "networkBtn");
    EXPECT_EQ(messages, Strings{"Invalid Port (80-65535)!"});
    EXPECT_EQ(device.writes, before);
    Find<QLineEdit>(*page, "portEdit")->setText("8100");
    Find<QLineEdit>(*page, "gatewayEdit")->setText("10.0.0.1");
    Click(*page, "networkBtn");
    ConfigRecord net = device.Get(0, QVX_CMD_NETWORK);
    EXPECT_EQ(net.Word(cfg::kNetPort), 8100u);
    EXPECT_EQ(net.Text(cfg::kNetGateway, cfg::kNetTextBytes), "10.0.0.1");
}

TEST_F(DeviceConfigPageTest, AnswersForAChannelNoLongerShownAreDropped) {
    ConfigRecord first(QVX_CMD_COLOR), second(QVX_CMD_COLOR);
    first.SetWord(cfg::kColorBrightness, 11);
    second.SetWord(cfg::kColorBrightness, 222);
    device.Put(0, first);
    device.Put(1, second);
    auto page = Page();
    device.delayReads = true;
    // A reload of channel 1 is still on its way when the operator picks a device without login:
    // nothing of channel 1 may show up on its pages.
    ASSERT_TRUE(page->SelectChannel(ChannelIdOf(cam, 1)));
    ASSERT_TRUE(Settle(*page));
    EXPECT_EQ(Find<QSlider>(*page, "brightSlider")->value(), 222);
    page->SwitchPage(UIDeviceConfigDlg::kColor);
    ASSERT_TRUE(page->SelectChannel(ChannelIdOf(other, 0)));
    ASSERT_TRUE(Settle(*page));
    EXPECT_FALSE(page->Connected());
    EXPECT_EQ(Find<QSlider>(*page, "brightSlider")->value(), 0);
    ASSERT_TRUE(page->SelectChannel(ChannelIdOf(cam, 0)));
    ASSERT_TRUE(Settle(*page));
    EXPECT_EQ(Find<QSlider>(*page, "brightSlider")->value(), 11);
    // Loading wrote nothing back; one preview is open, every earlier one closed.
    EXPECT_EQ(device.writes, 0);
    EXPECT_EQ(device.opened - device.closed, 1);
    page.reset();
    EXPECT_EQ(device.opened, device.closed);
}

TEST_F(DeviceConfigPageTest, ASliderWritesTheWholeColourRecordAndAFailedFlipIsUndone) {
    ConfigRecord colour(QVX_CMD_COLOR);
    colour.SetWord(cfg::kColorContrast, 77);
    colour.SetWord(16, 0xABCD);  // a field the page does not know
    device.Put(0, colour);
    auto page = Page();
    Find<QSlider>(*page, "brightSlider")->setValue(200);
    ASSERT_TRUE(Settle(*page));
    ConfigRecord written = device.Get(0, QVX_CMD_COLOR);
    EXPECT_EQ(written.Word(cfg::kColorBrightness), 200u);
    EXPECT_EQ(written.Word(cfg::kColorContrast), 77u);
    EXPECT_EQ(written.Word(16), 0xABCDu);
    EXPECT_TRUE(messages.empty());

    device.refuseWrites = true;
    auto* flip = Find<QCheckBox>(*page, "flipOption");
    flip->setChecked(true);
    ASSERT_TRUE(Settle(*page));
    EXPECT_EQ(messages, Strings{"Set parameters failed!"});
    EXPECT_FALSE(flip->isChecked());
}

TEST_F(DeviceConfigPageTest, ThePlanIsDraggedSavedThroughTheStoreAndCopiedToOtherChannels) {
    auto page = Page();
    page->SwitchPage(UIDeviceConfigDlg::kPlan);
    page->SetTimeHookForTesting([](UITimeDlg& dlg) {
        EXPECT_EQ(dlg.windowTitle(), "Plan REC time configuration");
        WeekScheduleView* view = dlg.view();
        view->resize(48 + 48 * 10, 18 + 7 * 20);
        // Monday 08:00 to Tuesday 09:30, dragged from its last cell back to its first.
        QTest::mousePress(view, Qt::LeftButton, {}, view->CellOrigin(2, 19) + QPoint(2, 2));
        QTest::mouseMove(view, view->CellOrigin(1, 16) + QPoint(2, 2));
        QTest::mouseRelease(view, Qt::LeftButton, {}, view->CellOrigin(1, 16) + QPoint(2, 2));
        return true;
    });
    Click(*page, "planTimeBtn");
    Find<QCheckBox>(*page, "planRecOption")->setChecked(true);
    Click(*page, "planSaveBtn");
    EXPECT_EQ(messages, Strings{"Successfully set parameters!"});
    const ChannelInfo& saved = s.store.device(cam).channels[0];
    EXPECT_EQ(saved.planRecord, 1);
    WeekSchedule stored(saved.planSchedule);
    for (int day = 0; day < 7; ++day)
        for (int h = 0; h < 48; ++h)
            EXPECT_EQ(stored.Cell(day, h), (day == 1 || day == 2) && h >= 16 && h <= 19) << day << " " << h;

    messages.clear();
    page->SetCopyHookForTesting([](UICopyDlg& dlg) {
        EXPECT_EQ(dlg.rowCount(), 3);  // the device's other channels
        dlg.SetChecked(0, true);
        dlg.SetChecked(2, true);
        return true;
    });
    Click(*page, "planCopyBtn");
    EXPECT_EQ(messages, Strings{"Copy success:2  Copy failed:0"});
    EXPECT_EQ(WeekSchedule(s.store.device(cam).channels[1].planSchedule), stored);
    EXPECT_EQ(s.store.device(cam).channels[2].planRecord, 0);
    EXPECT_EQ(WeekSchedule(s.store.device(cam).channels[3].planSchedule), stored);
    EXPECT_EQ(s.store.device(cam).channels[3].planRecord, 1);
}

TEST_F(DeviceConfigPageTest, TheChannelListNamesChannelsAndUnnamedOnesByNumber) {
    auto page = Page();
    auto* combo = Find<QComboBox>(*page, "devCombo");
    ASSERT_EQ(combo->count(), 5);
    EXPECT_EQ(combo->itemData(4).toInt(), ChannelIdOf(other, 0));
    const std::string last = combo->itemText(4).toStdString();
    EXPECT_EQ(last, "[Gate]Channel001");
    EXPECT_FALSE(page->SelectChannel(ChannelIdOf(other, 1)));
}

}  // namespace
}  // namespace ocv::test
