// The whole contents of one file, available in memory while the object lives:
// a read-only mapping of the file on Windows (while it is mapped, the system
// refuses to shorten the file), one buffer of the file's size elsewhere.
#pragma once

#include <cstddef>
#include <memory>

class FileBytes {
public:
    FileBytes();
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // False when nothing exists at `path`, it is not a regular file, it cannot be
    // opened or read completely, or it is 2 GiB or longer (the file length must
    // fit a signed 32-bit value).
    bool Load(const char* path);

    const unsigned char* Data() const { return data; }
    std::size_t Size() const { return size; }

private:
    void Release();

    const unsigned char* data = nullptr;
    std::size_t size = 0;
    struct Storage; // what keeps `data` valid, per platform
    std::unique_ptr<Storage> storage;
};
