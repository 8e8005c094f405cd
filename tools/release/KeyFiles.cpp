#include "KeyFiles.h"

#include <algorithm>
#include <cstring>

namespace {

// SubjectPublicKeyInfo up to the point: the algorithm id-ecPublicKey with the
// curve prime256v1, then a bit string of 66 bytes holding 04 || X || Y.
const unsigned char kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                     0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                     0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

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
    const std::string begin = "-----BEGIN PUBLIC KEY-----";
    const std::string end = "-----END PUBLIC KEY-----";
    const std::size_t from = text.find(begin);
    const std::size_t to = text.find(end);
    std::string der;
    if (from == std::string::npos || to == std::string::npos || to < from ||
        !DecodeBase64(text.substr(from + begin.size(), to - from - begin.size()), der))
        return error = "not a PEM \"PUBLIC KEY\"", false;
    if (der.size() != sizeof kSpkiPrefix + kPublicKeySize ||
        std::memcmp(der.data(), kSpkiPrefix, sizeof kSpkiPrefix) != 0)
        return error = "not an ECDSA P-256 public key", false;
    std::copy(der.begin() + sizeof kSpkiPrefix, der.end(), key.begin());
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
