#include "Sha256.h"

#include "FileBytes.h"
#include "SignedList.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <vector>

Sha256Hasher::Sha256Hasher() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return;
    algorithm_ = algorithm;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0)
        hash_ = hash;
}

Sha256Hasher::~Sha256Hasher() {
    if (hash_)
        BCryptDestroyHash(hash_);
    if (algorithm_)
        BCryptCloseAlgorithmProvider(algorithm_, 0);
}

bool Sha256Hasher::Update(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (hash_ && size > 0) {
        const ULONG chunk = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
        if (BCryptHashData(hash_, const_cast<PUCHAR>(bytes), chunk, 0) != 0)
            return false;
        bytes += chunk;
        size -= chunk;
    }
    return hash_ != nullptr;
}

bool Sha256Hasher::Finish(Sha256Value& value) {
    const bool done = hash_ && BCryptFinishHash(hash_, value.data(), value.size(), 0) == 0;
    BCryptDestroyHash(hash_);
    hash_ = nullptr;
    return done;
}

bool Sha256Of(const void* data, std::size_t size, Sha256Value& value) {
    Sha256Hasher hasher;
    return hasher.Update(data, size) && hasher.Finish(value);
}

std::string Sha256OfFile(const char* path, long long& size) {
    size = 0;
    FileBytes file;
    if (!file.Open(path))
        return {};
    Sha256Hasher hasher;
    std::vector<unsigned char> buffer(1 << 16);
    for (std::size_t offset = 0; offset < file.Size();) {
        const std::size_t piece = std::min(buffer.size(), file.Size() - offset);
        if (!file.Read(offset, buffer.data(), piece) || !hasher.Update(buffer.data(), piece))
            return {};
        offset += piece;
    }
    Sha256Value value;
    if (!hasher.Finish(value))
        return {};
    size = static_cast<long long>(file.Size());
    return ToHex(value.data(), value.size());
}

std::string Sha256Hex(const void* bytes, std::size_t size) {
    Sha256Value value;
    return Sha256Of(bytes, size, value) ? ToHex(value.data(), value.size()) : std::string();
}

std::string FileSha256Hex(const char* path) {
    long long size = 0;
    return Sha256OfFile(path, size);
}
