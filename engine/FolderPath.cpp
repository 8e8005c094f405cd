#include "FolderPath.h"

#include <imagehlp.h>

#include <mutex>

BOOL MakeSurePathExists(const char* path) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    return MakeSureDirectoryPathExists(path);
}
