// The digest list "ModelMD5.dll": an INI file whose section "ModuleVersion" has
// one key per module name with the keyed digest of that module's file.
#pragma once

#include "engine/ModuleTable.h"

#include <cstdint>
#include <string>
#include <vector>

struct ModuleDigest {
    const ModuleRow* module = nullptr;
    std::string path; // the file that was digested
    int64_t size = 0;
    std::string digest; // 32 lower-case hexadecimal digits
};

struct DigestCollection {
    std::vector<ModuleDigest> listed;         // in table order
    std::vector<const ModuleRow*> missing;    // no file under the remote name
    std::vector<const ModuleRow*> unreadable; // a file that cannot be read
};

// The rows to publish, in table order: all of them, or the ones named in `only`.
std::vector<const ModuleRow*> SelectModules(const std::vector<std::string>& only);

// Digests each module's remote file in `releaseDir` with the updater's key.
DigestCollection CollectDigests(const std::string& releaseDir,
                                const std::vector<const ModuleRow*>& modules);

// The list's text: the section header, then "name=digest", every line ending in CR LF.
std::string FormatDigestList(const std::vector<ModuleDigest>& listed);
