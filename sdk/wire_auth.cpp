#include "sdk/wire_auth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <vector>

namespace ocv::wire {

void ComputeAuthMac(const std::string& password, const uint8_t nonce[kNonceBytes], uint8_t mac[kMacBytes]) {
    unsigned int macBytes = kMacBytes;
    HMAC(EVP_sha256(), password.data(), int(password.size()), nonce, kNonceBytes, mac, &macBytes);
}

int RandomNonce(uint8_t nonce[kNonceBytes]) { return RAND_bytes(nonce, int(kNonceBytes)) == 1 ? 0 : -1; }

bool MacEqual(const uint8_t a[kMacBytes], const uint8_t b[kMacBytes]) {
    return CRYPTO_memcmp(a, b, kMacBytes) == 0;
}

std::string Base64Encode(const std::string& text) {
    std::vector<unsigned char> out(4 * ((text.size() + 2) / 3) + 1);
    int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    return std::string(reinterpret_cast<char*>(out.data()), size_t(n));
}

std::string Base64Decode(const std::string& text, bool* ok) {
    *ok = false;
    if (text.empty() || text.size() % 4 != 0 || text.size() > 4096) return {};
    std::vector<unsigned char> out(text.size() / 4 * 3 + 1);
    int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    if (n < 0) return {};
    // EVP_DecodeBlock counts the padding as zero bytes; drop them.
    size_t pad = 0;
    if (text.back() == '=') ++pad;
    if (text.size() >= 2 && text[text.size() - 2] == '=') ++pad;
    *ok = true;
    return std::string(reinterpret_cast<char*>(out.data()), size_t(n) - pad);
}

}  // namespace ocv::wire
