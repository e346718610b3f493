#pragma once
// Login proof of the device protocol: the device sends a random nonce, the client answers with
// HMAC-SHA256 keyed with the password over that nonce, so the password never travels.
#include <cstdint>
#include <string>

#include "sdk/wire_format.h"

namespace ocv::wire {

void ComputeAuthMac(const std::string& password, const uint8_t nonce[kNonceBytes], uint8_t mac[kMacBytes]);
// Cryptographically random nonce. 0 or -1.
int RandomNonce(uint8_t nonce[kNonceBytes]);
// Comparison in constant time, so a device does not leak how much of a proof matched.
bool MacEqual(const uint8_t a[kMacBytes], const uint8_t b[kMacBytes]);

std::string Base64Encode(const std::string& text);
// "" with ok=false when the text is not valid base 64.
std::string Base64Decode(const std::string& text, bool* ok);

}  // namespace ocv::wire
