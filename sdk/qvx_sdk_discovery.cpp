// The C entry points of LAN discovery and the network settings of found devices.
#include <cstring>
#include <string>

#include "sdk/discovery_session.h"
#include "sdk/discovery_wire.h"
#include "sdk/qvx_sdk.h"
#include "sdk/sdk_core.h"

namespace ocv::sdk {
namespace {

static_assert(sizeof(QVX_FOUND_DEVICE) == wire::kFoundRecordBytes);
static_assert(offsetof(QVX_FOUND_DEVICE, address) == 4 && offsetof(QVX_FOUND_DEVICE, channels) == 100 &&
              offsetof(QVX_FOUND_DEVICE, deviceId) == 116 && offsetof(QVX_FOUND_DEVICE, mac) == 156 &&
              offsetof(QVX_FOUND_DEVICE, firmware) == 176 && offsetof(QVX_FOUND_DEVICE, deviceType) == 216 &&
              offsetof(QVX_FOUND_DEVICE, servicePath) == 228);

std::shared_ptr<DiscoverySession> FindDiscovery(Core& core, int32_t handle) { return core.Lookup(core.discoveries, handle); }

}  // namespace
}  // namespace ocv::sdk

using namespace ocv::sdk;
namespace wire = ocv::wire;

extern "C" {

int32_t QVX_SDK_SchInitEx(QVX_HANDLE* outHandle, int32_t timeoutMs, int32_t protocol) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!outHandle) return QVX_ERR_FAILED;
    *outHandle = 0;
    if (timeoutMs < 100 || timeoutMs > 60000) return QVX_ERR_FAILED;
    if (protocol != QVX_SCH_PROTOCOL_ALL && protocol != QVX_SCH_PROTOCOL_STORAGE &&
        protocol != QVX_SCH_PROTOCOL_DECODER && protocol != QVX_SCH_PROTOCOL_ONVIF) {
        return QVX_ERR_FAILED;  // a search protocol this library does not speak
    }
    auto session = std::make_shared<DiscoverySession>(*core, timeoutMs, uint32_t(protocol));
    int result = session->Open();
    if (result != QVX_OK) return result;
    int32_t handle = core->NewHandle();
    core->Insert(core->discoveries, handle, session);
    *outHandle = handle;
    return QVX_OK;
}

int32_t QVX_SDK_SchCallBack(QVX_HANDLE schHandle, QVX_SchCallBack callback, void* user) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto session = FindDiscovery(*core, schHandle);
    if (!session) return QVX_ERR_HANDLE;
    session->SetCallback(callback, user);
    return QVX_OK;
}

int32_t QVX_SDK_SchAddTarget(QVX_HANDLE schHandle, const char* address, uint16_t port) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!address || strnlen(address, 64) >= 64) return QVX_ERR_FAILED;
    auto session = FindDiscovery(*core, schHandle);
    if (!session) return QVX_ERR_HANDLE;
    return session->AddTarget(address, port);
}

int32_t QVX_SDK_SchLanSearch(QVX_HANDLE schHandle, int32_t enable) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto session = FindDiscovery(*core, schHandle);
    if (!session) return QVX_ERR_HANDLE;
    session->SetLanSearch(enable != 0);
    return QVX_OK;
}

int32_t QVX_SDK_SchSearch(QVX_HANDLE schHandle, void* buffer, uint32_t size, int32_t* outCount) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!buffer || !outCount) return QVX_ERR_FAILED;
    *outCount = 0;
    auto session = FindDiscovery(*core, schHandle);
    if (!session) return QVX_ERR_HANDLE;
    return session->Search(static_cast<uint8_t*>(buffer), size, outCount);
}

int32_t QVX_SDK_SchCmd(QVX_HANDLE schHandle, const void* record, const char* user, const char* password) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!record || !user || !password || strnlen(password, 256) >= 256) return QVX_ERR_FAILED;
    auto session = FindDiscovery(*core, schHandle);
    if (!session) return QVX_ERR_HANDLE;
    return session->Command(static_cast<const uint8_t*>(record), std::string(user, strnlen(user, 64)), password);
}

int32_t QVX_SDK_SchDestroy(QVX_HANDLE schHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto session = core->Take(core->discoveries, schHandle);
    if (!session) return QVX_ERR_HANDLE;
    session->Close();
    return QVX_OK;
}

}  // extern "C"
