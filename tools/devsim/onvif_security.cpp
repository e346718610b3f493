#include "tools/devsim/onvif_security.h"

#include <openssl/crypto.h>

#include <cstdio>

namespace ocv::devsim {

namespace {

bool Digits(const std::string& s, size_t at, size_t n, int* out) {
    if (at + n > s.size()) return false;
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    *out = v;
    return true;
}

bool SameInConstantTime(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

bool ParseTokenTime(const std::string& text, time_t* out) {
    if (text.size() < 20 || text.size() > 40) return false;
    struct tm t {};
    int year, month, day, hour, minute, second;
    if (!Digits(text, 0, 4, &year) || text[4] != '-' || !Digits(text, 5, 2, &month) || text[7] != '-' ||
        !Digits(text, 8, 2, &day) || text[10] != 'T' || !Digits(text, 11, 2, &hour) || text[13] != ':' ||
        !Digits(text, 14, 2, &minute) || text[16] != ':' || !Digits(text, 17, 2, &second))
        return false;
    size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        ++at;
        size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 9) ++at, ++digits;
        if (digits == 0) return false;
    }
    std::string zone = text.substr(at);
    if (zone != "Z" && zone != "+00:00") return false;
    if (year < 1970 || year > 2999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60)
        return false;
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    *out = timegm(&t);
    return true;
}

bool NonceMemory::Remember(const std::string& nonce, time_t deviceUtc) {
    std::lock_guard<std::mutex> lock(mutex_);
    // What is older than the window cannot come back: its creation time would be refused.
    while (!order_.empty() &&
           (order_.front().first < deviceUtc - 2 * kTokenWindowSec || order_.size() >= kMaxRemembered)) {
        seen_.erase(order_.front().second);
        order_.pop_front();
    }
    if (!seen_.insert(nonce).second) return false;
    order_.emplace_back(deviceUtc, nonce);
    return true;
}

TokenVerdict CheckUsernameToken(const onvif::Request& request, const std::string& user, const std::string& password,
                                time_t deviceUtc, NonceMemory* nonces) {
    if (!request.hasToken) return TokenVerdict::kMissing;
    if (!SameInConstantTime(request.user, user)) return TokenVerdict::kWrongUser;
    if (request.plainPassword) {
        return SameInConstantTime(request.digest, password) ? TokenVerdict::kGood : TokenVerdict::kWrongPassword;
    }
    if (request.nonce.empty() || request.created.empty()) return TokenVerdict::kWrongPassword;
    if (!SameInConstantTime(request.digest, onvif::PasswordDigest(request.nonce, request.created, password)))
        return TokenVerdict::kWrongPassword;
    time_t created = 0;
    if (!ParseTokenTime(request.created, &created)) return TokenVerdict::kOutOfWindow;
    long skew = long(created) - long(deviceUtc);
    if (skew > kTokenWindowSec || skew < -kTokenWindowSec) return TokenVerdict::kOutOfWindow;
    if (nonces && !nonces->Remember(request.nonce, deviceUtc)) return TokenVerdict::kReplayed;
    return TokenVerdict::kGood;
}

}  // namespace ocv::devsim
