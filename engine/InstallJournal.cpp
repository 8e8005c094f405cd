#include "InstallJournal.h"

#include "SafeFiles.h"
#include "framework/Handles.h"

#include <set>

namespace {

constexpr std::string_view kFirstLine = "updater install journal 1";
constexpr std::string_view kLastLine = "end";
constexpr DWORD kMaxJournalBytes = 64 * 1024;

const char* StateName(JournalState state) {
    switch (state) {
    case JournalState::Preparing:
        return "preparing";
    case JournalState::Swapping:
        return "swapping";
    case JournalState::RollingBack:
        return "rolling-back";
    }
    return "";
}

bool ParseState(std::string_view text, JournalState* state) {
    for (JournalState s :
         {JournalState::Preparing, JournalState::Swapping, JournalState::RollingBack}) {
        if (text == StateName(s)) {
            *state = s;
            return true;
        }
    }
    return false;
}

// Splits at CR LF; the text must end with one.
bool SplitLines(std::string_view text, std::vector<std::string_view>* lines) {
    while (!text.empty()) {
        size_t end = text.find("\r\n");
        if (end == std::string_view::npos)
            return false;
        lines->push_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    return true;
}

// "<key> <value>" with the given key.
bool Field(std::string_view line, std::string_view key, std::string_view* value) {
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ' ')
        return false;
    *value = line.substr(key.size() + 1);
    return true;
}

bool ParseEntry(std::string_view line, JournalEntry* entry) {
    std::string_view value;
    if (!Field(line, "file", &value) || value.size() < 3 || value[1] != ' ' ||
        (value[0] != '0' && value[0] != '1') || !IsPlainFileName(value.substr(2)))
        return false;
    entry->hadOld = value[0] == '1';
    entry->name = CString(value.substr(2));
    return true;
}

bool ParseStaging(std::string_view value, CString* folder) {
    if (value.empty() || value.back() != '\\' ||
        !IsPlainFileName(value.substr(0, value.size() - 1)))
        return false;
    *folder = CString(value);
    return true;
}

} // namespace

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name.size() >= MAX_PATH || name == "." || name == "..")
        return false;
    for (char c : name)
        if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

std::string FormatJournal(const InstallJournal& journal) {
    std::string text(kFirstLine);
    text += "\r\nstate ";
    text += StateName(journal.state);
    text += "\r\nstaging " + journal.stagingFolder + "\r\n";
    for (const JournalEntry& entry : journal.entries)
        text += (entry.hadOld ? "file 1 " : "file 0 ") + std::string(entry.name) + "\r\n";
    text += std::string(kLastLine) + "\r\n";
    return text;
}

bool ParseJournal(std::string_view text, InstallJournal* journal) {
    std::vector<std::string_view> lines;
    if (!SplitLines(text, &lines) || lines.size() < 4 || lines.front() != kFirstLine ||
        lines.back() != kLastLine)
        return false;
    InstallJournal parsed;
    std::string_view value;
    if (!Field(lines[1], "state", &value) || !ParseState(value, &parsed.state) ||
        !Field(lines[2], "staging", &value) || !ParseStaging(value, &parsed.stagingFolder))
        return false;
    std::set<std::string> seen;
    for (size_t i = 3; i + 1 < lines.size(); ++i) {
        JournalEntry entry;
        if (!ParseEntry(lines[i], &entry))
            return false;
        // Names differing only in case are one file on Windows.
        CString key = entry.name;
        CharUpperA(key.data());
        if (!seen.insert(key).second)
            return false;
        parsed.entries.push_back(entry);
    }
    *journal = parsed;
    return true;
}

std::vector<RecoveryStep> RecoverySteps(JournalState state, bool hadOld, OnDisk disk) {
    std::vector<RecoveryStep> steps;
    if (state == JournalState::Swapping) {
        if (disk.newCopy)
            steps.push_back(RecoveryStep::MoveNewOverTarget);
        if (disk.backup)
            steps.push_back(RecoveryStep::RemoveBackup);
        return steps;
    }
    // Before "swapping" no target was swapped. Rolling back, a target whose
    // new copy is still there was not swapped either (a swap moves the copy).
    bool swapped = state == JournalState::RollingBack && !disk.newCopy;
    if (!swapped) {
        if (disk.newCopy)
            steps.push_back(RecoveryStep::RemoveNew);
        if (disk.backup)
            steps.push_back(RecoveryStep::RemoveBackup);
    } else if (disk.backup) {
        steps.push_back(RecoveryStep::MoveBackupOverTarget);
    } else if (!hadOld && disk.target) {
        steps.push_back(RecoveryStep::RemoveTarget);
    }
    return steps;
}

bool WriteJournal(const CString& programDir, const InstallJournal& journal) {
    return ReplaceWithBytes(programDir + kInstallJournalName, FormatJournal(journal));
}

JournalRead ReadJournal(const CString& programDir, InstallJournal* journal) {
    CString path = programDir + kInstallJournalName;
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return JournalRead::Absent;
    if (IsReparsePoint(path))
        return JournalRead::Unreadable;
    UniqueHandle file(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string text(kMaxJournalBytes + 1, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.Get(), text.data(), kMaxJournalBytes + 1, &read, nullptr) ||
        read > kMaxJournalBytes)
        return JournalRead::Unreadable;
    text.resize(read);
    return ParseJournal(text, journal) ? JournalRead::Read : JournalRead::Unreadable;
}

bool RemoveJournal(const CString& programDir) {
    return RemoveFile(programDir + kInstallJournalName);
}
