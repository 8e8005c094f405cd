// Reads the file into one buffer. A mapping would save the copy, but a file
// shortened by another process while mapped kills the reader with SIGBUS here.
#include "FileBytes.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <new>

struct FileBytes::Storage {
    std::unique_ptr<unsigned char[]> buffer;
};

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

FileBytes::FileBytes() = default;
FileBytes::~FileBytes() = default;

void FileBytes::Release() {
    storage.reset();
    data = nullptr;
    size = 0;
}

bool FileBytes::Load(const char* path) {
    Release();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    struct stat info;
    if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > INT_MAX)
        return false;
    const std::size_t length = static_cast<std::size_t>(info.st_size);
    auto kept = std::make_unique<Storage>();
    kept->buffer.reset(new (std::nothrow) unsigned char[length ? length : 1]);
    if (!kept->buffer || std::fread(kept->buffer.get(), 1, length, file.get()) != length)
        return false;
    data = kept->buffer.get();
    size = length;
    storage = std::move(kept);
    return true;
}
