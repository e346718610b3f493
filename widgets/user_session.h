#pragma once
// The operator working in the client now, and the login rules that decide who that is.
// Qt-free so the rules are tested without windows; the dialogs only show what these decide.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "store/records.h"

namespace ocv {

class ConfigStore;

// Names and passwords are kept in 32-byte fields: 31 bytes of UTF-8, cut only between
// characters. Forms and the login take no more, so what is typed is what is stored.
constexpr size_t kMaxAccountTextBytes = sizeof(UserInfo::password) - 1;

constexpr int kRightCount = 14;
// The permission bits of an account's option word, each guarding its operations.
enum Right : int {
    kRightExit = 0,            // leaving the client
    kRightLiveView = 1,        // opening, closing, connecting live channels; stream switch
    kRightPtz = 2,
    kRightCapture = 3,
    kRightManualRecord = 4,
    kRightTalk = 5,
    kRightCheckTime = 6,       // device time synchronisation
    kRightPlayback = 7,
    kRightCameraSettings = 8,
    kRightDeviceConfig = 9,
    kRightTvWall = 10,
    kRightMap = 11,
    kRightLoadDevice = 12,     // the channel groups page
    kRightSystemSettings = 13, // system settings and the setup pages
};

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

// The password an account is checked against: the stored text without a character left
// incomplete at its end (an older version cut passwords by bytes, which would otherwise lock
// such an account out for good).
std::string_view CheckedPassword(const UserInfo& account);

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

// Account form checks: nullptr when acceptable, else the English message. A name or password
// over kMaxAccountTextBytes bytes is refused, never cut.
const char* ValidateAccountForm(const std::string& name, const std::string& password,
                                const std::string& confirmation);

// Whether the current operator may delete the account in slot: nullptr, or the English refusal.
const char* DeleteAccountRefusal(const UserSession& session, const UserInfo& account);

// Whether the current operator may change the account: an Administrator any account, anybody
// else their own (its password only). nullptr, or the English refusal.
const char* ModifyAccountRefusal(const UserSession& session, const UserInfo& account);

// What a modification by the current operator writes: an Administrator's form as filled in;
// anybody else's only the new password, with the stored level and rights kept.
UserInfo AccountChange(const UserSession& session, const UserInfo& stored, const UserInfo& form);

}  // namespace ocv
