// The Windows release tool's cryptography through CNG. Checking works as
// natively; making keys and signing are left to the native tool for now.
#include "ReleaseCrypto.h"

#include "engine/ListSignature.h"
#include "engine/Sha256.h"

bool GenerateKeyFiles(const std::string&, const std::string&, std::string& error) {
    error = "this build cannot make keys yet; use the native release-tool";
    return false;
}

bool SignBytes(const std::string&, const std::string&, RawSignature&, PublicKey&,
               std::string& error) {
    error = "this build cannot sign yet; use the native release-tool";
    return false;
}

bool VerifyBytes(const PublicKey& key, const std::string& bytes, const RawSignature& signature) {
    return SignatureHolds(bytes, signature, key);
}

std::string Sha256Hex(const std::string& bytes) {
    Sha256Value value;
    return Sha256Of(bytes.data(), bytes.size(), value) ? ToHex(value.data(), value.size())
                                                       : std::string();
}
