#include "engine/Digest.h"
#include "engine/FileBytes.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// The algorithm written out step by step, as plainly as possible, to check the
// fast code against: signed 32-bit sums, C++'s truncating remainder, the low 8
// bits of each remainder kept, the step 6 write last.
std::string ReferenceDigest(const Bytes& data, const std::string& key) {
    if (key.empty())
        return "";
    const int32_t n = static_cast<int32_t>(data.size());
    const int32_t keyLength = static_cast<int32_t>(key.size());
    unsigned char s[16] = {};
    for (int32_t i = 0; i < n; ++i) {
        int32_t b = data[i];
        int32_t k = static_cast<signed char>(key[(b + 16) % keyLength]);
        int32_t j = b % 16;
        unsigned char t = static_cast<unsigned char>((s[j] + b + k + n) % 255);
        s[i % 16] = t;
        s[j] = static_cast<unsigned char>((t + b + k + n) % 255);
    }
    for (int32_t p = n; p >= 1; --p) {
        int32_t b = data[p - 1];
        int32_t k = static_cast<signed char>(key[(b + 17) % keyLength]);
        int32_t q = p % 16;
        int32_t j = (b + q) % 16;
        unsigned char t = static_cast<unsigned char>((s[j] + b + k + n) % 255);
        s[q] = t;
        s[j] = static_cast<unsigned char>((t + b + k + n) % 255);
    }
    std::string text;
    char hex[3];
    for (unsigned char v : s) {
        std::snprintf(hex, sizeof hex, "%02x", v);
        text += hex;
    }
    return text;
}

std::string Digest(const Bytes& data, const std::string& key) {
    return ComputeDigest(data.data(), data.size(), key.c_str());
}

Bytes RandomBytes(std::size_t size, std::mt19937& random) {
    Bytes data(size);
    for (unsigned char& byte : data)
        byte = static_cast<unsigned char>(random());
    return data;
}

const std::string kZeros(32, '0');

// Keys whose bytes of 0x80 and above make k negative, down to -128, so that
// small files get negative sums; and a key longer than any byte index.
std::vector<std::string> TestKeys() {
    std::string high;
    for (int v = 0x80; v <= 0xFF; v += 7)
        high.push_back(static_cast<char>(v));
    std::string longKey;
    for (int i = 0; i < 300; ++i)
        longKey.push_back(static_cast<char>((i * 31 + 5) % 255 + 1)); // no NUL: a C string
    return {kDigestKey, "\x80", "\xFF", "\x80\xFE\x01", high, "a", longKey};
}

} // namespace

// Worked by hand: one byte 0x41, n = 1. Forward: key byte 5 '&' (38), c = 104,
// S[0] = 104, S[1] = 208. Backward: key byte 6 'q' (113), c = 179, q = 1, j = 2,
// S[1] = 179, S[2] = 358 rem 255 = 103.
TEST(DigestVectors, WorkedExampleOneByte) {
    EXPECT_EQ(Digest({0x41}, kDigestKey), "68b367" + std::string(26, '0'));
}

// Worked by hand with a negative sum: byte 0, key "\x80" (k = -128), n = 1, so
// c = -127. Forward: t = -127 rem 255 = -127, stored as 129; S[0] = (129 - 127)
// = 2. Backward: q = 1, j = 1, the same, S[1] = 2.
TEST(DigestVectors, WorkedExampleNegativeRemainder) {
    EXPECT_EQ(Digest({0x00}, "\x80"), "0202" + std::string(28, '0'));
}

// Vectors computed by a separate transcription in another language.
TEST(DigestVectors, IndependentlyComputed) {
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<unsigned char>(i);
    Bytes pattern100, pattern300;
    for (int i = 0; i < 100; ++i)
        pattern100.push_back(static_cast<unsigned char>(i * 37 + 11));
    for (int i = 0; i < 300; ++i)
        pattern300.push_back(static_cast<unsigned char>(i * 7 + 3));
    const std::string hello = "hello, world\r\n";

    EXPECT_EQ(Digest(all, kDigestKey), "dda7acd698f2d80bb3799555748bfde1");
    EXPECT_EQ(Digest(Bytes(20, 0xFF), "\xFF\x80"), "48352c537aa16a91b8df072e557ca3ca");
    EXPECT_EQ(Digest(Bytes(40, 0x00), "\x80"), "20e83888d82878c8181868b80858a8f8");
    EXPECT_EQ(Digest(pattern100, "\x80\xFE\x81\x90\xC3"), "438f9b7aad03ef75b469a8268ed64f6f");
    EXPECT_EQ(Digest(pattern300, "\x80\xFE\x01"), "14f044832200afd87d172cbafa3fb929");
    EXPECT_EQ(Digest(Bytes(hello.begin(), hello.end()), kDigestKey),
              "4270b4865748ab869f5944ba053e4671");
}

TEST(DigestVectors, EmptyInputIsAllZerosForAnyKey) {
    TempFolder folder;
    const std::string empty = folder.Write("empty.dll", {});
    for (const std::string& key : TestKeys()) {
        EXPECT_EQ(ComputeFileDigest(empty.c_str(), key.c_str()), kZeros);
        EXPECT_EQ(Digest({}, key), kZeros);
    }
}

TEST(DigestFailures, MissingFileEmptyKeyAndNullArgumentsGiveEmpty) {
    TempFolder folder;
    const std::string file = folder.Write("a.dll", {1, 2, 3});
    EXPECT_EQ(ComputeFileDigest((folder.path + "absent.dll").c_str(), kDigestKey), "");
    EXPECT_EQ(ComputeFileDigest((folder.path + "no\\such\\dir\\a.dll").c_str(), kDigestKey), "");
    EXPECT_EQ(ComputeFileDigest(file.c_str(), ""), "");
    EXPECT_EQ(ComputeFileDigest(file.c_str(), nullptr), "");
    EXPECT_EQ(ComputeFileDigest(nullptr, kDigestKey), "");
    EXPECT_EQ(ComputeFileDigest("", kDigestKey), "");
    EXPECT_EQ(Digest({1, 2, 3}, ""), "");
    EXPECT_EQ(ComputeDigest(nullptr, 5, kDigestKey), "");
    EXPECT_EQ(ComputeDigest(nullptr, 0, kDigestKey), kZeros);
}

TEST(DigestFailures, FolderAndOverlongLengthGiveEmpty) {
    TempFolder folder;
    CreateDirectoryA((folder.path + "Quorvel.dll").c_str(), nullptr);
    EXPECT_EQ(ComputeFileDigest((folder.path + "Quorvel.dll").c_str(), kDigestKey), "");
    EXPECT_EQ(ComputeFileDigest(folder.path.c_str(), kDigestKey), "");
    // The length takes part as a signed 32-bit value; a longer input has no digest.
    const unsigned char byte = 0;
    EXPECT_EQ(ComputeDigest(&byte, std::size_t{0x80000000u}, kDigestKey), "");
}

TEST(DigestFailures, LockedFileGivesEmpty) {
    TempFolder folder;
    const std::string file = folder.Write("Zentil.dll", {9, 8, 7});
    HANDLE locked = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ComputeFileDigest(file.c_str(), kDigestKey), "");
    CloseHandle(locked);
    EXPECT_EQ(ComputeFileDigest(file.c_str(), kDigestKey), Digest({9, 8, 7}, kDigestKey));
}

// Bytes from memory whose read number `failAt` (from 0) fails, as a read of a
// file on a drive that has gone away does; it notes the longest read.
class FailingSource : public ByteSource {
public:
    FailingSource(const Bytes& data, int failAt) : data(data), failAt(failAt) {}
    bool Read(std::size_t offset, unsigned char* buffer, std::size_t length) override {
        longest = std::max(longest, length);
        if (reads++ == failAt)
            return false;
        std::memcpy(buffer, data.data() + offset, length);
        return true;
    }
    int reads = 0;
    std::size_t longest = 0;

private:
    const Bytes& data;
    int failAt;
};

// A file of three and a half pieces is read forwards, then backwards without
// the last piece again: seven reads of at most 1 MiB. Whichever of them fails,
// the digest is empty.
TEST(DigestFailures, AReadErrorAnywhereGivesEmpty) {
    std::mt19937 random(9);
    const Bytes data = RandomBytes((7u << 19) + 5, random);
    FailingSource whole(data, -1);
    ASSERT_EQ(ComputeDigest(whole, data.size(), kDigestKey), ReferenceDigest(data, kDigestKey));
    EXPECT_EQ(29, whole.reads); // 15 pieces of 256 KiB forwards, 14 more backwards
    EXPECT_LE(whole.longest, std::size_t{1} << 18);
    for (int failAt = 0; failAt < whole.reads; ++failAt) {
        FailingSource failing(data, failAt);
        EXPECT_EQ("", ComputeDigest(failing, data.size(), kDigestKey)) << failAt;
    }
    // A small file with negative sums takes the exact path, read in one piece.
    const Bytes small = RandomBytes(50, random);
    FailingSource smallFailing(small, 0);
    EXPECT_EQ("", ComputeDigest(smallFailing, small.size(), "\x80"));
}

// The length enters every step, so even a zero byte appended changes the digest.
TEST(DigestProperties, AppendingAZeroByteChangesTheDigest) {
    std::mt19937 random(7);
    for (std::size_t size : {1u, 15u, 16u, 17u, 200u, 5000u}) {
        Bytes data = RandomBytes(size, random);
        const std::string before = Digest(data, kDigestKey);
        data.push_back(0);
        EXPECT_NE(Digest(data, kDigestKey), before) << size;
        EXPECT_EQ(Digest(data, kDigestKey), ReferenceDigest(data, kDigestKey)) << size;
    }
    EXPECT_NE(Digest({0}, kDigestKey), kZeros);
}

TEST(DigestProperties, FileAndMemoryAgreeAndNamesInCodePage936Work) {
    TempFolder folder;
    std::mt19937 random(11);
    const Bytes data = RandomBytes(100000, random);
    const std::string expected = ReferenceDigest(data, kDigestKey);
    // "升级.dll" in code page 936, the process's ANSI code page.
    const std::string file = folder.Write("\xC9\xFD\xBC\xB6.dll", data);
    EXPECT_EQ(ComputeFileDigest(file.c_str(), kDigestKey), expected);
    EXPECT_EQ(Digest(data, kDigestKey), expected);
}

// Every length from 0 to 300 with random bytes, for each key: small lengths with
// high key bytes take the exact step-by-step path (negative sums), the others
// the unreduced one; 127/128 is where that switch happens for k = -128.
TEST(DigestAgainstReference, EveryLengthUpTo300) {
    std::mt19937 random(1);
    for (const std::string& key : TestKeys())
        for (std::size_t size = 0; size <= 300; ++size) {
            const Bytes data = RandomBytes(size, random);
            ASSERT_EQ(Digest(data, key), ReferenceDigest(data, key))
                << "size " << size << " key length " << key.size();
        }
}

// Small files made only of the bytes that meet the most negative key bytes, so
// that nearly every sum is negative, including remainders stored as 255.
TEST(DigestAgainstReference, SmallFilesWithNegativeSums) {
    std::mt19937 random(3);
    const std::vector<std::string> keys = {"\x80", "\xFF", "\x81\x80", "\xFE\x80\xC0"};
    for (const std::string& key : keys)
        for (std::size_t size = 1; size < 140; ++size) {
            Bytes data(size);
            for (unsigned char& byte : data)
                byte = static_cast<unsigned char>(random() % 4);
            ASSERT_EQ(Digest(data, key), ReferenceDigest(data, key)) << size;
            std::fill(data.begin(), data.end(), 0);
            ASSERT_EQ(Digest(data, key), ReferenceDigest(data, key)) << size;
        }
}

// Lengths across the points where the unreduced state is brought back below 255
// (every 2^20 bytes in each pass) and lengths that are not multiples of 16.
TEST(DigestAgainstReference, LargeRandomFiles) {
    TempFolder folder;
    std::mt19937 random(5);
    const std::size_t mebi = 1 << 20;
    for (std::size_t size : {mebi - 1, mebi, mebi + 1, 2 * mebi + 16, 3 * mebi + 13}) {
        const Bytes data = RandomBytes(size, random);
        const std::string file = folder.Write("big.dll", data);
        EXPECT_EQ(ComputeFileDigest(file.c_str(), kDigestKey), ReferenceDigest(data, kDigestKey))
            << size;
        EXPECT_EQ(Digest(data, "\x80\xFE\x01"), ReferenceDigest(data, "\x80\xFE\x01")) << size;
    }
}

// Inputs on which every step reads the cell the step before wrote with its
// largest addend, so that the unreduced state grows as fast as it can (by up to
// 508 a step), over more than 2^32 / 508 steps: a state not brought back below
// 255 often enough overflows. Forward: one byte value repeated, so j never
// changes. Backward: low nibbles 15, 14, ..., 0 repeating, so that
// j = (b + p) mod 16 is 0 at every step.
TEST(DigestAgainstReference, FastestGrowingState) {
    const std::size_t size = (10 << 20) + 3;
    const int32_t n = static_cast<int32_t>(size);
    int bestOfNibble[16] = {};
    int bestAddend[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    for (int b = 0; b < 256; ++b) {
        const int forward = (b + kDigestKey[(b + 16) % 19] + n) % 255;
        const int backward = (b + kDigestKey[(b + 17) % 19] + n) % 255;
        const int addend = forward < backward ? forward : backward;
        if (addend > bestAddend[b & 15]) {
            bestAddend[b & 15] = addend;
            bestOfNibble[b & 15] = b;
        }
    }
    int best = 0;
    for (int nibble = 1; nibble < 16; ++nibble)
        if (bestAddend[nibble] > bestAddend[best])
            best = nibble;

    const Bytes repeated(size, static_cast<unsigned char>(bestOfNibble[best]));
    EXPECT_EQ(Digest(repeated, kDigestKey), ReferenceDigest(repeated, kDigestKey));
    Bytes descending(size);
    for (std::size_t i = 0; i < size; ++i)
        descending[i] = static_cast<unsigned char>(bestOfNibble[15 - i % 16]);
    EXPECT_EQ(Digest(descending, kDigestKey), ReferenceDigest(descending, kDigestKey));
}
