// The reserved area in Updater.exe that holds the publisher's public keys: a
// marker found exactly once in the file, then two slots of a raw P-256 point
// (X then Y, 32 bytes each, big-endian). An all-zero slot is empty. The release
// tool ("set-key") writes the slots in place, so no compiler is needed.
#pragma once

#include <cstddef>

#define TEVRANE_KEY_AREA_MARKER "Tevrane.Updater/publisher-keys1"

constexpr std::size_t kKeyAreaMarkerSize = 32; // with its terminating zero
constexpr std::size_t kPublicKeySize = 64;
constexpr std::size_t kKeySlots = 2;

struct KeyArea {
    char marker[kKeyAreaMarkerSize];
    unsigned char keys[kKeySlots][kPublicKeySize];
};

static_assert(sizeof(TEVRANE_KEY_AREA_MARKER) == kKeyAreaMarkerSize);
static_assert(sizeof(KeyArea) == kKeyAreaMarkerSize + kKeySlots * kPublicKeySize);
