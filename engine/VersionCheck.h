// The version check: which installed modules differ from the server's list.
#pragma once

#include "LaunchValues.h"
#include "PendingDownload.h"

#include <optional>
#include <string>

struct ModuleRow;

// Compares the installed file of one module with its entry in the digest list
// (section "ModuleVersion", key = module name) and appends a PendingDownload to
// `list` when they differ. A missing key and a missing file both read as the
// empty digest, so such a module counts as up to date. Returns 1.
int CheckModule(const LaunchValues& launch, const char* moduleName, const char* digestListPath,
                int messageId, const char* extension, PendingDownloadList* list);

// CheckModule's comparison for one row of the module table, given the digest
// of its installed file: the download to add, or nothing when it is up to date.
std::optional<PendingDownload> CompareModule(const LaunchValues& launch, const ModuleRow& row,
                                             const char* digestListPath,
                                             const std::string& actualDigest);

// Whether the file is a digest list at all: its section "ModuleVersion" holds
// at least one entry. Any other answer (an empty body, a page of junk) says
// nothing about the modules; read as a list, every key would be missing and
// every installed module would count as changed.
bool IsDigestList(const char* digestListPath);

// Whether `digest` has the form of a digest: 32 lower-case hexadecimal digits.
bool IsWellFormedDigest(const char* digest);

// Whether a downloaded module is the file the digest list describes. Only a
// well-formed listed digest is checked (a value in another form could never
// match and is taken as it is, so such a module is fetched on every attempt).
bool StagedFileMatches(const char* path, const CString& listedDigest);

// CheckModule for every row of the module table, in table order.
PendingDownloadList CheckModules(const LaunchValues& launch, const char* digestListPath);
