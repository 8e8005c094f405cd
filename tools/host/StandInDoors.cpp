#include "StandInDoors.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool ReadFileBytes(const std::string& path, std::vector<char>* bytes) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + n);
    fclose(f);
    return true;
}

// A security descriptor that grants everyone exactly `rights` (SDDL, hexadecimal).
PSECURITY_DESCRIPTOR GrantEveryone(const char* rights) {
    std::string sddl = std::string("D:(A;;") + rights + ";;;WD)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                         nullptr);
    return descriptor;
}

// An event others may only set (EVENT_MODIFY_STATE) or wait on (SYNCHRONIZE).
HANDLE CreateNarrowEvent(const char* name) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, GrantEveryone("0x100002"), FALSE};
    HANDLE event = CreateEventA(&attributes, TRUE, FALSE, name);
    LocalFree(attributes.lpSecurityDescriptor);
    return event;
}

bool MakeBlock(const StandInOptions& options, uint32_t window, std::vector<char>* block) {
    if (!options.blockFile.empty())
        return ReadFileBytes(options.blockFile, block);
    block->resize(8 + options.url.size() + 1);
    int32_t mode = options.mode;
    memcpy(block->data(), &mode, 4);
    memcpy(block->data() + 4, &window, 4);
    memcpy(block->data() + 8, options.url.c_str(), options.url.size() + 1);
    return true;
}

} // namespace

bool NeedsRawLaunch(const StandInOptions& options) {
    bool kitMode = options.mode >= 1 && options.mode <= 3;
    return !options.blockFile.empty() || options.noBlock || !options.createExitEvent || !kitMode;
}

bool NarrowRights(UniqueHandle* hostExit, UniqueHandle* updaterExit) {
    hostExit->Reset(CreateNarrowEvent("*_ORVAK_EXIT_*"));
    updaterExit->Reset(CreateNarrowEvent("*_UPDATER_EXIT_*"));
    PSECURITY_DESCRIPTOR descriptor = GrantEveryone("0x100000");
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    bool done = descriptor && GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
                SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
    LocalFree(descriptor);
    return done && *hostExit && *updaterExit;
}

bool LaunchRaw(const StandInOptions& options, uint32_t window, const std::string& programDir,
               RawLaunch* launch, void (*log)(const char* format, ...)) {
    std::vector<char> block;
    if (!MakeBlock(options, window, &block)) {
        log("error cannot-read-block-file %s", options.blockFile.c_str());
        return false;
    }
    launch->blockSize = block.size();
    if (!options.noBlock) {
        launch->mapping.Reset(CreateFileMappingA(
            INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
            static_cast<DWORD>(block.empty() ? 1 : block.size()), "@_ORVAK_UPDATE_@"));
        if (!launch->mapping) {
            log("error cannot-create-mapping %lu", GetLastError());
            return false;
        }
        MappedView view(MapViewOfFile(launch->mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (view)
            memcpy(const_cast<void*>(view.Get()), block.data(), block.size());
    }
    if (options.createExitEvent)
        launch->exitEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, "*_ORVAK_EXIT_*"));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + options.updater + "\"";
    if (!CreateProcessA(options.updater.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, programDir.c_str(), &startup, &process)) {
        log("error cannot-start-updater %lu", GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    launch->process.Reset(process.hProcess);
    return true;
}
