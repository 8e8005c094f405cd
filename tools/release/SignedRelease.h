// The signed form of the digest list, made from the collected module files.
#pragma once

#include "DigestList.h"

#include <optional>
#include <string>

struct SigningInput {
    std::string privateKeyFile;
    uint64_t serial = 0;   // 0: one more than the list already there, or 1
    int64_t expires = 0;   // seconds since 1970 UTC
    std::string changeLog; // the change log's bytes when one is published
    bool hasChangeLog = false;
};

// The serial of the list already published (`existing` is its text): the
// value of "Serial=" in its "[Release]" section, or 0 when there is none.
uint64_t PublishedSerial(const std::string& existing);

// The whole list: the keyed digests, sizes and SHA-256 of every module (and of
// the change log when there is one), the release lines and the signature.
// False with a reason when a file cannot be read or the key cannot sign.
bool MakeSignedList(const std::vector<ModuleDigest>& modules, const SigningInput& input,
                    std::string& list, std::string& error);
