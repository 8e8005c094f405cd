#include "ListSignature.h"

#include "Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>

namespace {

// An ECDSA P-256 public key imported into CNG, closed with its provider.
class EcdsaKey {
public:
    explicit EcdsaKey(const PublicKey& point) {
        if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0)
            return;
        unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + kPublicKeySize];
        BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
        std::memcpy(blob, &header, sizeof header);
        std::memcpy(blob + sizeof header, point.data(), point.size());
        if (BCryptImportKeyPair(algorithm_, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key_, blob,
                                sizeof blob, 0) != 0)
            key_ = nullptr;
    }
    ~EcdsaKey() {
        if (key_)
            BCryptDestroyKey(key_);
        if (algorithm_)
            BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    EcdsaKey(const EcdsaKey&) = delete;
    EcdsaKey& operator=(const EcdsaKey&) = delete;

    bool Verifies(Sha256Value hash, RawSignature signature) const {
        return key_ && BCryptVerifySignature(key_, nullptr, hash.data(), hash.size(),
                                             signature.data(), signature.size(), 0) == 0;
    }

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_KEY_HANDLE key_ = nullptr;
};

} // namespace

bool SignatureHolds(const std::string& bytes, const RawSignature& signature, const PublicKey& key) {
    Sha256Value hash;
    return Sha256Of(bytes.data(), bytes.size(), hash) && EcdsaKey(key).Verifies(hash, signature);
}

bool SignedByAnyOf(const SignedList& list, const std::vector<PublicKey>& keys) {
    for (const PublicKey& key : keys)
        if (SignatureHolds(list.signedBytes, list.signature, key))
            return true;
    return false;
}
