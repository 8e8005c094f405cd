// The highest release serial this program folder has accepted, kept in
// "UpgradeRelease.ini" (section "Release", key "Serial") in the program folder.
// A signed list with a lower serial is an old release played back.
#pragma once

#include <cstdint>

// 0 when nothing has been accepted yet (or the file is unreadable).
uint64_t ReadAcceptedSerial(const char* programDir);

// Records `serial` unless a higher one is recorded; the file is replaced in
// one step. False when it cannot be written.
bool RecordAcceptedSerial(const char* programDir, uint64_t serial);
