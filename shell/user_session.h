#pragma once
// The operator working in the client now, and the login rules that decide who that is.
// Qt-free so the rules are tested without windows; the dialogs only show what these decide.
#include <cstdint>
#include <string>

#include "shell/base/clock.h"
#include "store/records.h"

namespace ocv {

class ConfigStore;

constexpr int kRightCount = 14;
constexpr int kRightExit = 0;
constexpr int kRightCheckTime = 6;
constexpr int kRightSystemSettings = 13;

struct LoginTime {
    int16_t year, month, day, hour, minute, second;
};

// One copy of the logged-in account. Nobody logged in: zero-filled with level -1 (any id <= 0).
class UserSession {
public:
    UserSession() { Clear(); }
    void Clear();
    void LogIn(const UserInfo& user, const ClockSnapshot& now);
    bool LoggedIn() const { return user_.id > 0; }
    bool HasRight(int bit) const;
    // After the operator changed their own password on the user page.
    void SetPassword(const char* password);
    const UserInfo& user() const { return user_; }
    const LoginTime& loginTime() const { return time_; }
    // "%d-%02d-%02d %02d:%02d:%02d" of the login time.
    std::string LoginTimeText() const;

private:
    UserInfo user_{};
    LoginTime time_{};
};

// The session of the running client (user-interface thread only).
UserSession& CurrentSession();

// "Administrator", "View User", "Guest user" (English; the windows translate).
const char* LevelText(int level);
// Options a new account gets when its level is chosen: all 14, 2238, none.
int32_t LevelPreset(int level);
int32_t OptionFromBoxes(const bool checked[kRightCount]);

// Start-up auto-login: the slot whose id is the remembered USER (ids > 0 only) when REMEMBER
// is 1 and its password equals PASS exactly; -1 otherwise.
int FindRememberedUser(const ConfigStore& store);

// Password checking of one login dialog: three wrong passwords end it.
class LoginAttempts {
public:
    enum Result { kAccepted, kWrongPassword, kTooManyFailures };
    static constexpr int kMaxFailures = 3;
    Result Check(const UserInfo& account, const std::string& typed);
    int failures() const { return failures_; }

private:
    int failures_ = 0;
};

// What a successful login does to the login memory.
enum class LoginMemoryAction { kNone, kRemember, kForget };
LoginMemoryAction DecideLoginMemory(const SystemSettings& settings, const UserInfo& account,
                                    bool autoLoginChecked);

// Account form checks: nullptr when acceptable, else the English message.
const char* ValidateAccountForm(const std::string& name, const std::string& password,
                                const std::string& confirmation);

// Whether the current operator may delete the account in slot: nullptr, or the English refusal.
const char* DeleteAccountRefusal(const UserSession& session, const UserInfo& account);

}  // namespace ocv
