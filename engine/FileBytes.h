// The bytes of one file, read in pieces at any offset: the digest reads a file
// forwards and then backwards, a piece at a time, so memory stays bounded
// whatever the file's size, and a read that fails (a removable or network
// drive gone, a file cut short meanwhile) is an error return, never a fault.
#pragma once

#include <cstddef>
#include <memory>

// Where the digest takes its bytes from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Exactly `length` bytes from `offset` into `buffer`; false when they
    // cannot all be read.
    virtual bool Read(std::size_t offset, unsigned char* buffer, std::size_t length) = 0;
};

class FileBytes : public ByteSource {
public:
    FileBytes();
    ~FileBytes() override;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // False when nothing exists at `path`, it is not a regular file, it cannot
    // be opened, or it is 2 GiB or longer (the file length must fit a signed
    // 32-bit value). The file is shared for reading, writing and deletion, so
    // files in use by others still open.
    bool Open(const char* path);
    // The length the file had when it was opened (0 when nothing is open).
    std::size_t Size() const { return size; }
    bool Read(std::size_t offset, unsigned char* buffer, std::size_t length) override;

private:
    std::size_t size = 0;
    struct File; // the open file, per platform
    std::unique_ptr<File> file;
};
