#include "PublisherKeys.h"

#include <algorithm>

// Not static: the linker keeps it, and the release tool finds its marker in the file.
extern const volatile KeyArea g_publisherKeyArea;
const volatile KeyArea g_publisherKeyArea = {TEVRANE_KEY_AREA_MARKER, {}};

std::vector<PublicKey> LoadPublisherKeys() {
    // Every byte is read through the volatile object: the compiler must not
    // assume the slots keep the zeros they were built with.
    std::vector<PublicKey> keys;
    for (std::size_t slot = 0; slot < kKeySlots; ++slot) {
        PublicKey key{};
        for (std::size_t i = 0; i < kPublicKeySize; ++i)
            key[i] = g_publisherKeyArea.keys[slot][i];
        if (std::any_of(key.begin(), key.end(), [](unsigned char b) { return b != 0; }))
            keys.push_back(key);
    }
    return keys;
}
