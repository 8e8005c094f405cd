// Public key files and the updater's key area, without cryptography: a PEM
// "PUBLIC KEY" of a P-256 key has one fixed form, so its point is read directly.
#pragma once

#include "engine/PublisherKeys.h"

#include <array>

#include <string>
#include <vector>

// The point in a PEM "PUBLIC KEY" (SubjectPublicKeyInfo of an uncompressed
// P-256 point); false with a reason for anything else.
bool ReadPublicKeyPem(const std::string& text, PublicKey& key, std::string& error);

using PrivateScalar = std::array<unsigned char, 32>;

// A PEM "PUBLIC KEY" of `key`, lines of 64 characters, each ending in LF.
std::string PublicKeyPem(const PublicKey& key);

// A PEM "PRIVATE KEY": PKCS#8 of a P-256 key with its private scalar and public
// point, the form `openssl genpkey` and the native keygen write.
std::string PrivateKeyPem(const PrivateScalar& scalar, const PublicKey& point);

// The scalar and point of such a PEM "PRIVATE KEY"; false with a reason for
// any other form (another curve, no public point, an encrypted key).
bool ReadPrivateKeyPem(const std::string& text, PrivateScalar& scalar, PublicKey& point,
                       std::string& error);

// Writes `keys` (one or two; the second slot is emptied when one is given) into
// the key area of the program image `image`; false when its marker is not
// there exactly once.
bool SetKeysInImage(std::string& image, const std::vector<PublicKey>& keys, std::string& error);

// The slots of the key area of `image`, empty ones as all zeros.
bool ReadKeysInImage(const std::string& image, std::vector<PublicKey>& slots, std::string& error);
