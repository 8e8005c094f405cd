// Public key files and the updater's key area, without cryptography: a PEM
// "PUBLIC KEY" of a P-256 key has one fixed form, so its point is read directly.
#pragma once

#include "engine/PublisherKeys.h"

#include <string>
#include <vector>

// The point in a PEM "PUBLIC KEY" (SubjectPublicKeyInfo of an uncompressed
// P-256 point); false with a reason for anything else.
bool ReadPublicKeyPem(const std::string& text, PublicKey& key, std::string& error);

// Writes `keys` (one or two; the second slot is emptied when one is given) into
// the key area of the program image `image`; false when its marker is not
// there exactly once.
bool SetKeysInImage(std::string& image, const std::vector<PublicKey>& keys, std::string& error);

// The slots of the key area of `image`, empty ones as all zeros.
bool ReadKeysInImage(const std::string& image, std::vector<PublicKey>& slots, std::string& error);
