// The release tool's cryptography: OpenSSL's libcrypto natively, CNG on Windows.
// Keys are PEM files: "PRIVATE KEY" (PKCS#8) and "PUBLIC KEY"
// (SubjectPublicKeyInfo), ECDSA on the P-256 curve.
#pragma once

#include "engine/PublisherKeys.h"
#include "engine/SignedList.h"

#include <string>

// Writes a new key pair; refuses to replace an existing file.
bool GenerateKeyFiles(const std::string& privatePath, const std::string& publicPath,
                      std::string& error);

// Signs SHA-256(`bytes`) with the private key in `privatePath`; the signature is
// r then s, 32 bytes each. `publicKey` receives the key's public point.
bool SignBytes(const std::string& privatePath, const std::string& bytes, RawSignature& signature,
               PublicKey& publicKey, std::string& error);

bool VerifyBytes(const PublicKey& key, const std::string& bytes, const RawSignature& signature);

// The SHA-256 of `bytes` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::string& bytes);
