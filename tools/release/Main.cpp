// release-tool: writes a release's digest list "ModelMD5.dll" and, when given a
// text, its change log "UpdateContent.dll", for the update server. See
// kReleaseUsage for the command line. Everything is checked before anything is
// written, so a refusal leaves the output folder as it was.
#include "ChangeLogText.h"
#include "DigestList.h"
#include "FileIo.h"
#include "ReleaseOptions.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string NameList(const std::vector<const ModuleRow*>& modules) {
    std::string names;
    for (const ModuleRow* module : modules)
        names += (names.empty() ? "" : ", ") + std::string(module->name);
    return names;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "release-tool: %s\n", message.c_str());
    return 1;
}

bool CheckDigests(const ReleaseOptions& options, const DigestCollection& found,
                  std::string& error) {
    if (!found.unreadable.empty()) {
        error =
            "cannot read the file of " + NameList(found.unreadable) + " in " + options.releaseDir;
        return false;
    }
    if (!found.missing.empty() && !options.allowMissing) {
        error = "missing module file for " + NameList(found.missing) + " in " + options.releaseDir +
                "\n(each module is looked for under its remote name, such as " +
                found.missing.front()->remoteFile +
                "; --allow-missing or --only leave modules out)";
        return false;
    }
    if (found.listed.empty()) {
        error = "no module file found in " + options.releaseDir;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    ReleaseOptions options;
    std::string error;
    if (!ParseReleaseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "release-tool: %s\n%s", error.c_str(), kReleaseUsage);
        return 2;
    }
    if (options.help) {
        std::printf("%s", kReleaseUsage);
        return 0;
    }

    const DigestCollection found =
        CollectDigests(options.releaseDir, SelectModules(options.onlyModules));
    if (!CheckDigests(options, found, error))
        return Fail(error);

    ChangeLogText log;
    if (!options.changeLogFile.empty()) {
        std::string input;
        if (!ReadWholeFile(options.changeLogFile, input))
            return Fail("cannot read " + options.changeLogFile);
        log = MakeChangeLog(input, options.changeLogEncoding);
        if (!log.ok)
            return Fail(options.changeLogFile + ": " + log.error);
    }

    const std::string listPath = JoinPath(options.outputDir, "ModelMD5.dll");
    if (!WriteWholeFile(listPath, FormatDigestList(found.listed)))
        return Fail("cannot write " + listPath);
    for (const ModuleDigest& entry : found.listed)
        std::printf("%-8s %-12s %12" PRId64 "  %s\n", entry.module->name, entry.module->remoteFile,
                    entry.size, entry.digest.c_str());
    std::printf("wrote %s: %zu modules\n", listPath.c_str(), found.listed.size());
    if (!found.missing.empty())
        std::printf("left out (no file): %s\n", NameList(found.missing).c_str());

    if (!options.changeLogFile.empty()) {
        const std::string logPath = JoinPath(options.outputDir, "UpdateContent.dll");
        if (!WriteWholeFile(logPath, log.text))
            return Fail("cannot write " + logPath);
        std::printf("wrote %s: %d lines, %zu bytes, %s\n", logPath.c_str(), log.lines,
                    log.text.size(),
                    options.changeLogEncoding == ChangeLogEncoding::Utf8
                        ? "converted from UTF-8 to code page 936"
                        : "code page 936 as given");
    }
    return 0;
}
