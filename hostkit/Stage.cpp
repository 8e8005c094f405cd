// The kit's start-of-host work: applying a silent stage and recovering an
// interrupted install, each while holding the folder's updater lock, so that
// no updater stages or installs in the folder meanwhile.
#include "hostkit.h"

#include "ProgramFolder.h"
#include "engine/FolderLock.h"
#include "engine/InstallTransaction.h"
#include "engine/SilentStage.h"

#include <cstring>

namespace {

void FillReport(const StageReport& from, hostkit_stage_report* to) {
    if (!to || to->size < sizeof *to)
        return;
    to->files = from.files;
    to->hashed = from.hashed ? 1 : 0;
    size_t length =
        from.reason.size() < sizeof to->reason - 1 ? from.reason.size() : sizeof to->reason - 1;
    std::memcpy(to->reason, from.reason.data(), length);
    to->reason[length] = '\0';
}

hostkit_result ResultOf(StageOutcome outcome) {
    switch (outcome) {
    case StageOutcome::NoStage:
        return HOSTKIT_NOTHING;
    case StageOutcome::Installed:
        return HOSTKIT_OK;
    case StageOutcome::Refused:
        return HOSTKIT_STAGE_REFUSED;
    case StageOutcome::Kept:
        return HOSTKIT_STAGE_KEPT;
    case StageOutcome::Unfinished:
        break;
    }
    return HOSTKIT_UNFINISHED;
}

hostkit_result ResultOf(RecoveryOutcome outcome) {
    switch (outcome) {
    case RecoveryOutcome::Nothing:
        return HOSTKIT_NOTHING;
    case RecoveryOutcome::RolledForward:
        return HOSTKIT_OK;
    case RecoveryOutcome::RolledBack:
        return HOSTKIT_ROLLED_BACK;
    case RecoveryOutcome::Discarded:
        return HOSTKIT_DISCARDED;
    case RecoveryOutcome::Unfinished:
        break;
    }
    return HOSTKIT_UNFINISHED;
}

} // namespace

extern "C" hostkit_result HOSTKIT_CALL hostkit_apply_stage(const char* program_folder,
                                                           hostkit_stage_report* report) {
    if (report && report->size < sizeof *report)
        return HOSTKIT_BAD_ARGUMENT;
    if (report)
        *report = {sizeof *report, 0, 0, {}};
    CString folder = ProgramFolderOf(program_folder);
    if (folder.empty())
        return HOSTKIT_BAD_ARGUMENT;
    CFolderLock lock;
    if (!lock.Acquire(folder))
        return HOSTKIT_BUSY;
    StageReport done = ApplySilentStage(folder);
    FillReport(done, report);
    return ResultOf(done.outcome);
}

extern "C" hostkit_result HOSTKIT_CALL hostkit_recover(const char* program_folder) {
    CString folder = ProgramFolderOf(program_folder);
    if (folder.empty())
        return HOSTKIT_BAD_ARGUMENT;
    CFolderLock lock;
    if (!lock.Acquire(folder))
        return HOSTKIT_BUSY;
    return ResultOf(RecoverInterruptedInstall(folder));
}
