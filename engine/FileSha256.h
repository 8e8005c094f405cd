// SHA-256 through the platform (CNG), as 64 lower-case hexadecimal digits.
#pragma once

#include <string>

// Of `size` bytes at `bytes`; empty on failure.
std::string Sha256Hex(const void* bytes, unsigned long size);

// Of the whole file at `path`, read in pieces; empty when it cannot be read.
std::string FileSha256Hex(const char* path);
