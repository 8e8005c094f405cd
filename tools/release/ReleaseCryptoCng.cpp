// The Windows release tool's cryptography through CNG: ECDSA P-256 keys made
// and used by the platform, written and read in the same PEM forms as the
// native tool's, so either tool signs with a key the other made.
#include "FileIo.h"
#include "KeyFiles.h"
#include "ReleaseCrypto.h"

#include "engine/ListSignature.h"
#include "engine/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>

namespace {

constexpr ULONG kCoordinate = 32;

// An algorithm provider and one key of it, both closed on destruction.
class CngKey {
public:
    CngKey() {
        if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0)
            algorithm_ = nullptr;
    }
    ~CngKey() {
        if (key_)
            BCryptDestroyKey(key_);
        if (algorithm_)
            BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    CngKey(const CngKey&) = delete;
    CngKey& operator=(const CngKey&) = delete;

    bool Generate() {
        return algorithm_ && BCryptGenerateKeyPair(algorithm_, &key_, 256, 0) == 0 &&
               BCryptFinalizeKeyPair(key_, 0) == 0;
    }

    bool Import(const PrivateScalar& scalar, const PublicKey& point) {
        unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kCoordinate];
        const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, kCoordinate};
        std::memcpy(blob, &header, sizeof header);
        std::memcpy(blob + sizeof header, point.data(), point.size());
        std::memcpy(blob + sizeof header + point.size(), scalar.data(), scalar.size());
        const bool ok =
            algorithm_ && BCryptImportKeyPair(algorithm_, nullptr, BCRYPT_ECCPRIVATE_BLOB, &key_,
                                              blob, sizeof blob, 0) == 0;
        SecureZeroMemory(blob, sizeof blob);
        return ok;
    }

    bool Export(PrivateScalar& scalar, PublicKey& point) const {
        unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kCoordinate];
        ULONG size = 0;
        const bool ok = key_ &&
                        BCryptExportKey(key_, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob, sizeof blob,
                                        &size, 0) == 0 &&
                        size == sizeof blob;
        if (ok) {
            std::memcpy(point.data(), blob + sizeof(BCRYPT_ECCKEY_BLOB), point.size());
            std::memcpy(scalar.data(), blob + sizeof(BCRYPT_ECCKEY_BLOB) + point.size(),
                        scalar.size());
        }
        SecureZeroMemory(blob, sizeof blob);
        return ok;
    }

    bool Sign(const Sha256Value& hash, RawSignature& signature) const {
        ULONG size = 0;
        return key_ &&
               BCryptSignHash(key_, nullptr, const_cast<unsigned char*>(hash.data()),
                              static_cast<ULONG>(hash.size()), signature.data(),
                              static_cast<ULONG>(signature.size()), &size, 0) == 0 &&
               size == signature.size();
    }

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_KEY_HANDLE key_ = nullptr;
};

// A file handle, closed on destruction.
class NewFile {
public:
    explicit NewFile(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~NewFile() {
        if (ok())
            CloseHandle(handle_);
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Write(const std::string& text) {
        DWORD written = 0;
        return WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) &&
               written == text.size();
    }

private:
    HANDLE handle_;
};

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

bool GenerateKeyFiles(const std::string& privatePath, const std::string& publicPath,
                      std::string& error) {
    for (const std::string& path : {privatePath, publicPath})
        if (Exists(path))
            return error = path + " exists already; keygen never replaces a key", false;
    CngKey key;
    PrivateScalar scalar{};
    PublicKey point{};
    if (!key.Generate() || !key.Export(scalar, point))
        return error = "cannot make a key", false;
    std::string privatePem = PrivateKeyPem(scalar, point);
    SecureZeroMemory(scalar.data(), scalar.size());
    NewFile privateFile(privatePath);
    if (!privateFile.ok())
        return error = "cannot create " + privatePath + " (it must not exist yet)", false;
    NewFile publicFile(publicPath);
    if (!publicFile.ok())
        return error = "cannot create " + publicPath + " (it must not exist yet)", false;
    const bool written = privateFile.Write(privatePem) && publicFile.Write(PublicKeyPem(point));
    SecureZeroMemory(privatePem.data(), privatePem.size());
    if (!written)
        return error = "cannot write the key files", false;
    return true;
}

bool SignBytes(const std::string& privatePath, const std::string& bytes, RawSignature& signature,
               PublicKey& publicKey, std::string& error) {
    std::string text;
    if (!ReadWholeFile(privatePath, text))
        return error = "cannot read " + privatePath, false;
    PrivateScalar scalar{};
    const bool read = ReadPrivateKeyPem(text, scalar, publicKey, error);
    SecureZeroMemory(text.data(), text.size());
    if (!read)
        return error = privatePath + ": " + error, false;
    CngKey key;
    const bool imported = key.Import(scalar, publicKey);
    SecureZeroMemory(scalar.data(), scalar.size());
    Sha256Value hash;
    if (!imported)
        return error = privatePath + " is not a P-256 private key CNG accepts", false;
    if (!Sha256Of(bytes.data(), bytes.size(), hash) || !key.Sign(hash, signature))
        return error = "signing failed", false;
    // A key whose point does not belong to its scalar would sign lists no
    // updater with that point accepts: caught here rather than in the field.
    if (!SignatureHolds(bytes, signature, publicKey))
        return error = privatePath + ": its public point does not match its private key", false;
    return true;
}

bool VerifyBytes(const PublicKey& key, const std::string& bytes, const RawSignature& signature) {
    return SignatureHolds(bytes, signature, key);
}

std::string Sha256Hex(const std::string& bytes) {
    Sha256Value value;
    return Sha256Of(bytes.data(), bytes.size(), value) ? ToHex(value.data(), value.size())
                                                       : std::string();
}
