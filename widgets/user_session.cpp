#include "widgets/user_session.h"

#include <cstdio>
#include <cstring>

#include "store/config_store.h"
#include "store/text_field.h"

namespace ocv {

void UserSession::Clear() {
    user_ = UserInfo{};
    user_.level = -1;
    time_ = LoginTime{};
}

void UserSession::LogIn(const UserInfo& user, const ClockSnapshot& now) {
    user_ = user;
    time_ = LoginTime{static_cast<int16_t>(now.year), static_cast<int16_t>(now.month),
                      static_cast<int16_t>(now.day),  static_cast<int16_t>(now.hour),
                      static_cast<int16_t>(now.minute), static_cast<int16_t>(now.second)};
}

bool UserSession::HasRight(int bit) const {
    if (bit < 0 || bit >= 32) return false;
    return (static_cast<uint32_t>(user_.option) >> bit) & 1u;
}

void UserSession::SetPassword(const char* password) {
    CopyText(user_.password, std::string_view(password ? password : ""));
}

std::string UserSession::LoginTimeText() const {
    char text[64];
    std::snprintf(text, sizeof(text), "%d-%02d-%02d %02d:%02d:%02d", time_.year, time_.month, time_.day,
                  time_.hour, time_.minute, time_.second);
    return text;
}

UserSession& CurrentSession() {
    static UserSession session;
    return session;
}

const char* LevelText(int level) {
    if (level == kLevelAdministrator) return "Administrator";
    if (level == kLevelViewUser) return "View User";
    return "Guest user";
}

int32_t LevelPreset(int level) {
    if (level == kLevelAdministrator) return kAllRights;
    if (level == kLevelViewUser) return kViewUserRights;
    return 0;
}

int32_t OptionFromBoxes(const bool checked[kRightCount]) {
    int32_t option = 0;
    for (int n = 0; n < kRightCount; ++n)
        if (checked[n]) option |= 1 << n;
    return option;
}

int FindRememberedUser(const ConfigStore& store) {
    const SystemSettings& s = store.settings();
    if (s.REMEMBER != 1 || s.USER <= 0) return -1;
    for (int slot = 0; slot < kMaxUsers; ++slot) {
        const UserInfo& u = store.user(slot);
        if (u.id <= 0 || u.userName[0] == '\0' || u.id != s.USER) continue;
        return std::strncmp(u.password, s.PASS, sizeof(u.password)) == 0 ? slot : -1;
    }
    return -1;
}

std::string_view CheckedPassword(const UserInfo& account) {
    std::string_view stored = FieldText(account.password);
    return stored.substr(0, CompleteLength(stored));
}

LoginAttempts::Result LoginAttempts::Check(const UserInfo& account, const std::string& typed) {
    // Exact, case-sensitive comparison over the whole stored text.
    if (typed == CheckedPassword(account)) return kAccepted;
    ++failures_;
    return failures_ >= kMaxFailures ? kTooManyFailures : kWrongPassword;
}

LoginMemoryAction DecideLoginMemory(const SystemSettings& settings, const UserInfo& account,
                                    bool autoLoginChecked) {
    if (autoLoginChecked) {
        bool same = settings.REMEMBER == 1 && settings.USER == account.id &&
                    std::strncmp(settings.PASS, account.password, sizeof(settings.PASS)) == 0;
        return same ? LoginMemoryAction::kNone : LoginMemoryAction::kRemember;
    }
    return settings.REMEMBER == 1 ? LoginMemoryAction::kForget : LoginMemoryAction::kNone;
}

const char* ValidateAccountForm(const std::string& name, const std::string& password,
                                const std::string& confirmation) {
    if (name.empty()) return "Username can not be empty!";
    if (name.size() > kMaxAccountTextBytes) return "The username is too long!";
    if (password != confirmation) return "Password verification failed!";
    if (password.size() > kMaxAccountTextBytes) return "The password is too long!";
    return nullptr;
}

const char* DeleteAccountRefusal(const UserSession& session, const UserInfo& account) {
    if (session.user().level != kLevelAdministrator) return "Insufficient permissions!";
    if (account.id > 0 && account.id == session.user().id) return "You can not delete your own account!";
    return nullptr;
}

const char* ModifyAccountRefusal(const UserSession& session, const UserInfo& account) {
    if (!session.LoggedIn()) return "Insufficient permissions!";
    if (session.user().level == kLevelAdministrator) return nullptr;
    if (account.id > 0 && account.id == session.user().id) return nullptr;
    return "Insufficient permissions!";
}

UserInfo AccountChange(const UserSession& session, const UserInfo& stored, const UserInfo& form) {
    UserInfo change = stored;  // the name never changes
    CopyText(change.password, FieldText(form.password));
    if (session.user().level == kLevelAdministrator) {
        change.level = form.level;
        change.option = form.option;
    }
    return change;
}

}  // namespace ocv
