#include "FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

struct FileBytes::File {
    int fd = -1;
    ~File() {
        if (fd >= 0)
            close(fd);
    }
};

FileBytes::FileBytes() = default;
FileBytes::~FileBytes() = default;

bool FileBytes::Open(const char* path) {
    file.reset();
    size = 0;
    auto opened = std::make_unique<File>();
    opened->fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (opened->fd < 0 || fstat(opened->fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > INT_MAX)
        return false;
    size = static_cast<std::size_t>(info.st_size);
    file = std::move(opened);
    return true;
}

bool FileBytes::Read(std::size_t offset, unsigned char* buffer, std::size_t length) {
    if (!file || offset > size || length > size - offset)
        return false;
    while (length > 0) {
        const ssize_t got = pread(file->fd, buffer, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        buffer += got;
        offset += static_cast<std::size_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return true;
}
