#include "ReleaseOptions.h"

#include "engine/ModuleTable.h"

#include <cerrno>
#include <cstdlib>

const char* const kReleaseUsage =
    "usage: release-tool [options] RELEASE_DIR\n"
    "       release-tool keygen PRIVATE_KEY_FILE PUBLIC_KEY_FILE\n"
    "       release-tool set-key UPDATER_EXE PUBLIC_KEY_FILE [SECOND_PUBLIC_KEY_FILE]\n"
    "       release-tool show-key UPDATER_EXE\n"
    "       release-tool verify BASE_URL_OR_DIR --public-key PUBLIC_KEY_FILE\n"
    "Writes ModelMD5.dll (the keyed digest of every module file in RELEASE_DIR, found\n"
    "under its remote name) and, with --changelog, UpdateContent.dll.\n"
    "  --key FILE                sign the list with this private key (every module\n"
    "                            must be there)\n"
    "  --serial N                the signed list's serial (default: one more than\n"
    "                            the list in RELEASE_DIR, or 1)\n"
    "  --expires-days D          the signed list expires in D days (default 90)\n"
    "  --output DIR              write the files into DIR (default: RELEASE_DIR)\n"
    "  --allow-missing           leave out modules whose file is missing\n"
    "  --only NAME[,NAME...]     list only these modules\n"
    "  --changelog FILE          write UpdateContent.dll from the text in FILE\n"
    "  --changelog-encoding ENC  utf-8 (default: converted to code page 936) or\n"
    "                            gbk (FILE is code page 936 already)\n"
    "  --help                    show this text\n";

namespace {

std::vector<std::string> SplitNames(const std::string& list) {
    std::vector<std::string> names;
    std::string::size_type start = 0;
    while (start <= list.size()) {
        const std::string::size_type comma = list.find(',', start);
        const std::string::size_type end = comma == std::string::npos ? list.size() : comma;
        if (end > start)
            names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool ParseNumber(const std::string& option, const std::string& text, ReleaseOptions& options,
                 std::string& error) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    const bool serial = option == "--serial";
    if (text.empty() || *end != '\0' || errno != 0 || (serial && value < 1) ||
        (!serial && (value < -36500 || value > 36500))) {
        error = option + " needs " + (serial ? "a number from 1" : "a number of days");
        return false;
    }
    if (serial)
        options.serial = static_cast<uint64_t>(value);
    else
        options.expiresDays = value;
    return true;
}

} // namespace

bool ParseReleaseOptions(const std::vector<std::string>& args, ReleaseOptions& options,
                         std::string& error) {
    options = ReleaseOptions();
    std::vector<std::string> folders;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            const std::string::size_type equals = arg.find('=');
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg.resize(equals);
                hasValue = true;
            }
        }
        auto takeValue = [&]() {
            if (hasValue)
                return true;
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };

        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--allow-missing") {
            options.allowMissing = true;
        } else if (arg == "--output") {
            if (!takeValue())
                return false;
            options.outputDir = value;
        } else if (arg == "--only") {
            if (!takeValue())
                return false;
            for (const std::string& name : SplitNames(value)) {
                if (!FindModule(name)) {
                    error = "unknown module \"" + name + "\" in --only";
                    return false;
                }
                options.onlyModules.push_back(name);
            }
            if (options.onlyModules.empty()) {
                error = "--only needs at least one module name";
                return false;
            }
        } else if (arg == "--key") {
            if (!takeValue())
                return false;
            options.privateKeyFile = value;
        } else if (arg == "--serial" || arg == "--expires-days") {
            if (!takeValue() || !ParseNumber(arg, value, options, error))
                return false;
        } else if (arg == "--changelog") {
            if (!takeValue())
                return false;
            options.changeLogFile = value;
        } else if (arg == "--changelog-encoding") {
            if (!takeValue())
                return false;
            if (value == "utf-8" || value == "utf8") {
                options.changeLogEncoding = ChangeLogEncoding::Utf8;
            } else if (value == "gbk" || value == "cp936") {
                options.changeLogEncoding = ChangeLogEncoding::Gbk;
            } else {
                error = "unknown change log encoding \"" + value + "\" (utf-8 or gbk)";
                return false;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            folders.push_back(args[i]);
        }
    }
    if (options.help)
        return true;
    if (folders.size() != 1) {
        error = folders.empty() ? "no release folder given" : "more than one release folder given";
        return false;
    }
    options.releaseDir = folders[0];
    if (options.outputDir.empty())
        options.outputDir = options.releaseDir;
    return true;
}
