#include "TempFolder.h"
#include "engine/Digest.h"
#include "engine/Install.h"
#include "engine/InstallJournal.h"
#include "engine/InstallTransaction.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// A program folder with installed modules ("old X") and their staged new
// versions ("new X") in "UpgradeBackup_P\".
class Transaction : public ::testing::Test {
protected:
    Transaction() { CreateDirectoryA(staging, nullptr); }

    void Stage(const char* name, bool installed = true) {
        if (installed)
            WriteFileBytes(folder / name, std::string("old ") + name);
        WriteFileBytes(staging + name + ".tmp", std::string("new ") + name);
        list.push_back({0, name, "u", ComputeFileDigest(staging + name + ".tmp", kDigestKey)});
    }
    // Every file in the folder, staged files included, as relative names.
    std::set<std::string> Files(const CString& under = CString()) {
        std::set<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(folder / (under + "*").c_str(), &data);
        for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data)) {
            CString name = under + data.cFileName;
            if (name.EndsWith(".") || name.EndsWith(".."))
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                for (const std::string& inner : Files(name + "\\"))
                    names.insert(inner);
            else
                names.insert(name);
        }
        if (find != INVALID_HANDLE_VALUE)
            FindClose(find);
        return names;
    }
    void WriteJournalText(const std::string& text) {
        WriteFileBytes(folder / kInstallJournalName, text);
    }

    TempFolder folder;
    CString staging = folder / "UpgradeBackup_P\\";
    PendingDownloadList list;
    InstallOptions quick{2, 10};
};

TEST_F(Transaction, InstallsTheWholeSetAndLeavesNothingBehind) {
    Stage("Quorvel.dll");
    Stage("Tevrane.exe");
    Stage("Yandrel.exe", false); // not installed before
    WriteFileBytes(staging + "Stray.dll.tmp", "left by an earlier attempt");
    EXPECT_EQ(InstallOutcome::Installed, InstallModules(folder.Path(), list, quick));
    for (const char* name : {"Quorvel.dll", "Tevrane.exe", "Yandrel.exe"})
        EXPECT_EQ(std::string("new ") + name, ReadFileBytes(folder / name));
    EXPECT_EQ((std::set<std::string>{"Quorvel.dll", "Tevrane.exe", "Yandrel.exe"}), Files());
}

TEST_F(Transaction, ATargetThatCannotBeSwappedPutsEveryOtherBack) {
    Stage("Quorvel.dll");
    Stage("Yandrel.exe", false);
    Stage("Kavrel.dll");
    std::set<std::string> before = Files();
    // Readable, so it gets its backup, but it cannot be replaced while open.
    HANDLE held = CreateFileA(folder / "Kavrel.dll", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    InstallOutcome outcome = InstallModules(folder.Path(), list, quick);
    CloseHandle(held);
    EXPECT_EQ(InstallOutcome::Unchanged, outcome);
    EXPECT_EQ("old Quorvel.dll", ReadFileBytes(folder / "Quorvel.dll"));
    EXPECT_EQ("old Kavrel.dll", ReadFileBytes(folder / "Kavrel.dll"));
    EXPECT_EQ(before, Files()); // Yandrel.exe gone again, staged files kept, no companion
}

TEST_F(Transaction, ACopyThatFailsItsCheckChangesNothing) {
    Stage("Quorvel.dll");
    Stage("Zentil.dll");
    list[1].listedDigest = std::string(32, '0');
    std::set<std::string> before = Files();
    EXPECT_EQ(InstallOutcome::Unchanged, InstallModules(folder.Path(), list, quick));
    EXPECT_EQ(before, Files());
    EXPECT_EQ("old Quorvel.dll", ReadFileBytes(folder / "Quorvel.dll"));
}

// An install cut short after Quorvel.dll was swapped and before Tevrane.exe
// and the new Yandrel.exe were: what the journal's state makes of it.
class Interrupted : public Transaction {
protected:
    Interrupted() {
        Stage("Quorvel.dll");
        Stage("Tevrane.exe");
        Stage("Yandrel.exe", false);
        WriteFileBytes(folder / "Quorvel.dll", "new Quorvel.dll");
        WriteFileBytes(folder / "Quorvel.dll.old~", "old Quorvel.dll");
        WriteFileBytes(folder / "Tevrane.exe.new~", "new Tevrane.exe");
        WriteFileBytes(folder / "Tevrane.exe.old~", "old Tevrane.exe");
        WriteFileBytes(folder / "Yandrel.exe.new~", "new Yandrel.exe");
    }
    RecoveryOutcome Recover(JournalState state) {
        InstallJournal journal{state, "UpgradeBackup_P\\", {}};
        journal.entries = {{"Quorvel.dll", true}, {"Tevrane.exe", true}, {"Yandrel.exe", false}};
        WriteJournalText(FormatJournal(journal));
        return RecoverInterruptedInstall(folder.Path(), quick);
    }
};

TEST_F(Interrupted, SwappingIsRolledForward) {
    EXPECT_EQ(RecoveryOutcome::RolledForward, Recover(JournalState::Swapping));
    EXPECT_EQ((std::set<std::string>{"Quorvel.dll", "Tevrane.exe", "Yandrel.exe"}), Files());
    for (const char* name : {"Quorvel.dll", "Tevrane.exe", "Yandrel.exe"})
        EXPECT_EQ(std::string("new ") + name, ReadFileBytes(folder / name));
}

TEST_F(Interrupted, RollingBackPutsTheOldSetBackAndKeepsTheStage) {
    EXPECT_EQ(RecoveryOutcome::RolledBack, Recover(JournalState::RollingBack));
    EXPECT_EQ((std::set<std::string>{
                  "Quorvel.dll", "Tevrane.exe", "UpgradeBackup_P\\Quorvel.dll.tmp",
                  "UpgradeBackup_P\\Tevrane.exe.tmp", "UpgradeBackup_P\\Yandrel.exe.tmp"}),
              Files());
    EXPECT_EQ("old Quorvel.dll", ReadFileBytes(folder / "Quorvel.dll"));
    EXPECT_EQ("old Tevrane.exe", ReadFileBytes(folder / "Tevrane.exe"));
}

TEST_F(Interrupted, AJournalThatIsNotOneIsDiscardedAndNothingElseTouched) {
    std::set<std::string> before = Files();
    // Names that leave the folder, a state nobody writes, a cut-off text.
    for (const std::string& text :
         {std::string("updater install journal 1\r\nstate swapping\r\nstaging UpgradeBackup_P\\\r\n"
                      "file 1 ..\\Quorvel.dll\r\nend\r\n"),
          std::string("updater install journal 1\r\nstate done\r\nstaging UpgradeBackup_P\\\r\n"
                      "file 1 Quorvel.dll\r\nend\r\n"),
          std::string("updater install journal 1\r\nstate swapping\r\nstaging UpgradeBackup_P\\\r\n"
                      "file 1 Quorvel.dll\r\n")}) {
        WriteJournalText(text);
        EXPECT_EQ(RecoveryOutcome::Discarded, RecoverInterruptedInstall(folder.Path(), quick));
        EXPECT_EQ(before, Files());
    }
}

TEST(RecoverySteps, ForwardOnlyAfterEveryCopyIsReady) {
    using S = RecoveryStep;
    OnDisk all{true, true, true};
    OnDisk swapped{true, false, true};
    EXPECT_EQ((std::vector<S>{S::MoveNewOverTarget, S::RemoveBackup}),
              RecoverySteps(JournalState::Swapping, true, all));
    EXPECT_EQ((std::vector<S>{S::RemoveBackup}),
              RecoverySteps(JournalState::Swapping, true, swapped));
    // Preparing: nothing was swapped, whatever is missing.
    EXPECT_EQ((std::vector<S>{S::RemoveBackup}),
              RecoverySteps(JournalState::Preparing, true, swapped));
    EXPECT_EQ((std::vector<S>{S::RemoveNew, S::RemoveBackup}),
              RecoverySteps(JournalState::RollingBack, true, all));
    EXPECT_EQ((std::vector<S>{S::MoveBackupOverTarget}),
              RecoverySteps(JournalState::RollingBack, true, swapped));
    EXPECT_EQ((std::vector<S>{S::RemoveTarget}),
              RecoverySteps(JournalState::RollingBack, false, OnDisk{true, false, false}));
    // Already put back: nothing more to do.
    EXPECT_TRUE(RecoverySteps(JournalState::RollingBack, true, OnDisk{true, false, false}).empty());
    EXPECT_TRUE(RecoverySteps(JournalState::RollingBack, false, OnDisk{}).empty());
}

} // namespace
