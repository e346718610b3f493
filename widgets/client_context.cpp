#include "widgets/client_context.h"

#include <atomic>

#include "device/device_service.h"

namespace ocv {

namespace {
std::atomic<DeviceService*> g_service{nullptr};
}

DeviceService* Service() { return g_service.load(); }
void SetService(DeviceService* service) { g_service.store(service); }

void LogInAs(const UserInfo& account) {
    CurrentSession().LogIn(account, clockSnapshot());
    if (DeviceService* s = Service()) s->SetCurrentUser(account.userName);
}

void LogOut() {
    CurrentSession().Clear();
    if (DeviceService* s = Service()) s->SetCurrentUser("");
}

}  // namespace ocv
