// release-tool: writes a release's digest list "ModelMD5.dll" and, when given a
// text, its change log "UpdateContent.dll", for the update server. See
// kReleaseUsage for the command line. Everything is checked before anything is
// written, so a refusal leaves the output folder as it was.
#include "ChangeLogText.h"
#include "DigestList.h"
#include "FileIo.h"
#include "KeyCommands.h"
#include "ReleaseOptions.h"
#include "SignedRelease.h"
#include "engine/SignedList.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
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

// A signed list must name every module: a client could not tell a module left
// out from one that is up to date.
bool CheckSignable(const ReleaseOptions& options, const DigestCollection& found,
                   std::string& error) {
    if (options.privateKeyFile.empty())
        return true;
    if (!options.onlyModules.empty() || !found.missing.empty()) {
        error = "a signed list must name every module" +
                (found.missing.empty() ? std::string(" (no --only with --key)")
                                       : "; missing: " + NameList(found.missing));
        return false;
    }
    return true;
}

bool SignList(const ReleaseOptions& options, const DigestCollection& found,
              const ChangeLogText& log, std::string& list, std::string& error) {
    SigningInput input;
    input.privateKeyFile = options.privateKeyFile;
    std::string published;
    input.serial = options.serial;
    if (input.serial == 0)
        input.serial = ReadWholeFile(JoinPath(options.outputDir, "ModelMD5.dll"), published)
                           ? PublishedSerial(published) + 1
                           : 1;
    input.expires = static_cast<int64_t>(std::time(nullptr)) + options.expiresDays * 86400;
    if (!options.changeLogFile.empty()) {
        input.changeLog = log.text;
        input.hasChangeLog = true;
    } else {
        // A change log published before is still served: the list vouches for it.
        input.hasChangeLog =
            ReadWholeFile(JoinPath(options.outputDir, "UpdateContent.dll"), input.changeLog);
    }
    if (!MakeSignedList(found.listed, input, list, error))
        return false;
    std::printf("signed: serial %" PRIu64 ", expires %s%s\n", input.serial,
                FormatUtcTime(input.expires).c_str(),
                input.hasChangeLog ? ", with the change log" : "");
    return true;
}

bool WriteChangeLog(const ReleaseOptions& options, const ChangeLogText& log) {
    const std::string logPath = JoinPath(options.outputDir, "UpdateContent.dll");
    if (!WriteWholeFile(logPath, log.text)) {
        Fail("cannot write " + logPath);
        return false;
    }
    std::printf("wrote %s: %d lines, %zu bytes, %s\n", logPath.c_str(), log.lines, log.text.size(),
                options.changeLogEncoding == ChangeLogEncoding::Utf8
                    ? "converted from UTF-8 to code page 936"
                    : "code page 936 as given");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && IsKeyCommand(argv[1]))
        return RunKeyCommand(std::vector<std::string>(argv + 1, argv + argc));
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
    if (!CheckDigests(options, found, error) || !CheckSignable(options, found, error))
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

    std::string list = FormatDigestList(found.listed);
    if (!options.privateKeyFile.empty() && !SignList(options, found, log, list, error))
        return Fail(error);
    // The change log goes first: a client that sees the new list finds the
    // change log it names.
    if (!options.changeLogFile.empty() && !WriteChangeLog(options, log))
        return 1;
    const std::string listPath = JoinPath(options.outputDir, "ModelMD5.dll");
    if (!WriteWholeFile(listPath, list))
        return Fail("cannot write " + listPath);
    for (const ModuleDigest& entry : found.listed)
        std::printf("%-8s %-12s %12" PRId64 "  %s\n", entry.module->name, entry.module->remoteFile,
                    entry.size, entry.digest.c_str());
    std::printf("wrote %s: %zu modules\n", listPath.c_str(), found.listed.size());
    if (!found.missing.empty())
        std::printf("left out (no file): %s\n", NameList(found.missing).c_str());

    return 0;
}
