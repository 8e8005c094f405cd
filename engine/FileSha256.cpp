#include "FileSha256.h"

#include "framework/Handles.h"

#include <windows.h>

#include <bcrypt.h>

#include <vector>

namespace {

// One SHA-256 computation; everything it opened is closed with it.
class Sha256 {
public:
    Sha256() {
        if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
            algorithm = nullptr;
        else if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0)
            hash = nullptr;
    }
    ~Sha256() {
        if (hash)
            BCryptDestroyHash(hash);
        if (algorithm)
            BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Add(const void* bytes, ULONG size) {
        return hash &&
               BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(bytes)), size, 0) == 0;
    }
    std::string FinishHex() {
        UCHAR value[32];
        if (!hash || BCryptFinishHash(hash, value, sizeof value, 0) != 0)
            return {};
        static const char kHex[] = "0123456789abcdef";
        std::string text;
        for (UCHAR byte : value) {
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        }
        return text;
    }

private:
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

} // namespace

std::string Sha256Hex(const void* bytes, unsigned long size) {
    Sha256 sha;
    return sha.Add(bytes, size) ? sha.FinishHex() : std::string();
}

std::string FileSha256Hex(const char* path) {
    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return {};
    Sha256 sha;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return {};
        if (read == 0)
            return sha.FinishHex();
        if (!sha.Add(buffer.data(), read))
            return {};
    }
}
