// Times the checks an updater with a publisher's key adds, inside one process:
//
//   TrustBench verify LIST KEY_HEX RUNS
//     Reads, parses and checks the signed list at LIST against the public key
//     (X||Y, 128 hexadecimal digits) RUNS times, as the updater accepts a list;
//     then times the signature check alone as often. Prints "accept MS" and
//     "signature MS", the medians of each.
//
//   TrustBench sha256 FILE...
//     The SHA-256 of every file, one after another, as the updater checks the
//     staged modules; prints "total MS" and each file's hash.
//
//   TrustBench read FILE...
//     Reads every file as the hashing above does, without hashing: what
//     hashing each module while it is received would save. Prints "total MS".
#include "engine/FileBytes.h"
#include "engine/ListSignature.h"
#include "engine/ReleaseTrust.h"
#include "engine/Sha256.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Verify(const char* listPath, const char* keyHex, int runs) {
    PublicKey key{};
    if (!FromHex(keyHex, key.data(), key.size())) {
        std::fprintf(stderr, "not a key: %s\n", keyHex);
        return 2;
    }
    const std::vector<PublicKey> keys{key};
    std::vector<double> accept, signature;
    SignedList list;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        // An empty program folder path: no serial has been accepted there.
        if (!AcceptSignedList(listPath, "Z:\\nonexistent\\", keys, list)) {
            std::fprintf(stderr, "the list was not accepted\n");
            return 1;
        }
        accept.push_back(MsSince(start));
    }
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        if (!SignatureHolds(list.signedBytes, list.signature, key))
            return 1;
        signature.push_back(MsSince(start));
    }
    std::printf("accept %.4f\nsignature %.4f\n", Median(accept), Median(signature));
    return 0;
}

int HashEach(int count, char** paths) {
    std::vector<std::string> hashes;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        hashes.push_back(FileSha256Hex(paths[i]));
        if (hashes.back().empty()) {
            std::fprintf(stderr, "cannot hash %s\n", paths[i]);
            return 1;
        }
    }
    std::printf("total %.2f\n", MsSince(start));
    for (const std::string& hash : hashes)
        std::printf("hash %s\n", hash.c_str());
    return 0;
}

// Reads the file in the pieces Sha256OfFile uses; false when it cannot.
bool ReadThrough(const char* path) {
    FileBytes file;
    if (!file.Open(path))
        return false;
    std::vector<unsigned char> buffer(1 << 16);
    for (std::size_t offset = 0; offset < file.Size(); offset += buffer.size())
        if (!file.Read(offset, buffer.data(), std::min(buffer.size(), file.Size() - offset)))
            return false;
    return true;
}

int ReadEach(int count, char** paths) {
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        if (!ReadThrough(paths[i])) {
            std::fprintf(stderr, "cannot read %s\n", paths[i]);
            return 1;
        }
    std::printf("total %.2f\n", MsSince(start));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "verify" && argc == 5)
        return Verify(argv[2], argv[3], std::max(1, std::atoi(argv[4])));
    if (command == "sha256" && argc > 2)
        return HashEach(argc - 2, argv + 2);
    if (command == "read" && argc > 2)
        return ReadEach(argc - 2, argv + 2);
    std::fprintf(stderr,
                 "usage: TrustBench verify LIST KEY_HEX RUNS | sha256 FILE... | read FILE...\n");
    return 2;
}
