// A host's session with the updater: the two events, the launch block of the
// updater it started, that updater's process, and the watch that calls the
// host back when the updater asks it to exit.
#include "hostkit.h"

#include "ExitRequestWatch.h"
#include "ProgramFolder.h"
#include "engine/FolderLock.h"
#include "engine/Install.h"
#include "engine/LaunchBlock.h"
#include "framework/Handles.h"

#include <cstring>
#include <new>
#include <string>

struct hostkit_session {
    CString programDir;
    UniqueHandle hostExit;    // "*_ORVAK_EXIT_*"
    UniqueHandle updaterExit; // "*_UPDATER_EXIT_*", held so a set survives until read
    UniqueHandle mapping;     // the launch block of the last start
    UniqueHandle process;     // the updater of the last start
    CExitRequestWatch watch;
    hostkit_exit_callback callback = nullptr;
    void* context = nullptr;
};

namespace {

constexpr DWORD kDefaultCloseWaitMs = 10000;

// The named event, made here or, when another part of the host made it first
// with narrow rights (as an elevated host does), opened for waiting and setting.
HANDLE HostEvent(const char* name) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
    if (!event && GetLastError() == ERROR_ACCESS_DENIED)
        event = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name);
    return event;
}

bool Running(const UniqueHandle& process) {
    return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

// Makes sure no updater works in the folder, closing one first when asked.
hostkit_result ClearTheWay(hostkit_session& s, const hostkit_launch& launch) {
    CFolderLock lock;
    if (!Running(s.process) && lock.Acquire(s.programDir))
        return HOSTKIT_OK;
    if (launch.if_running != HOSTKIT_IF_RUNNING_CLOSE)
        return HOSTKIT_BUSY;
    SetEvent(s.updaterExit.Get());
    DWORD wait = launch.close_wait_ms ? launch.close_wait_ms : kDefaultCloseWaitMs;
    if (s.process && WaitForSingleObject(s.process.Get(), wait) == WAIT_TIMEOUT)
        return HOSTKIT_BUSY;
    return lock.Acquire(s.programDir, wait) ? HOSTKIT_OK : HOSTKIT_BUSY;
}

// A mapping holding `block`. Another host process may still hold the name
// from a launch of its own; its updater has read it (no updater works in the
// folder now), so the block is written into that mapping when it is large
// enough.
hostkit_result MakeBlock(const std::string& block, UniqueHandle* mapping) {
    UniqueHandle made(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(block.size()), kLaunchMappingName));
    if (!made)
        return HOSTKIT_SYSTEM;
    MappedView view(MapViewOfFile(made.Get(), FILE_MAP_WRITE, 0, 0, 0));
    MEMORY_BASIC_INFORMATION region{};
    if (!view || !VirtualQuery(view.Get(), &region, sizeof region))
        return HOSTKIT_SYSTEM;
    if (region.RegionSize < block.size())
        return HOSTKIT_BUSY;
    std::memcpy(const_cast<void*>(view.Get()), block.data(), block.size());
    *mapping = std::move(made);
    return HOSTKIT_OK;
}

hostkit_result StartProcess(const CString& path, const CString& folder, UniqueHandle* process) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::string commandLine = "\"" + path + "\"";
    if (!CreateProcessA(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder,
                        &startup, &started))
        return HOSTKIT_NO_UPDATER;
    CloseHandle(started.hThread);
    process->Reset(started.hProcess);
    return HOSTKIT_OK;
}

} // namespace

extern "C" hostkit_result HOSTKIT_CALL hostkit_open(hostkit_session** session) {
    if (!session)
        return HOSTKIT_BAD_ARGUMENT;
    *session = nullptr;
    auto* s = new (std::nothrow) hostkit_session;
    if (!s)
        return HOSTKIT_SYSTEM;
    s->programDir = ProgramFolderOf(nullptr);
    s->hostExit.Reset(HostEvent(kHostExitEvent));
    s->updaterExit.Reset(HostEvent(kUpdaterExitEvent));
    if (s->programDir.empty() || !s->hostExit || !s->updaterExit) {
        DWORD error = GetLastError();
        delete s;
        SetLastError(error);
        return HOSTKIT_SYSTEM;
    }
    *session = s;
    return HOSTKIT_OK;
}

extern "C" hostkit_result HOSTKIT_CALL hostkit_start(hostkit_session* session,
                                                     const hostkit_launch* launch) {
    if (!session || !launch || launch->size < sizeof *launch || launch->mode < 1 ||
        launch->mode > 3)
        return HOSTKIT_BAD_ARGUMENT;
    std::string block;
    if (!FormatLaunchBlock(launch->mode, launch->host_window, launch->base_url, &block))
        return launch->base_url ? HOSTKIT_URL_TOO_LONG : HOSTKIT_BAD_ARGUMENT;
    hostkit_session& s = *session;
    if (hostkit_result r = ClearTheWay(s, *launch); r != HOSTKIT_OK)
        return r;
    s.watch.Stop();
    s.process.Reset();
    s.mapping.Reset();
    ResetEvent(s.hostExit.Get());
    ResetEvent(s.updaterExit.Get());
    if (hostkit_result r = MakeBlock(block, &s.mapping); r != HOSTKIT_OK)
        return r;
    CString updater = launch->updater ? CString(launch->updater) : s.programDir + "Updater.exe";
    if (hostkit_result r = StartProcess(updater, s.programDir, &s.process); r != HOSTKIT_OK) {
        DWORD error = GetLastError();
        s.mapping.Reset();
        SetLastError(error);
        return r;
    }
    if (s.callback)
        s.watch.Start(s.hostExit.Get(), s.callback, s.context);
    return HOSTKIT_OK;
}

extern "C" HANDLE HOSTKIT_CALL hostkit_exit_event(hostkit_session* session) {
    return session ? session->hostExit.Get() : nullptr;
}

extern "C" HANDLE HOSTKIT_CALL hostkit_updater_process(hostkit_session* session) {
    return session ? session->process.Get() : nullptr;
}

extern "C" hostkit_result HOSTKIT_CALL hostkit_on_exit_request(hostkit_session* session,
                                                               hostkit_exit_callback callback,
                                                               void* context) {
    if (!session)
        return HOSTKIT_BAD_ARGUMENT;
    session->watch.Stop();
    session->callback = callback;
    session->context = context;
    if (callback && !session->watch.Start(session->hostExit.Get(), callback, context))
        return HOSTKIT_SYSTEM;
    return HOSTKIT_OK;
}

extern "C" hostkit_result HOSTKIT_CALL hostkit_close_updater(hostkit_session* session,
                                                             uint32_t wait_ms) {
    if (!session)
        return HOSTKIT_BAD_ARGUMENT;
    if (!Running(session->process))
        return HOSTKIT_NOT_RUNNING;
    SetEvent(session->updaterExit.Get());
    return WaitForSingleObject(session->process.Get(), wait_ms) == WAIT_OBJECT_0 ? HOSTKIT_OK
                                                                                 : HOSTKIT_TIMEOUT;
}

extern "C" void HOSTKIT_CALL hostkit_release(hostkit_session* session) {
    delete session;
}
