#include "KeyFiles.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// SubjectPublicKeyInfo up to the point: the algorithm id-ecPublicKey with the
// curve prime256v1, then a bit string of 66 bytes holding 04 || X || Y.
const unsigned char kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                     0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                     0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

// PKCS#8 of a P-256 key up to the private scalar: version 0, the algorithm
// id-ecPublicKey with prime256v1, then an octet string holding ECPrivateKey
// (version 1, the 32-byte scalar) ...
const unsigned char kPkcs8Prefix[] = {0x30, 0x81, 0x87, 0x02, 0x01, 0x00, 0x30, 0x13, 0x06,
                                      0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01, 0x06,
                                      0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07,
                                      0x04, 0x6d, 0x30, 0x6b, 0x02, 0x01, 0x01, 0x04, 0x20};
// ... followed by the public key, [1] holding a bit string of 04 || X || Y.
const unsigned char kPkcs8Middle[] = {0xa1, 0x44, 0x03, 0x42, 0x00, 0x04};
constexpr std::size_t kPkcs8Size = sizeof kPkcs8Prefix + 32 + sizeof kPkcs8Middle + 64;

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

bool DecodeBase64(const std::string& text, std::string& bytes) {
    unsigned bits = 0;
    int count = 0;
    bool padded = false;
    for (char c : text) {
        if (c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            padded = true;
            continue;
        }
        const int value = Base64Value(c);
        if (value < 0 || padded)
            return false;
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xff);
        }
    }
    return true;
}

std::string EncodeBase64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        for (std::size_t k = 0; k < 4; ++k)
            text += i + k <= bytes.size() ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return text;
}

std::string Pem(const std::string& label, const std::string& der) {
    const std::string body = EncodeBase64(der);
    std::string text = "-----BEGIN " + label + "-----\n";
    for (std::size_t at = 0; at < body.size(); at += 64)
        text += body.substr(at, 64) + "\n";
    return text + "-----END " + label + "-----\n";
}

// The DER between the PEM lines of `label`; false when they are not there.
bool PemBody(const std::string& text, const std::string& label, std::string& der) {
    const std::string begin = "-----BEGIN " + label + "-----";
    const std::string end = "-----END " + label + "-----";
    const std::size_t from = text.find(begin);
    const std::size_t to = text.find(end);
    return from != std::string::npos && to != std::string::npos && to > from &&
           DecodeBase64(text.substr(from + begin.size(), to - from - begin.size()), der);
}

std::size_t FindMarker(const std::string& image, std::size_t& count) {
    const std::string marker(TEVRANE_KEY_AREA_MARKER, kKeyAreaMarkerSize);
    std::size_t found = std::string::npos;
    count = 0;
    for (std::size_t at = image.find(marker); at != std::string::npos;
         at = image.find(marker, at + 1)) {
        found = at;
        ++count;
    }
    return found;
}

bool LocateArea(const std::string& image, std::size_t& slots, std::string& error) {
    std::size_t count = 0;
    const std::size_t at = FindMarker(image, count);
    if (count != 1)
        return error = count == 0 ? "no key area in this file (not an Updater.exe?)"
                                  : "the key area's marker is in this file more than once",
               false;
    slots = at + kKeyAreaMarkerSize;
    if (image.size() < slots + kKeySlots * kPublicKeySize)
        return error = "the key area is cut short", false;
    return true;
}

} // namespace

bool ReadPublicKeyPem(const std::string& text, PublicKey& key, std::string& error) {
    std::string der;
    if (!PemBody(text, "PUBLIC KEY", der))
        return error = "not a PEM \"PUBLIC KEY\"", false;
    if (der.size() != sizeof kSpkiPrefix + kPublicKeySize ||
        std::memcmp(der.data(), kSpkiPrefix, sizeof kSpkiPrefix) != 0)
        return error = "not an ECDSA P-256 public key", false;
    std::copy(der.begin() + sizeof kSpkiPrefix, der.end(), key.begin());
    return true;
}

std::string PublicKeyPem(const PublicKey& key) {
    return Pem("PUBLIC KEY", std::string(std::begin(kSpkiPrefix), std::end(kSpkiPrefix)) +
                                 std::string(key.begin(), key.end()));
}

std::string PrivateKeyPem(const PrivateScalar& scalar, const PublicKey& point) {
    std::string der(std::begin(kPkcs8Prefix), std::end(kPkcs8Prefix));
    der.append(scalar.begin(), scalar.end());
    der.append(std::begin(kPkcs8Middle), std::end(kPkcs8Middle));
    der.append(point.begin(), point.end());
    return Pem("PRIVATE KEY", der);
}

bool ReadPrivateKeyPem(const std::string& text, PrivateScalar& scalar, PublicKey& point,
                       std::string& error) {
    std::string der;
    if (!PemBody(text, "PRIVATE KEY", der))
        return error = "not a PEM \"PRIVATE KEY\"", false;
    const std::size_t middle = sizeof kPkcs8Prefix + scalar.size();
    if (der.size() != kPkcs8Size ||
        std::memcmp(der.data(), kPkcs8Prefix, sizeof kPkcs8Prefix) != 0 ||
        std::memcmp(der.data() + middle, kPkcs8Middle, sizeof kPkcs8Middle) != 0)
        return error = "not an ECDSA P-256 private key with its public point", false;
    std::copy_n(der.begin() + sizeof kPkcs8Prefix, scalar.size(), scalar.begin());
    std::copy_n(der.begin() + static_cast<std::ptrdiff_t>(middle + sizeof kPkcs8Middle),
                point.size(), point.begin());
    return true;
}

bool SetKeysInImage(std::string& image, const std::vector<PublicKey>& keys, std::string& error) {
    std::size_t slots = 0;
    if (keys.empty() || keys.size() > kKeySlots || !LocateArea(image, slots, error))
        return error.empty() ? (error = "one or two keys", false) : false;
    for (std::size_t slot = 0; slot < kKeySlots; ++slot)
        for (std::size_t i = 0; i < kPublicKeySize; ++i)
            image[slots + slot * kPublicKeySize + i] =
                slot < keys.size() ? static_cast<char>(keys[slot][i]) : '\0';
    return true;
}

bool ReadKeysInImage(const std::string& image, std::vector<PublicKey>& slots, std::string& error) {
    std::size_t at = 0;
    if (!LocateArea(image, at, error))
        return false;
    slots.assign(kKeySlots, PublicKey{});
    for (std::size_t slot = 0; slot < kKeySlots; ++slot)
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(at + slot * kPublicKeySize),
                    kPublicKeySize, slots[slot].begin());
    return true;
}
