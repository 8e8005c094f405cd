// One opened named file mapping and its view.
#pragma once

#include <windows.h>

#include <cstddef>

class CSharedMemory {
public:
    CSharedMemory() = default;
    virtual ~CSharedMemory() { Close(); }
    CSharedMemory(const CSharedMemory&) = delete;
    CSharedMemory& operator=(const CSharedMemory&) = delete;

    // Opens the mapping `name` and maps all of it; returns the view or null.
    void* Open(const char* name);
    // How many bytes of the view belong to the mapping (0 when nothing is open).
    size_t Size() const { return size; }
    void Close();

private:
    HANDLE mapping = nullptr;
    void* view = nullptr;
    size_t size = 0;
};
