#include "setup/found_devices.h"

#include <arpa/inet.h>

#include <cstring>

#include "setup/config_records.h"
#include "store/text_field.h"

namespace ocv {

bool FoundDeviceList::Insert(const QVX_FOUND_DEVICE& record, int* row) {
    size_t idLength = strnlen(record.deviceId, sizeof record.deviceId);
    if (idLength == 0 || idLength > 36) return false;
    std::string id(record.deviceId, idLength);
    for (const QVX_FOUND_DEVICE& r : records_)
        if (FoundText(r.deviceId) == id) return false;
    std::string address = FoundText(record.address);
    size_t at = 0;
    while (at < records_.size() && FoundText(records_[at].address).compare(address) <= 0) ++at;
    QVX_FOUND_DEVICE copy;
    std::memcpy(&copy, &record, sizeof copy);
    // Texts end inside their fields from here on, whatever arrived.
    copy.address[sizeof copy.address - 1] = '\0';
    copy.deviceId[sizeof copy.deviceId - 1] = '\0';
    records_.insert(records_.begin() + long(at), copy);
    if (row) *row = int(at);
    return true;
}

std::vector<SearchProtocolEntry> SearchModeEntries(int mode) {
    if (mode == kSearchModeDefault) return {{"Default", QVX_SCH_PROTOCOL_ALL}, {"MDR/NAS", QVX_SCH_PROTOCOL_STORAGE}};
    if (mode == kSearchModeAll)
        return {{"Default", QVX_SCH_PROTOCOL_ALL},
                {"ONVIF", QVX_SCH_PROTOCOL_ONVIF},
                {"XM", 9},
                {"MDR/NAS", QVX_SCH_PROTOCOL_STORAGE},
                {"DEC", QVX_SCH_PROTOCOL_DECODER}};
    return {};
}

bool SearchModeShowsCombo(int mode) { return mode < 3 || mode > 6; }

int SearchProtocolOf(int mode, const std::vector<SearchProtocolEntry>& entries, int selected) {
    if (mode >= 4 && mode <= 6) return mode;
    if (mode == kSearchModeOnvif) return QVX_SCH_PROTOCOL_ONVIF;
    if (selected < 0 || selected >= int(entries.size())) return 0;
    return entries[size_t(selected)].protocol;
}

bool SettingsOfferedFor(int protocol) { return protocol != QVX_SCH_PROTOCOL_ONVIF && protocol != 9; }

bool SearchProgress::Tick() {
    bool before = done();
    ++ticks_;
    return !before && done();
}

const char* ApplyNetworkEdits(const NetworkEdits& e, QVX_FOUND_DEVICE* record) {
    auto text = [](const std::string& t) { return t.empty() ? std::string("0.0.0.0") : t; };
    if (const char* refusal = CheckDevicePort(e.port)) return refusal;
    std::string address = text(e.address), mask = text(e.mask), gateway = text(e.gateway), dns1 = text(e.dns1),
                dns2 = text(e.dns2);
    if (address.size() >= sizeof record->address || mask.size() >= sizeof record->mask ||
        gateway.size() >= sizeof record->gateway || dns1.size() >= sizeof record->dns1 ||
        dns2.size() >= sizeof record->dns2) {
        return "Modification fails!";
    }
    int port = 0;
    ParseDecimal(e.port, &port);
    record->port = uint32_t(port);
    CopyText(record->address, address);
    CopyText(record->mask, mask);
    CopyText(record->gateway, gateway);
    CopyText(record->dns1, dns1);
    CopyText(record->dns2, dns2);
    return nullptr;
}

bool ParseSearchTarget(std::string_view text, std::string* address, uint16_t* port) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    std::string_view host = text;
    int value = 0;
    size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
        host = text.substr(0, colon);
        if (!ParseDecimal(text.substr(colon + 1), &value) || value < 1 || value > 65535) return false;
    }
    std::string h(host);
    in_addr parsed{};
    if (h.empty() || inet_pton(AF_INET, h.c_str(), &parsed) != 1) return false;
    *address = h;
    *port = uint16_t(value);
    return true;
}

}  // namespace ocv
