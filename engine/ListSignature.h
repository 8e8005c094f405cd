// Checks a signed list's ECDSA P-256 signature with the platform (CNG).
#pragma once

#include "PublisherKeys.h"
#include "SignedList.h"

// Whether `signature` over SHA-256(`bytes`) was made with the private half of `key`.
bool SignatureHolds(const std::string& bytes, const RawSignature& signature, const PublicKey& key);

// Whether the list's signature holds under any of `keys`.
bool SignedByAnyOf(const SignedList& list, const std::vector<PublicKey>& keys);
