#include "KeyCommands.h"

#include "FileIo.h"
#include "KeyFiles.h"
#include "ReleaseCrypto.h"
#include "ReleaseVerify.h"

#include <algorithm>
#include <cstdio>

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "release-tool: %s\n", message.c_str());
    return 1;
}

int Usage(const std::string& usage) {
    std::fprintf(stderr, "usage: release-tool %s\n", usage.c_str());
    return 2;
}

bool LoadPublicKey(const std::string& path, PublicKey& key, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text))
        return error = "cannot read " + path, false;
    if (!ReadPublicKeyPem(text, key, error))
        return error = path + ": " + error, false;
    return true;
}

int Keygen(const std::vector<std::string>& args) {
    if (args.size() != 3)
        return Usage("keygen PRIVATE_KEY_FILE PUBLIC_KEY_FILE");
    std::string error;
    if (!GenerateKeyFiles(args[1], args[2], error))
        return Fail(error);
    std::printf("wrote %s (keep it secret) and %s\n", args[1].c_str(), args[2].c_str());
    return 0;
}

int SetKey(const std::vector<std::string>& args) {
    if (args.size() != 3 && args.size() != 4)
        return Usage("set-key UPDATER_EXE PUBLIC_KEY_FILE [SECOND_PUBLIC_KEY_FILE]");
    std::vector<PublicKey> keys(args.size() - 2);
    std::string image, error;
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (!LoadPublicKey(args[2 + i], keys[i], error))
            return Fail(error);
    if (!ReadWholeFile(args[1], image))
        return Fail("cannot read " + args[1]);
    if (!SetKeysInImage(image, keys, error))
        return Fail(args[1] + ": " + error);
    if (!WriteWholeFile(args[1], image))
        return Fail("cannot write " + args[1]);
    std::printf("%s now trusts %zu key(s); sign the program only after this\n", args[1].c_str(),
                keys.size());
    return 0;
}

int ShowKey(const std::vector<std::string>& args) {
    if (args.size() != 2)
        return Usage("show-key UPDATER_EXE");
    std::string image, error;
    std::vector<PublicKey> slots;
    if (!ReadWholeFile(args[1], image))
        return Fail("cannot read " + args[1]);
    if (!ReadKeysInImage(image, slots, error))
        return Fail(args[1] + ": " + error);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const bool empty =
            std::all_of(slots[i].begin(), slots[i].end(), [](unsigned char b) { return b == 0; });
        std::printf("key %zu: %s\n", i + 1,
                    empty ? "(empty)" : ToHex(slots[i].data(), slots[i].size()).c_str());
    }
    return 0;
}

int Verify(const std::vector<std::string>& args) {
    std::string source, keyFile, error;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--public-key" && i + 1 < args.size())
            keyFile = args[++i];
        else if (source.empty() && args[i].rfind("--", 0) != 0)
            source = args[i];
        else
            return Usage("verify BASE_URL_OR_DIR --public-key PUBLIC_KEY_FILE");
    }
    PublicKey key;
    if (source.empty() || keyFile.empty())
        return Usage("verify BASE_URL_OR_DIR --public-key PUBLIC_KEY_FILE");
    if (!LoadPublicKey(keyFile, key, error))
        return Fail(error);
    return VerifyRelease(source, key) ? 0 : 1;
}

} // namespace

bool IsKeyCommand(const std::string& word) {
    return word == "keygen" || word == "set-key" || word == "show-key" || word == "verify";
}

int RunKeyCommand(const std::vector<std::string>& args) {
    if (args[0] == "keygen")
        return Keygen(args);
    if (args[0] == "set-key")
        return SetKey(args);
    if (args[0] == "show-key")
        return ShowKey(args);
    return Verify(args);
}
