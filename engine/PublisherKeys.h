// The public keys this updater trusts, read from its reserved key area.
#pragma once

#include "KeyArea.h"

#include <array>
#include <vector>

using PublicKey = std::array<unsigned char, kPublicKeySize>;

// The filled slots of the key area; empty when no key is set, and then nothing
// about the update changes.
std::vector<PublicKey> LoadPublisherKeys();
