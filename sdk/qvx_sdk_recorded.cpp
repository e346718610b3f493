// The C entry points for recordings kept on a device: search and day marks on the login's
// control connection, playback and download on connections of their own.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "sdk/login_session.h"
#include "sdk/qvx_sdk.h"
#include "sdk/recorded_sinks.h"
#include "sdk/recorded_stream.h"
#include "sdk/remote_search.h"
#include "sdk/sdk_core.h"
#include "sdk/wire_format.h"
#include "sdk/wire_recorded.h"

namespace ocv::sdk {
namespace {

wire::SearchCondition ToCondition(const QVX_FIND_COND& c) {
    wire::SearchCondition s;
    s.channel = c.channel;
    s.recordType = c.recordType;
    s.start = wire::DateTime{c.startYear, c.startMonth, c.startDay, c.startHour, c.startMinute, c.startSecond};
    s.end = wire::DateTime{c.endYear, c.endMonth, c.endDay, c.endHour, c.endMinute, c.endSecond};
    return s;
}

// Recordings kept on the device are a feature of our own protocol: the session of a login
// that speaks it, else nullptr with *result saying why.
std::shared_ptr<LoginSession> OwnLogin(Core& core, int32_t loginHandle, int* result) {
    auto login = core.FindLogin(loginHandle);
    if (!login) {
        *result = QVX_ERR_HANDLE;
        return nullptr;
    }
    auto own = login->ownProtocol();
    if (!own) *result = QVX_ERR_DEVICE;
    return own;
}

// Removes a playback or download of the given kind from the table; nullptr when there is none
// (a handle of the other kind stays).
std::shared_ptr<RecordedStream> TakeRecorded(Core& core, int32_t handle, RecordedStream::Kind kind) {
    std::lock_guard<std::mutex> lock(core.tableMutex);
    auto it = core.recorded.find(handle);
    if (it == core.recorded.end() || it->second->kind() != kind) return nullptr;
    auto stream = it->second;
    core.recorded.erase(it);
    return stream;
}

int OpenRecorded(Core& core, const std::shared_ptr<RecordedStream>& stream, QVX_HANDLE* outHandle) {
    int result = stream->Open();
    if (result != QVX_OK) return result;
    core.Insert(core.recorded, stream->handle(), stream);
    *outHandle = stream->handle();
    return QVX_OK;
}

// The folder of a download's file must exist and be writable (the file is written beside its
// name as .part and renamed at the end).
bool WritableFolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    struct stat st {};
    if (path.empty() || path.back() == '/' || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    // An existing file is replaced; anything else of that name (a folder) is not.
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
    return access(folder.c_str(), W_OK) == 0;
}

}  // namespace
}  // namespace ocv::sdk

using namespace ocv::sdk;
namespace wire = ocv::wire;

extern "C" {

int32_t QVX_SDK_FindFile(QVX_HANDLE loginHandle, const QVX_FIND_COND* condition, QVX_HANDLE* outFind) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!condition || !outFind) return QVX_ERR_FAILED;
    *outFind = 0;
    wire::SearchCondition c = ToCondition(*condition);
    if (wire::CheckCondition(c)) return QVX_ERR_FAILED;
    int result = QVX_OK;
    auto login = OwnLogin(*core, loginHandle, &result);
    if (!login) return result;
    auto find = std::make_shared<FindSession>(login, core->settings.requestTimeoutMs.load());
    result = find->Start(c);
    if (result != QVX_OK) return result;
    int32_t handle = core->NewHandle();
    core->Insert(core->finds, handle, find);
    *outFind = handle;
    return QVX_OK;
}

int32_t QVX_SDK_FindNextFile(QVX_HANDLE findHandle, void* description) {
    auto core = Core::Get();
    if (!core || !description) return QVX_FIND_INVALID;
    auto find = core->Lookup(core->finds, findHandle);
    if (!find) return QVX_FIND_INVALID;
    return find->Next(static_cast<uint8_t*>(description));
}

int32_t QVX_SDK_FindNFileMarks(QVX_HANDLE findHandle, char* marks) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!marks) return QVX_ERR_FAILED;
    auto find = core->Lookup(core->finds, findHandle);
    if (!find) return QVX_ERR_HANDLE;
    return find->Marks(marks);
}

int32_t QVX_SDK_FindClose(QVX_HANDLE findHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto find = core->Take(core->finds, findHandle);
    if (!find) return QVX_ERR_HANDLE;
    find->Close();
    return QVX_OK;
}

int32_t QVX_SDK_PlayBackByName(QVX_HANDLE loginHandle, int32_t channel, const char* fileName, QVX_HANDLE* outPlay) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!outPlay || !fileName || channel < 0 || channel > 63) return QVX_ERR_FAILED;
    *outPlay = 0;
    size_t nameLength = strnlen(fileName, wire::kFileNameBytes);
    if (nameLength == 0 || nameLength >= wire::kFileNameBytes) return QVX_ERR_FAILED;
    int result = QVX_OK;
    auto login = OwnLogin(*core, loginHandle, &result);
    if (!login) return result;
    int32_t port = 0;
    auto sink = MakePlayerSink(&port);
    if (!sink) return QVX_ERR_NO_ROOM;
    auto payload = wire::PayloadWriter()
                       .U32(uint32_t(channel))
                       .U32(0)
                       .FixedText(std::string(fileName, nameLength), wire::kFileNameBytes)
                       .bytes();
    auto stream = std::make_shared<RecordedStream>(*core, core->NewHandle(), loginHandle, login->credentials(),
                                                   RecordedStream::Kind::kPlayback, payload, std::move(sink), port);
    return OpenRecorded(*core, stream, outPlay);
}

int32_t QVX_SDK_GetPBPlayIndex(QVX_HANDLE playHandle, int32_t* outPort) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!outPort) return QVX_ERR_FAILED;
    auto stream = core->Lookup(core->recorded, playHandle);
    if (!stream || stream->kind() != RecordedStream::Kind::kPlayback) return QVX_ERR_HANDLE;
    *outPort = stream->playerPort();
    return QVX_OK;
}

int32_t QVX_SDK_PlayBackControl(QVX_HANDLE handle, uint32_t command, int32_t value, int32_t* outValue) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto stream = core->Lookup(core->recorded, handle);
    if (!stream) return QVX_ERR_HANDLE;
    return stream->Control(command, value, outValue);
}

int32_t QVX_SDK_StopPlayBack(QVX_HANDLE playHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto stream = TakeRecorded(*core, playHandle, RecordedStream::Kind::kPlayback);
    if (!stream) return QVX_ERR_HANDLE;
    stream->Stop();
    return QVX_OK;
}

int32_t QVX_SDK_GetFileByTime(QVX_HANDLE loginHandle, const QVX_FIND_COND* condition, const char* localPath,
                              QVX_HANDLE* outDownload) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!condition || !localPath || !outDownload) return QVX_ERR_FAILED;
    *outDownload = 0;
    wire::SearchCondition c = ToCondition(*condition);
    std::string path(localPath, strnlen(localPath, 4096));
    if (wire::CheckCondition(c) || path.size() >= 4096 || !WritableFolderOf(path)) return QVX_ERR_FAILED;
    int result = QVX_OK;
    auto login = OwnLogin(*core, loginHandle, &result);
    if (!login) return result;
    uint8_t payload[wire::kConditionBytes];
    wire::EncodeCondition(c, payload);
    auto stream = std::make_shared<RecordedStream>(*core, core->NewHandle(), loginHandle, login->credentials(),
                                                   RecordedStream::Kind::kDownload,
                                                   std::vector<uint8_t>(payload, payload + sizeof payload),
                                                   std::make_unique<FileSink>(path), 0);
    return OpenRecorded(*core, stream, outDownload);
}

int32_t QVX_SDK_StopGetFile(QVX_HANDLE downloadHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto stream = TakeRecorded(*core, downloadHandle, RecordedStream::Kind::kDownload);
    if (!stream) return QVX_ERR_HANDLE;
    stream->Stop();
    return QVX_OK;
}

}  // extern "C"
