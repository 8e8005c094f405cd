// The updater's keyed file digest: a 16-byte checksum over a whole file, keyed
// by a string, written as 32 lower-case hexadecimal digits. It is not a
// published hash; the server's digest list is made with this same function and
// key (tools/release), which shares this code natively: the arithmetic is
// standard C++, and the file is read through FileBytes, one per platform.
#pragma once

#include <cstddef>
#include <string>

class ByteSource;

// The key every digest of the updater is made with.
constexpr const char* kDigestKey = "mnbv^&qrs;+plk806@(";

// The digest of the file at `path` with `key`; empty when the file does not
// exist or cannot be read (a read error part-way included), or the key is empty.
std::string ComputeFileDigest(const char* path, const char* key);

// The digest of the `size` bytes that `source` gives, as if they were a file's
// contents; empty when a read fails, the key is empty, or `size` does not fit a
// signed 32-bit length.
std::string ComputeDigest(ByteSource& source, std::size_t size, const char* key);

// The digest of `size` bytes already in memory, as if they were a file's
// contents; empty when the key is empty or `size` does not fit a signed 32-bit
// length (the file length takes part in the arithmetic as such a value).
std::string ComputeDigest(const unsigned char* data, std::size_t size, const char* key);
