// Two passes over the file's bytes, each step reading one state byte S[j] and
// writing S[q] = (S[j] + c) rem 255 and then S[j] = (S[q] + c) rem 255, where
// c = byte + key byte + file length. j and q depend only on the data, never on
// the state, and every write is a state value plus a constant.
//
// Whenever every c is non-negative (always, once the file has 128 bytes or
// more, and for any length with a key of plain ASCII bytes), each remainder is
// an ordinary residue mod 255, so the state can be kept unreduced in 32-bit
// cells: S[q] = S[j] + c and S[j] = S[j] + 2c, reduced only every chunk and at
// the end. That leaves a load, two adds and two stores per byte, with c looked
// up by byte value. When some c is negative (a small file and a key byte of 0x80
// or above), truncating remainders of negative sums break that congruence, and
// the file is digested step by step exactly as defined.
#include "Digest.h"

#include "FileBytes.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr int32_t kModulus = 255;
constexpr int kStateSize = 16;

// Chunk length after which the unreduced state is brought back below 255. Each
// step raises the largest cell by at most 2 * 254, so a cell stays below
// 254 + 508 * 2^20 < 2^32 within a chunk. A multiple of 16.
constexpr int32_t kChunk = 1 << 20;

using State = uint32_t[kStateSize];

int32_t KeyByte(const char* key, int32_t keyLength, int32_t index) {
    return static_cast<signed char>(key[index % keyLength]);
}

std::string FormatState(const unsigned char (&state)[kStateSize]) {
    static const char kHex[] = "0123456789abcdef";
    std::string text(2 * kStateSize, '0');
    for (int i = 0; i < kStateSize; ++i) {
        text[2 * i] = kHex[state[i] >> 4];
        text[2 * i + 1] = kHex[state[i] & 15];
    }
    return text;
}

// One step as defined, in signed 32-bit arithmetic with C++'s truncating
// remainder; the state byte keeps the low 8 bits of each remainder.
void ExactStep(unsigned char (&state)[kStateSize], int32_t q, int32_t j, int32_t sum) {
    const unsigned char t = static_cast<unsigned char>((state[j] + sum) % kModulus);
    state[q] = t;
    state[j] = static_cast<unsigned char>((t + sum) % kModulus);
}

void DigestExact(const unsigned char* data, int32_t n, const char* key, int32_t keyLength,
                 unsigned char (&state)[kStateSize]) {
    for (int32_t i = 0; i < n; ++i) {
        const int32_t b = data[i];
        ExactStep(state, i % 16, b % 16, b + KeyByte(key, keyLength, b + 16) + n);
    }
    for (int32_t p = n; p >= 1; --p) {
        const int32_t b = data[p - 1];
        ExactStep(state, p % 16, (b + p % 16) % 16, b + KeyByte(key, keyLength, b + 17) + n);
    }
}

// The fast path's per-byte constants, (b + key byte + n) mod 255 for each byte
// value b, with the key offset of one pass. False when some sum is negative.
bool FillAddends(uint32_t (&addend)[256], const char* key, int32_t keyLength, int32_t keyOffset,
                 int32_t n) {
    for (int32_t b = 0; b < 256; ++b) {
        const int64_t sum = int64_t{b} + KeyByte(key, keyLength, b + keyOffset) + n;
        if (sum < 0)
            return false;
        addend[b] = static_cast<uint32_t>(sum % kModulus);
    }
    return true;
}

void Reduce(State& state) {
    for (uint32_t& cell : state)
        cell %= kModulus;
}

inline void LazyStep(State& state, const uint32_t* addend, unsigned q, unsigned j, unsigned b) {
    const uint32_t c = addend[b];
    const uint32_t s = state[j];
    state[q] = s + c;
    state[j] = s + 2 * c; // after the write of q: when q == j this value stays
}

// Sixteen forward steps over d[0..15], the first at a position that is a
// multiple of 16, so every write position is a constant.
template <std::size_t... R>
inline void ForwardBlock(State& state, const uint32_t* addend, const unsigned char* d,
                         std::index_sequence<R...>) {
    (LazyStep(state, addend, R, d[R] & 15u, d[R]), ...);
}

// Sixteen backward steps for p = 16m down to 16m - 15, that is the bytes
// d[15] down to d[0] with write positions 0, 15, 14, ..., 1.
template <std::size_t... I>
inline void BackwardBlock(State& state, const uint32_t* addend, const unsigned char* d,
                          std::index_sequence<I...>) {
    (LazyStep(state, addend, (16 - I) & 15u, (d[15 - I] + (16 - I)) & 15u, d[15 - I]), ...);
}

void DigestLazy(const unsigned char* data, int32_t n, const uint32_t (&forward)[256],
                const uint32_t (&backward)[256], unsigned char (&out)[kStateSize]) {
    State state = {};
    constexpr auto kBlock = std::make_index_sequence<16>();

    int32_t i = 0;
    const int32_t blocksEnd = n & ~15;
    while (i < blocksEnd) {
        const int32_t chunkEnd = blocksEnd - i > kChunk ? i + kChunk : blocksEnd;
        for (; i < chunkEnd; i += 16)
            ForwardBlock(state, forward, data + i, kBlock);
        Reduce(state);
    }
    for (; i < n; ++i)
        LazyStep(state, forward, i & 15, data[i] & 15u, data[i]);

    int32_t p = n;
    for (; p % 16 != 0; --p) {
        const unsigned b = data[p - 1];
        LazyStep(state, backward, p & 15, (b + p) & 15, b);
    }
    Reduce(state);
    while (p > 0) {
        const int32_t chunkEnd = p > kChunk ? p - kChunk : 0;
        for (; p > chunkEnd; p -= 16)
            BackwardBlock(state, backward, data + p - 16, kBlock);
        Reduce(state);
    }

    for (int k = 0; k < kStateSize; ++k)
        out[k] = static_cast<unsigned char>(state[k] % kModulus);
}

} // namespace

std::string ComputeDigest(const unsigned char* data, std::size_t size, const char* key) {
    if (!key || !*key || size > static_cast<std::size_t>(INT32_MAX) || (size && !data))
        return {};
    const int32_t n = static_cast<int32_t>(size);
    const int32_t keyLength =
        static_cast<int32_t>(std::min<std::size_t>(std::strlen(key), INT32_MAX));

    unsigned char state[kStateSize] = {};
    uint32_t forward[256];
    uint32_t backward[256];
    if (FillAddends(forward, key, keyLength, 16, n) && FillAddends(backward, key, keyLength, 17, n))
        DigestLazy(data, n, forward, backward, state);
    else
        DigestExact(data, n, key, keyLength, state);
    return FormatState(state);
}

std::string ComputeFileDigest(const char* path, const char* key) {
    if (!path || !key || !*key)
        return {};
    FileBytes file;
    if (!file.Load(path))
        return {};
    return ComputeDigest(file.Data(), file.Size(), key);
}
