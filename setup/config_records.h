#pragma once
// The device's configuration records as the remote configuration page reads and writes them:
// the record bytes as the device sent them (fields the page does not know travel back
// unchanged), the page's fields at their offsets, and the checks the page makes before a write.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/qvx_sdk.h"

namespace ocv {

// One record of a configuration command: exactly QVX_SDK_ConfigSize(command) bytes.
class ConfigRecord {
public:
    ConfigRecord() = default;
    explicit ConfigRecord(uint32_t command);
    uint32_t command() const { return command_; }
    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
    bool empty() const { return bytes_.empty(); }

    // Little-endian 32-bit word at a byte offset; 0 outside the record.
    uint32_t Word(uint32_t offset) const;
    void SetWord(uint32_t offset, uint32_t value);
    // A text field of fieldBytes at offset: read up to its terminator (never past the field);
    // written cut to fieldBytes - 1 and zero-filled.
    std::string Text(uint32_t offset, uint32_t fieldBytes) const;
    void SetText(uint32_t offset, uint32_t fieldBytes, std::string_view text);

private:
    uint32_t command_ = 0;
    std::vector<uint8_t> bytes_;
};

// Field offsets of the records (docs/device-protocol.md, Configuration).
namespace cfg {
constexpr uint32_t kColorBrightness = 0, kColorSaturation = 4, kColorContrast = 8, kColorHue = 12;
constexpr uint32_t kImageFlip = 12, kImageMirror = 16;
constexpr uint32_t kQualityStream = 4, kQualityFrameRate = 12, kQualityBitRate = 16, kQualityIFrame = 20,
                   kQualityRateControl = 24, kQualityLevel = 28, kQualityWidth = 32, kQualityHeight = 36;
constexpr uint32_t kOsdShowName = 0, kOsdShowTime = 4, kOsdName = 8, kOsdNameBytes = 64;
constexpr uint32_t kPtzProtocol = 0, kPtzBaud = 4, kPtzDataBits = 8, kPtzStopBits = 12, kPtzParity = 16,
                   kPtzAddress = 20;
constexpr uint32_t kNetPort = 4, kNetAddress = 12, kNetMask = 44, kNetGateway = 76, kNetMac = 108, kNetDns1 = 140,
                   kNetDns2 = 172, kNetTextBytes = 32;
constexpr uint32_t kClockYear = 0;  // then month, day, hour, minute, second
constexpr uint32_t kMotionEnable = 4, kMotionSensitivity = 8, kMotionAreas = 12;
constexpr uint32_t kInputEnable = 0, kInputLevel = 4;
constexpr uint32_t kCapabilityChannels = 0, kCapabilityStreams = 4;
}  // namespace cfg

// The colour record a "Default" writes: every value in the middle of its range.
ConfigRecord DefaultColorRecord();
constexpr int kColorValueMax = 255;

// The name of a picture size ("Q720" for 640 x 352, "VGA" for 640 x 360); "" for a size the
// table does not have.
const char* PictureSizeName(int width, int height);

// Checks of the quality page before a write, in order: the I-frame interval 1..300 and the bit
// rate 32..10000 kbit/s, each a decimal number. nullptr, or the English refusal.
const char* CheckQualityInput(std::string_view iFrameText, std::string_view bitRateText);
// The PTZ decoder address 0..255.
const char* CheckPtzAddress(std::string_view text);
// A device port 80..65535 (device form, network settings and the network page).
const char* CheckDevicePort(std::string_view text);

// Whole decimal numbers as the forms take them: blanks around the digits are allowed, nothing
// else (no sign, no trailing letters); false for anything else or a value over 2^31 - 1.
bool ParseDecimal(std::string_view text, int* value);

// "%d-%02d-%02d %02d:%02d:%02d" of a clock record.
std::string ClockText(const ConfigRecord& clock);
// A clock record holding the given local time.
ConfigRecord ClockRecordOf(int year, int month, int day, int hour, int minute, int second);

// The PTZ page's choices and the record values they stand for.
constexpr int kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 76800, 115200};
constexpr int kDataBits[] = {5, 6, 7, 8};
// Stop bits: the record holds 1, 2, or 3 for one and a half.
constexpr const char* kStopBitTexts[] = {"1", "1.5", "2"};
constexpr int kStopBitValues[] = {1, 3, 2};
// Index of a value in one of the tables, -1 when absent.
int IndexOfValue(const int* table, int count, int value);

}  // namespace ocv
