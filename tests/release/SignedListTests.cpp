#include "engine/SignedList.h"
#include "engine/ModuleTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kDigest(32, 'a');
const std::string kSha(64, 'b');
const std::string kSignature = "[Signature]\r\nP256=" + std::string(128, 'c') + "\r\n";

// A well-formed list of two modules, with `replace` applied to its body.
std::string Body(const std::string& from = "", const std::string& to = "") {
    std::string body = "[ModuleVersion]\r\nQuorvel=" + kDigest + "\r\nNirvek=" + kDigest +
                       "\r\n[ReleaseFiles]\r\nQuorvel=10," + kSha + "\r\nNirvek=0," + kSha +
                       "\r\nUpdateContent.dll=5," + kSha +
                       "\r\n[Release]\r\nSerial=7\r\nExpires=2027-02-28T23:59:59Z\r\n";
    if (!from.empty())
        body.replace(body.find(from), from.size(), to);
    return body;
}

bool Parses(const std::string& bytes) {
    SignedList list;
    std::string error;
    return ParseSignedList(bytes, list, error);
}

} // namespace

TEST(SignedList, ReadsEveryValueAndSignsExactlyTheBytesBeforeTheSignature) {
    SignedList list;
    std::string error;
    ASSERT_TRUE(ParseSignedList(Body() + kSignature, list, error)) << error;
    EXPECT_EQ(list.signedBytes, Body());
    ASSERT_EQ(list.modules.size(), 2u);
    EXPECT_EQ(list.modules[1].name, "Nirvek");
    ASSERT_NE(list.FindFile("Quorvel"), nullptr);
    EXPECT_EQ(list.FindFile("Quorvel")->size, 10);
    EXPECT_EQ(list.FindFile("UpdateContent.dll")->sha256, kSha);
    EXPECT_EQ(list.serial, 7u);
    EXPECT_EQ(FormatUtcTime(list.expires), "2027-02-28T23:59:59Z");
    EXPECT_EQ(list.signature[0], 0xcc);
}

TEST(SignedList, RefusesEverythingAnotherReaderCouldSeeDifferently) {
    const std::string cases[][2] = {
        {"Nirvek=" + kDigest, "NIRVEK=" + kDigest},    // the same key twice, in another case
        {"Nirvek=0," + kSha + "\r\n", ""},             // a module without size and SHA-256
        {"[Release]", "[Extra]\r\nA=1\r\n[Release]"},  // a section of its own
        {"[ReleaseFiles]", "[releasefiles]"},          // a section name in another case
        {"Quorvel=" + kDigest, "Quorvel =" + kDigest}, // space around the key
        {"Quorvel=" + kDigest + "\r\n", "Quorvel=" + kDigest + "\n"}, // a bare LF
        {"Serial=7", "Serial=07"},                                    // a second spelling
        {"Serial=7", "Serial=9223372036854775808"},                   // beyond 2^63-1
        {"Serial=7", "Serial=0"},
        {"2027-02-28", "2027-02-29"}, // no such day
        {"Quorvel=10,", "Quorvel=-1,"},
        {"Quorvel=" + kDigest, "Quorvel=" + std::string(32, 'A')}, // upper-case digest
        {"Quorvel=" + kDigest, "Unknown=" + kDigest},
        {"[ModuleVersion]", "; note\r\n[ModuleVersion]"}, // a line before the first section
    };
    for (const auto& change : cases)
        EXPECT_FALSE(Parses(Body(change[0], change[1]) + kSignature)) << change[1];
    EXPECT_FALSE(Parses(Body()));                                // no signature
    EXPECT_FALSE(Parses(Body() + kSignature + "[Release]\r\n")); // a section after it
    EXPECT_FALSE(Parses(Body() + kSignature + "X=1\r\n"));       // a second key in it
    EXPECT_FALSE(Parses(Body() + kSignature.substr(0, kSignature.size() - 2))); // no CR LF
    EXPECT_FALSE(Parses(Body() + kSignature + kSignature));
    EXPECT_FALSE(Parses(Body() + "[Signature]\r\nP256=" + std::string(127, 'c') + "\r\n"));
}

TEST(SignedList, AgeAllowsTheClockSkewAndRefusesALowerSerial) {
    SignedList list;
    std::string error;
    ASSERT_TRUE(ParseSignedList(Body() + kSignature, list, error)) << error;
    EXPECT_EQ(CheckListAge(list, list.expires + kClockSkewSeconds, 7), ListAge::Current);
    EXPECT_EQ(CheckListAge(list, list.expires + kClockSkewSeconds + 1, 0), ListAge::Expired);
    EXPECT_EQ(CheckListAge(list, list.expires, 8), ListAge::Rollback);
    int64_t seconds = 0;
    ASSERT_TRUE(ParseUtcTime("2024-02-29T12:00:00Z", seconds));
    EXPECT_EQ(seconds, 1709208000);
    EXPECT_EQ(FormatUtcTime(seconds), "2024-02-29T12:00:00Z");
}
