#include "DigestList.h"

#include "FileIo.h"
#include "engine/Digest.h"

#include <algorithm>

std::vector<const ModuleRow*> SelectModules(const std::vector<std::string>& only) {
    std::vector<const ModuleRow*> modules;
    for (const ModuleRow& row : kModuleTable)
        if (only.empty() || std::find(only.begin(), only.end(), row.name) != only.end())
            modules.push_back(&row);
    return modules;
}

DigestCollection CollectDigests(const std::string& releaseDir,
                                const std::vector<const ModuleRow*>& modules) {
    DigestCollection result;
    for (const ModuleRow* module : modules) {
        ModuleDigest entry;
        entry.module = module;
        entry.path = JoinPath(releaseDir, module->remoteFile);
        const FileState state = ProbeFile(entry.path, entry.size);
        if (state == FileState::Missing) {
            result.missing.push_back(module);
            continue;
        }
        if (state == FileState::Present)
            entry.digest = ComputeFileDigest(entry.path.c_str(), kDigestKey);
        if (entry.digest.empty()) {
            result.unreadable.push_back(module);
            continue;
        }
        result.listed.push_back(entry);
    }
    return result;
}

std::string FormatDigestList(const std::vector<ModuleDigest>& listed) {
    std::string text = "[ModuleVersion]\r\n";
    for (const ModuleDigest& entry : listed)
        text += std::string(entry.module->name) + "=" + entry.digest + "\r\n";
    return text;
}
