// Reads the release tool's output back the way the updater does, for the
// end-to-end test:
//   ReadBack digests LIST FOLDER   one line per module: name, the value read from
//                                  section "ModuleVersion" of LIST (or "-" when
//                                  absent), the digest of FOLDER\remote file (or "-")
//   ReadBack changelog FILE        the file's lines as the updater reads them,
//                                  each followed by CR LF, from the ANSI code page
//                                  to UTF-8, in hexadecimal
//   ReadBack verify LIST KEY       parses the signed list LIST and checks its
//                                  signature with the PEM public key KEY through
//                                  CNG: "holds" (exit 0) or "fails" (exit 3)
//   ReadBack sha256 FILE           the file's SHA-256 through CNG
//   ReadBack keys                  the keys in this program's own key area
#include "engine/Digest.h"
#include "engine/ListSignature.h"
#include "engine/ModuleTable.h"
#include "engine/Sha256.h"
#include "framework/StdioFile.h"
#include "tools/release/FileIo.h"
#include "tools/release/KeyFiles.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string FullPath(const char* path) {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full, length) : std::string(path);
}

int Digests(const char* list, const char* folder) {
    const std::string listPath = FullPath(list);
    for (const ModuleRow& row : kModuleTable) {
        char value[260];
        GetPrivateProfileStringA("ModuleVersion", row.name, "", value, sizeof value,
                                 listPath.c_str());
        const std::string digest =
            ComputeFileDigest((std::string(folder) + "\\" + row.remoteFile).c_str(), kDigestKey);
        std::printf("%s %s %s\n", row.name, value[0] ? value : "-",
                    digest.empty() ? "-" : digest.c_str());
    }
    return 0;
}

int ChangeLog(const char* file) {
    CStdioFile log;
    if (!log.Open(file))
        return 1;
    std::string text;
    CString line;
    while (log.ReadString(line)) {
        text += line;
        text += "\r\n";
    }
    const std::wstring wide = WidenAnsi(text);
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                        nullptr, nullptr);
    for (unsigned char c : utf8)
        std::printf("%02x", c);
    std::printf("\n");
    return 0;
}

int Verify(const char* listPath, const char* keyPath) {
    std::string list, pem, error;
    SignedList parsed;
    PublicKey key;
    if (!ReadWholeFile(listPath, list) || !ReadWholeFile(keyPath, pem) ||
        !ReadPublicKeyPem(pem, key, error) || !ParseSignedList(list, parsed, error)) {
        std::printf("unreadable %s\n", error.c_str());
        return 4;
    }
    const bool holds = SignedByAnyOf(parsed, {key});
    std::printf("%s serial %llu\n", holds ? "holds" : "fails",
                static_cast<unsigned long long>(parsed.serial));
    return holds ? 0 : 3;
}

int Sha256(const char* path) {
    long long size = 0;
    const std::string hex = Sha256OfFile(path, size);
    std::printf("%s %lld\n", hex.empty() ? "-" : hex.c_str(), size);
    return hex.empty() ? 1 : 0;
}

int Keys() {
    for (const PublicKey& key : LoadPublisherKeys())
        std::printf("%s\n", ToHex(key.data(), key.size()).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "digests") == 0)
        return Digests(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "changelog") == 0)
        return ChangeLog(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "verify") == 0)
        return Verify(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "sha256") == 0)
        return Sha256(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "keys") == 0)
        return Keys();
    std::fprintf(stderr, "usage: ReadBack digests LIST FOLDER | changelog FILE | verify LIST KEY"
                         " | sha256 FILE | keys\n");
    return 2;
}
