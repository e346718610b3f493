#include "widgets/client_context.h"

namespace ocv {
namespace {
SessionServices& Services() {
    static SessionServices services;
    return services;
}
}  // namespace

void SetSessionServices(SessionServices services) { Services() = std::move(services); }
const SessionServices& CurrentSessionServices() { return Services(); }

void LogInAs(const UserInfo& account) {
    CurrentSession().LogIn(account, clockSnapshot());
    if (Services().operatorChanged) Services().operatorChanged(account.userName);
}

void LogOut() {
    CurrentSession().Clear();
    if (Services().operatorChanged) Services().operatorChanged("");
}

}  // namespace ocv
