#pragma once
// The simulator's check of an ONVIF request's WS-UsernameToken: the user, the password digest
// (Base64(SHA-1(nonce ‖ created ‖ password))) or a plain password, the creation time against the
// device's own clock, and nonces not used twice within that window (a replayed message is
// refused, as cameras with replay protection do).
#include <cstdint>
#include <ctime>
#include <deque>
#include <mutex>
#include <set>
#include <string>

#include "sdk/onvif_soap.h"

namespace ocv::devsim {

// How far a token's creation time may lie from the device's clock, either way.
constexpr int kTokenWindowSec = 300;

enum class TokenVerdict { kGood, kMissing, kWrongUser, kWrongPassword, kOutOfWindow, kReplayed };

// "YYYY-MM-DDThh:mm:ss[.fraction]Z" (or "+00:00") to seconds since 1970 (UTC). false otherwise.
bool ParseTokenTime(const std::string& text, time_t* out);

// Nonces seen within the window, bounded; thread-safe.
class NonceMemory {
public:
    // false when the nonce was already used (within what is remembered); remembers it otherwise.
    bool Remember(const std::string& nonce, time_t deviceUtc);

private:
    static constexpr size_t kMaxRemembered = 4096;
    std::mutex mutex_;
    std::deque<std::pair<time_t, std::string>> order_;
    std::set<std::string> seen_;
};

TokenVerdict CheckUsernameToken(const onvif::Request& request, const std::string& user, const std::string& password,
                                time_t deviceUtc, NonceMemory* nonces);

}  // namespace ocv::devsim
