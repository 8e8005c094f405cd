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
//
// The file is read a piece of kChunk bytes at a time, forwards and then
// backwards, so memory stays at one piece whatever the file's length, and a
// failed read is an ordinary error return.
#include "Digest.h"

#include "FileBytes.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

constexpr int32_t kModulus = 255;
constexpr int kStateSize = 16;

// The length of a piece read at once, after which the unreduced state is
// brought back below 255. Each step raises the largest cell by at most 2 * 254,
// so a cell stays below 254 + 508 * 2^18 < 2^32 within a piece. A multiple of 16.
// Every download worker checks its file with a piece of its own, so the
// pieces of 15 workers together stay within a few MiB.
constexpr int32_t kChunk = 1 << 18;

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

// Forward steps over one piece of `length` bytes. The piece starts at a file
// offset divisible by 16, so the write position of each step is its offset in
// the piece, mod 16.
void ForwardPiece(State& state, const uint32_t (&addend)[256], const unsigned char* d,
                  int32_t length) {
    constexpr auto kBlock = std::make_index_sequence<16>();
    const int32_t blocksEnd = length & ~15;
    int32_t t = 0;
    for (; t < blocksEnd; t += 16)
        ForwardBlock(state, addend, d + t, kBlock);
    for (; t < length; ++t)
        LazyStep(state, addend, t & 15, d[t] & 15u, d[t]);
}

// Backward steps over one piece of `length` bytes, from its last byte to its
// first; as above, positions within the piece stand for positions in the file.
void BackwardPiece(State& state, const uint32_t (&addend)[256], const unsigned char* d,
                   int32_t length) {
    constexpr auto kBlock = std::make_index_sequence<16>();
    int32_t p = length; // relative to begin, which keeps p's low four bits
    for (; p % 16 != 0; --p) {
        const unsigned b = d[p - 1];
        LazyStep(state, addend, p & 15, (b + p) & 15, b);
    }
    for (; p > 0; p -= 16)
        BackwardBlock(state, addend, d + p - 16, kBlock);
}

// Both passes over the n bytes of `source`, read a piece of kChunk bytes at a
// time into `buffer`: forwards from the first piece, then backwards from the
// last, which is still in the buffer. The state is brought back below 255
// after each piece. False when a read fails.
bool DigestLazy(ByteSource& source, int32_t n, const uint32_t (&forward)[256],
                const uint32_t (&backward)[256], unsigned char* buffer,
                unsigned char (&out)[kStateSize]) {
    State state = {};
    const int32_t pieces = n / kChunk + (n % kChunk != 0);
    auto length = [n](int32_t piece) { return std::min(kChunk, n - piece * kChunk); };
    for (int32_t piece = 0; piece < pieces; ++piece) {
        if (!source.Read(static_cast<std::size_t>(piece) * kChunk, buffer, length(piece)))
            return false;
        ForwardPiece(state, forward, buffer, length(piece));
        Reduce(state);
    }
    for (int32_t piece = pieces - 1; piece >= 0; --piece) {
        if (piece != pieces - 1 &&
            !source.Read(static_cast<std::size_t>(piece) * kChunk, buffer, length(piece)))
            return false;
        BackwardPiece(state, backward, buffer, length(piece));
        Reduce(state);
    }
    for (int k = 0; k < kStateSize; ++k)
        out[k] = static_cast<unsigned char>(state[k]);
    return true;
}

// The bytes of a buffer as a source.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(const unsigned char* data) : data(data) {}
    bool Read(std::size_t offset, unsigned char* buffer, std::size_t length) override {
        std::memcpy(buffer, data + offset, length);
        return true;
    }

private:
    const unsigned char* data;
};

} // namespace

std::string ComputeDigest(ByteSource& source, std::size_t size, const char* key) {
    if (!key || !*key || size > static_cast<std::size_t>(INT32_MAX))
        return {};
    const int32_t n = static_cast<int32_t>(size);
    const int32_t keyLength =
        static_cast<int32_t>(std::min<std::size_t>(std::strlen(key), INT32_MAX));

    unsigned char state[kStateSize] = {};
    if (n == 0)
        return FormatState(state);
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[std::min(n, kChunk)]);
    if (!buffer)
        return {};
    uint32_t forward[256];
    uint32_t backward[256];
    if (FillAddends(forward, key, keyLength, 16, n) &&
        FillAddends(backward, key, keyLength, 17, n)) {
        if (!DigestLazy(source, n, forward, backward, buffer.get(), state))
            return {};
    } else {
        // Some sum is negative, which needs n < 128: the file is one piece.
        if (!source.Read(0, buffer.get(), static_cast<std::size_t>(n)))
            return {};
        DigestExact(buffer.get(), n, key, keyLength, state);
    }
    return FormatState(state);
}

std::string ComputeDigest(const unsigned char* data, std::size_t size, const char* key) {
    if (size && !data)
        return {};
    MemorySource source(data);
    return ComputeDigest(source, size, key);
}

std::string ComputeFileDigest(const char* path, const char* key) {
    if (!path || !key || !*key)
        return {};
    FileBytes file;
    if (!file.Open(path))
        return {};
    return ComputeDigest(file, file.Size(), key);
}
