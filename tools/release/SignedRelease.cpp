#include "SignedRelease.h"

#include "FileIo.h"
#include "ReleaseCrypto.h"

uint64_t PublishedSerial(const std::string& existing) {
    SignedList list;
    std::string ignored;
    if (ParseSignedList(existing, list, ignored))
        return list.serial;
    // An earlier list that no longer parses (edited by hand, say) still tells
    // which serial clients may have accepted.
    const std::size_t release = existing.find("[Release]");
    const std::size_t key = existing.find("\nSerial=", release == std::string::npos ? 0 : release);
    if (release == std::string::npos || key == std::string::npos)
        return 0;
    uint64_t serial = 0;
    for (std::size_t i = key + 8; i < existing.size() && existing[i] >= '0' && existing[i] <= '9';
         ++i)
        serial = serial * 10 + static_cast<uint64_t>(existing[i] - '0');
    return serial;
}

bool MakeSignedList(const std::vector<ModuleDigest>& modules, const SigningInput& input,
                    std::string& list, std::string& error) {
    std::vector<ListedModule> listed;
    std::vector<ReleaseFile> files;
    for (const ModuleDigest& entry : modules) {
        std::string bytes;
        if (!ReadWholeFile(entry.path, bytes))
            return error = "cannot read " + entry.path, false;
        listed.push_back(ListedModule{entry.module->name, entry.digest});
        files.push_back(
            ReleaseFile{entry.module->name, static_cast<int64_t>(bytes.size()), Sha256Hex(bytes)});
    }
    if (input.hasChangeLog)
        files.push_back(ReleaseFile{std::string(kChangeLogFileName),
                                    static_cast<int64_t>(input.changeLog.size()),
                                    Sha256Hex(input.changeLog)});
    const std::string body = FormatSignedBody(listed, files, input.serial, input.expires);
    RawSignature signature;
    PublicKey signer;
    if (!SignBytes(input.privateKeyFile, body, signature, signer, error))
        return false;
    if (!VerifyBytes(signer, body, signature))
        return error = "the new signature does not verify", false;
    list = body + FormatSignatureSection(signature);
    return true;
}
