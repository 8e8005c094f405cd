#include "FileIo.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

int64_t FileLength(std::FILE* file) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return -1;
    const int64_t length = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return -1;
    const int64_t length = ftello(file);
#endif
    return std::fseek(file, 0, SEEK_SET) == 0 ? length : -1;
}

} // namespace

FileState ProbeFile(const std::string& path, int64_t& size) {
    size = 0;
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return errno == ENOENT ? FileState::Missing : FileState::Unreadable;
    size = FileLength(file.get());
    return size < 0 ? FileState::Unreadable : FileState::Present;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    const int64_t length = FileLength(file.get());
    if (length < 0 || static_cast<uint64_t>(length) > bytes.max_size())
        return false;
    bytes.resize(static_cast<std::size_t>(length));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return false;
    std::fgetc(file.get()); // a directory reads as an error here on some systems
    return !std::ferror(file.get());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fclose(file.release()) == 0 && written;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    const char last = dir.back();
    if (last == '/' || last == '\\')
        return dir + name;
#ifdef _WIN32
    return dir + '\\' + name;
#else
    return dir + '/' + name;
#endif
}
