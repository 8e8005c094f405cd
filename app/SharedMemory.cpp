#include "SharedMemory.h"

#include <winternl.h>

#include <cstdint>

namespace {
// The mapping's own size, which VirtualQuery rounds up to whole pages.
size_t SectionSize(HANDLE mapping) {
    struct SectionBasicInformation {
        PVOID base;
        ULONG attributes;
        LARGE_INTEGER size;
    } info{};
    using QuerySection = LONG(NTAPI*)(HANDLE, int, PVOID, SIZE_T, PSIZE_T);
    static auto query = reinterpret_cast<QuerySection>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySection")));
    if (!query || query(mapping, 0, &info, sizeof info, nullptr) < 0 || info.size.QuadPart < 0 ||
        static_cast<unsigned long long>(info.size.QuadPart) > SIZE_MAX)
        return SIZE_MAX;
    return static_cast<size_t>(info.size.QuadPart);
}
} // namespace

void* CSharedMemory::Open(const char* name) {
    Close();
    mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!mapping)
        return nullptr;
    view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (!view)
        return nullptr;
    MEMORY_BASIC_INFORMATION region{};
    size_t mapped = VirtualQuery(view, &region, sizeof region) ? region.RegionSize : 0;
    size_t own = SectionSize(mapping);
    size = own < mapped ? own : mapped;
    return view;
}

void CSharedMemory::Close() {
    if (view)
        UnmapViewOfFile(view);
    if (mapping)
        CloseHandle(mapping);
    view = nullptr;
    mapping = nullptr;
    size = 0;
}
