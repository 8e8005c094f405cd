#include "ReleaseCrypto.h"

#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

struct Closer {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
    void operator()(std::FILE* file) const { std::fclose(file); }
};
template <class T> using Owned = std::unique_ptr<T, Closer>;

// Creates `path` for writing; fails when something is already there.
Owned<std::FILE> CreateNew(const std::string& path) {
    return Owned<std::FILE>(std::fopen(path.c_str(), "wx"));
}

bool PublicPoint(EVP_PKEY* key, PublicKey& point) {
    unsigned char encoded[65];
    std::size_t size = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, encoded,
                                        sizeof encoded, &size) != 1 ||
        size != 65 || encoded[0] != 4)
        return false;
    std::copy(encoded + 1, encoded + 65, point.begin());
    return true;
}

bool IsP256(EVP_PKEY* key) {
    char curve[64] = {};
    return EVP_PKEY_get_group_name(key, curve, sizeof curve, nullptr) == 1 &&
           std::string(curve) == "prime256v1";
}

Owned<EVP_PKEY> KeyFromPoint(const PublicKey& point) {
    unsigned char encoded[65] = {4};
    std::copy(point.begin(), point.end(), encoded + 1);
    EVP_PKEY* made = nullptr;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME,
                                         const_cast<char*>("prime256v1"), 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, encoded, sizeof encoded),
        OSSL_PARAM_construct_end()};
    if (context && EVP_PKEY_fromdata_init(context) == 1)
        EVP_PKEY_fromdata(context, &made, EVP_PKEY_PUBLIC_KEY, params);
    EVP_PKEY_CTX_free(context);
    return Owned<EVP_PKEY>(made);
}

} // namespace

bool GenerateKeyFiles(const std::string& privatePath, const std::string& publicPath,
                      std::string& error) {
    Owned<EVP_PKEY> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!key)
        return error = "cannot make a key", false;
    for (const std::string& path : {privatePath, publicPath})
        if (Owned<std::FILE>(std::fopen(path.c_str(), "rb")))
            return error = path + " exists already; keygen never replaces a key", false;
    Owned<std::FILE> privateFile = CreateNew(privatePath);
    if (!privateFile)
        return error = "cannot create " + privatePath + " (it must not exist yet)", false;
    Owned<std::FILE> publicFile = CreateNew(publicPath);
    if (!publicFile)
        return error = "cannot create " + publicPath + " (it must not exist yet)", false;
    if (PEM_write_PrivateKey(privateFile.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        PEM_write_PUBKEY(publicFile.get(), key.get()) != 1)
        return error = "cannot write the key files", false;
    return true;
}

bool SignBytes(const std::string& privatePath, const std::string& bytes, RawSignature& signature,
               PublicKey& publicKey, std::string& error) {
    Owned<std::FILE> file(std::fopen(privatePath.c_str(), "rb"));
    if (!file)
        return error = "cannot read " + privatePath, false;
    Owned<EVP_PKEY> key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr));
    if (!key || !IsP256(key.get()) || !PublicPoint(key.get(), publicKey))
        return error = privatePath + " is not a P-256 private key in PEM", false;
    Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    unsigned char der[80];
    std::size_t derSize = sizeof der;
    if (!context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), der, &derSize,
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1)
        return error = "signing failed", false;
    const unsigned char* cursor = der;
    Owned<ECDSA_SIG> parsed(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(derSize)));
    if (!parsed || BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), signature.data(), 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), signature.data() + 32, 32) != 32)
        return error = "signing gave an unexpected signature", false;
    return true;
}

bool VerifyBytes(const PublicKey& point, const std::string& bytes, const RawSignature& signature) {
    Owned<EVP_PKEY> key = KeyFromPoint(point);
    Owned<ECDSA_SIG> parsed(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (!key || !parsed || !r || !s || ECDSA_SIG_set0(parsed.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    const int derSize = i2d_ECDSA_SIG(parsed.get(), &der);
    Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    const bool holds =
        derSize > 0 && context &&
        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
        EVP_DigestVerify(context.get(), der, static_cast<std::size_t>(derSize),
                         reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == 1;
    OPENSSL_free(der);
    return holds;
}

std::string Sha256Hex(const std::string& bytes) {
    unsigned char hash[32];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), hash, &size, EVP_sha256(), nullptr) != 1)
        return {};
    return ToHex(hash, size);
}
