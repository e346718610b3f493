// The device form's checks in their order and at their boundaries, what "Test" concludes, and
// the records the page builds (a modification's restart decision, an imported device).
#include <gtest/gtest.h>

#include <cstring>

#include "base/device_types.h"
#include "setup/device_form_rules.h"
#include "store/text_field.h"
#include "tests/setup/setup_fakes.h"

namespace ocv::test {
namespace {

DeviceFormFields Form(const std::string& host, const std::string& port, const std::string& channels,
                      const std::string& user = "admin") {
    DeviceFormFields f;
    f.host = host;
    f.port = port;
    f.channels = channels;
    f.user = user;
    return f;
}

TEST(DeviceForm, PortAndChannelBoundaries) {
    StoreOnDisk s;
    EXPECT_STREQ(ValidateDeviceForm(Form("10.0.0.1", "79", "4"), s.store, -1), "Invalid Port (80-65535)!");
    EXPECT_STREQ(ValidateDeviceForm(Form("10.0.0.1", "65536", "4"), s.store, -1), "Invalid Port (80-65535)!");
    EXPECT_EQ(ValidateDeviceForm(Form("10.0.0.1", "80", "4"), s.store, -1), nullptr);
    EXPECT_EQ(ValidateDeviceForm(Form("10.0.0.1", "65535", "4"), s.store, -1), nullptr);
    EXPECT_STREQ(ValidateDeviceForm(Form("10.0.0.1", "8000", "0"), s.store, -1), kChannelCountRefusal);
    EXPECT_STREQ(ValidateDeviceForm(Form("10.0.0.1", "8000", "65"), s.store, -1), kChannelCountRefusal);
    EXPECT_EQ(ValidateDeviceForm(Form("10.0.0.1", "8000", "1"), s.store, -1), nullptr);
    EXPECT_EQ(ValidateDeviceForm(Form("10.0.0.1", "8000", "64"), s.store, -1), nullptr);
}

TEST(DeviceForm, ChecksComeInTheirOrderAndStopAtTheFirst) {
    StoreOnDisk s;
    // Everything wrong: the address is named first, then the port, the user, the channels.
    EXPECT_STREQ(ValidateDeviceForm(Form("", "1", "0", ""), s.store, -1), "Address can not be empty!");
    EXPECT_STREQ(ValidateDeviceForm(Form("h", "1", "0", ""), s.store, -1), "Invalid Port (80-65535)!");
    EXPECT_STREQ(ValidateDeviceForm(Form("h", "80", "0", ""), s.store, -1), "Username can not be empty!");
    EXPECT_STREQ(ValidateDeviceForm(Form("h", "80", "x"), s.store, -1), kChannelCountRefusal);
}

TEST(DeviceForm, TheSameHostAndPortIsRefusedWhateverTheName) {
    StoreOnDisk s;
    int slot = s.Add("192.168.1.9", 8000, 4, "GATE");
    DeviceFormFields f = Form("192.168.1.9", "8000", "4");
    f.name = "Another name";
    EXPECT_STREQ(ValidateDeviceForm(f, s.store, -1), "Equipment already exists!");
    // Another port, or the host in other letters, is another device.
    EXPECT_EQ(ValidateDeviceForm(Form("192.168.1.9", "8001", "4"), s.store, -1), nullptr);
    s.Add("cam.example", 80, 1);
    EXPECT_EQ(ValidateDeviceForm(Form("CAM.example", "80", "1"), s.store, -1), nullptr);
    // Modifying a device without changing host and port is no duplicate of itself, but it may
    // not take another's.
    EXPECT_EQ(ValidateDeviceForm(f, s.store, slot), nullptr);
    EXPECT_STREQ(ValidateDeviceForm(Form("cam.example", "80", "1"), s.store, slot), "Equipment already exists!");
}

TEST(DeviceForm, TheFormFillsTheRecordAndComesBackFromIt) {
    DeviceFormFields f = Form("10.1.2.3", " 8080 ", "16");
    f.name = "Yard";
    f.password = "secret";
    f.type = kDeviceTypeOnvif;
    DeviceRecord rec{};
    rec.thermalFlag = 1;
    ApplyDeviceForm(f, &rec);
    EXPECT_EQ(rec.port, 8080);
    EXPECT_EQ(rec.channelCount, 16);
    EXPECT_EQ(rec.type, kDeviceTypeOnvif);
    EXPECT_EQ(rec.thermalFlag, 1);
    EXPECT_EQ(FieldText(rec.password), "secret");
    DeviceFormFields back = FormFieldsOf(rec);
    EXPECT_EQ(back.port, "8080");
    EXPECT_EQ(back.name, "Yard");
    EXPECT_EQ(back.host, "10.1.2.3");
}

TEST(DeviceForm, TestOfADecoderOrManagementServerSaysInvalidDevice) {
    EXPECT_STREQ(TestVerdict(0, "DECODER"), "Invalid device!");
    EXPECT_STREQ(TestVerdict(0, "QVXDEC"), "Invalid device!");
    EXPECT_STREQ(TestVerdict(0, "QVXCMS"), "Invalid device!");
    EXPECT_STREQ(TestVerdict(0, "QVXSMS"), "Invalid device!");
    EXPECT_STREQ(TestVerdict(0, "IPC"), "Test successful");
    EXPECT_STREQ(TestVerdict(0, "decoder"), "Test successful");  // exact text only
    EXPECT_STREQ(TestVerdict(0, "DECODER2"), "Test successful");
    EXPECT_STREQ(TestVerdict(-5, "DECODER"), "Connection Failed");
}

TEST(DeviceForm, OnlyConnectionSettingsRestartTheDevice) {
    DeviceRecord stored{};
    CopyText(stored.host, "10.0.0.1");
    CopyText(stored.user, "admin");
    CopyText(stored.password, "a");
    stored.port = 8000;
    stored.channelCount = 4;
    DeviceRecord edited = stored;
    CopyText(edited.name, "renamed");
    CopyText(edited.password, "b");
    EXPECT_FALSE(ModificationNeedsRestart(stored, edited));
    for (auto change : {+[](DeviceRecord& r) { CopyText(r.host, "10.0.0.2"); },
                        +[](DeviceRecord& r) { CopyText(r.user, "root"); }, +[](DeviceRecord& r) { r.port = 8001; },
                        +[](DeviceRecord& r) { r.type = 12; }, +[](DeviceRecord& r) { r.channelCount = 8; }}) {
        DeviceRecord e = stored;
        change(e);
        EXPECT_TRUE(ModificationNeedsRestart(stored, e));
    }
}

QVX_FOUND_DEVICE Found(const char* address, uint32_t port, uint32_t channels, uint32_t protocol = 0) {
    QVX_FOUND_DEVICE f;
    std::memset(&f, 0, sizeof f);
    std::strcpy(f.address, address);
    f.port = port;
    f.channels = channels;
    f.protocol = protocol;
    std::strcpy(f.deviceId, "ID-1");
    return f;
}

TEST(DeviceForm, AnImportedDeviceGetsTheDefaultLogin) {
    DeviceRecord r = ImportedDevice(Found("127.0.0.2", 37002, 4));
    EXPECT_EQ(FieldText(r.host), "127.0.0.2");
    EXPECT_EQ(r.port, 37002);
    EXPECT_EQ(r.channelCount, 4);
    EXPECT_EQ(r.type, 0);
    EXPECT_EQ(FieldText(r.user), "admin");
    EXPECT_EQ(FieldText(r.password), "kestr");
    EXPECT_EQ(FieldText(r.name), "");
    DeviceRecord xm = ImportedDevice(Found("10.0.0.5", 34567, 1, 9));
    EXPECT_EQ(xm.type, 9);
    EXPECT_EQ(FieldText(xm.password), "");
    // Found by WS-Discovery: an ONVIF device on its service port; its channels are not told.
    DeviceRecord onvif = ImportedDevice(Found("10.0.0.6", 8899, 0, QVX_SCH_PROTOCOL_ONVIF));
    EXPECT_EQ(onvif.type, kDeviceTypeOnvif);
    EXPECT_EQ(onvif.channelCount, 1);
    EXPECT_EQ(ImportedDevice(Found("10.0.0.7", 80, 500)).channelCount, 64);
    EXPECT_EQ(DeviceLogNote(r), "127.0.0.2:37002");
}

}  // namespace
}  // namespace ocv::test
