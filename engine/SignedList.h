// The signed digest list: "ModelMD5.dll" with three more sections after
// "ModuleVersion" that older readers ignore. Free of windows.h so the native
// release tool reads and writes lists with the same code.
//
//   [ModuleVersion]      <module>=<keyed digest>
//   [ReleaseFiles]       <module>=<size>,<sha256>  (and UpdateContent.dll)
//   [Release]            Serial=<1..2^63-1>, Expires=<YYYY-MM-DDTHH:MM:SSZ>
//   [Signature]          P256=<r||s, 128 lower-case hexadecimal digits>
//
// The signature covers every byte before the "[" of "[Signature]". The parser
// is strict, so that no other reader of the same bytes (the profile functions
// the version check uses) can see values the signature did not cover.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr std::string_view kChangeLogFileName = "UpdateContent.dll";
constexpr int64_t kClockSkewSeconds = 24 * 60 * 60;

using RawSignature = std::array<unsigned char, 64>;

struct ListedModule {
    std::string name;
    std::string digest; // keyed digest, 32 lower-case hexadecimal digits
};

struct ReleaseFile {
    std::string name; // a module name, or "UpdateContent.dll"
    int64_t size = 0;
    std::string sha256; // 64 lower-case hexadecimal digits
};

struct SignedList {
    std::vector<ListedModule> modules;
    std::vector<ReleaseFile> files;
    uint64_t serial = 0;
    int64_t expires = 0;     // seconds since 1970-01-01 UTC
    std::string signedBytes; // everything the signature covers
    RawSignature signature{};

    const ReleaseFile* FindFile(std::string_view name) const;
};

// Reads `bytes` as a signed list. False with a reason in `error` for anything
// that is not exactly the form above: other or repeated sections, repeated keys
// (in any letter case), unknown keys, malformed values, line ends other than
// CR LF, a module of "ModuleVersion" without its "ReleaseFiles" line, or
// anything after the signature's line.
bool ParseSignedList(std::string_view bytes, SignedList& list, std::string& error);

enum class ListAge { Current, Expired, Rollback };

// Whether a list whose signature holds may be used at `now` (seconds since
// 1970 UTC) by a program folder that has accepted `acceptedSerial` before.
ListAge CheckListAge(const SignedList& list, int64_t now, uint64_t acceptedSerial);

// The text before the signature: the three sections, CR LF line ends.
std::string FormatSignedBody(const std::vector<ListedModule>& modules,
                             const std::vector<ReleaseFile>& files, uint64_t serial,
                             int64_t expires);

// The signature's section for `body`'s signature.
std::string FormatSignatureSection(const RawSignature& signature);

// "YYYY-MM-DDTHH:MM:SSZ" and back; ParseUtcTime is false for anything else or
// an impossible date.
std::string FormatUtcTime(int64_t seconds);
bool ParseUtcTime(std::string_view text, int64_t& seconds);

std::string ToHex(const unsigned char* bytes, std::size_t size);
// Lower-case hexadecimal only; false for any other character or length.
bool FromHex(std::string_view hex, unsigned char* bytes, std::size_t size);
