// The release tool's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ChangeLogEncoding {
    Utf8, // converted to code page 936
    Gbk,  // already code page 936: only the line ends are rewritten
};

struct ReleaseOptions {
    std::string releaseDir;               // the release's files under their remote names
    std::string outputDir;                // where the lists go; the release folder by default
    bool allowMissing = false;            // leave out modules whose file is missing
    std::vector<std::string> onlyModules; // when not empty, only these modules are listed
    std::string changeLogFile;            // when set, UpdateContent.dll is written from it
    ChangeLogEncoding changeLogEncoding = ChangeLogEncoding::Utf8;
    std::string privateKeyFile; // when set, the list is signed with this key
    uint64_t serial = 0;        // 0: one more than the list already published, or 1
    int64_t expiresDays = 90;   // 0 or less makes a list that has already expired
    bool help = false;
};

// Parses the arguments after the program name. Returns false with a message in
// `error` for an unknown option, a missing value, an unknown module name or a
// wrong number of folders.
bool ParseReleaseOptions(const std::vector<std::string>& args, ReleaseOptions& options,
                         std::string& error);

extern const char* const kReleaseUsage;
