// The silent stage's marker, "UpgradeBackup\qim_s.backup", as the host side
// reads it. Section "SUpgrade": "Key" = "1" says the stage is complete. Newer
// updaters add, per staged file, the file's name as key and its SHA-256 (64
// lower-case hexadecimal digits) as value, and "Serial" (decimal); a marker
// without them is still a marker.
#pragma once

#include "framework/String.h"

#include <cstdint>
#include <string_view>
#include <vector>

struct StagedFileDigest {
    CString name;   // a plain file name in the silent staging folder
    CString sha256; // 64 lower-case hexadecimal digits
};

struct SilentMarker {
    bool complete = false; // "Key" = "1"
    bool hasSerial = false;
    uint64_t serial = 0;
    std::vector<StagedFileDigest> digests; // empty: the marker names no files
};

// Reads the marker's text as the system's profile reader would (section and
// key names without regard to case, spaces around them ignored, other sections
// ignored). False when the "SUpgrade" section holds something that cannot be
// checked: a file key whose value is not a SHA-256, a name that is not a plain
// file name or comes twice, or a "Serial" that is not a decimal number.
bool ParseSilentMarker(std::string_view text, SilentMarker* marker);

enum class MarkerRead { Absent, Read, Unreadable };
MarkerRead ReadSilentMarker(const char* path, SilentMarker* marker);
