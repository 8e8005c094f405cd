// SHA-256 from the platform (CNG).
#pragma once

#include <array>
#include <cstddef>
#include <string>

using Sha256Value = std::array<unsigned char, 32>;

// An incremental SHA-256; Finish may be called once.
class Sha256Hasher {
public:
    Sha256Hasher();
    ~Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;

    bool ok() const { return hash_ != nullptr; }
    bool Update(const void* data, std::size_t size);
    bool Finish(Sha256Value& value);

private:
    void* algorithm_ = nullptr;
    void* hash_ = nullptr;
};

bool Sha256Of(const void* data, std::size_t size, Sha256Value& value);

// The SHA-256 of the file at `path` as 64 lower-case hexadecimal digits, and its
// size; empty when the file cannot be read completely.
std::string Sha256OfFile(const char* path, long long& size);

// Of `size` bytes at `bytes`, as 64 lower-case hexadecimal digits; empty on failure.
std::string Sha256Hex(const void* bytes, std::size_t size);

// Of the whole file at `path`, as hexadecimal digits; empty when it cannot be read.
std::string FileSha256Hex(const char* path);
