// What an updater with a publisher's key accepts: a list signed by one of the
// keys, not expired, not older than the release this folder has accepted, and
// then only module files of exactly the signed size and SHA-256. Without a key
// none of this applies and nothing changes.
#pragma once

#include "PendingDownload.h"
#include "PublisherKeys.h"
#include "SignedList.h"

// Reads the list fetched to `listPath` and accepts it into `list` when it is
// signed by one of `keys`, current (24 hours of clock skew allowed), and its
// serial is not lower than the one recorded in `programDir`.
bool AcceptSignedList(const char* listPath, const char* programDir,
                      const std::vector<PublicKey>& keys, SignedList& list);

// Gives `entry` the size and SHA-256 the signed list names for its module, and
// the list's serial.
void BindSignedValues(const SignedList& list, PendingDownload& entry);

// Whether the file at `path` has the signed size and SHA-256; true when
// nothing is signed (`sha256` empty).
bool MatchesSignedFile(const char* path, long long size, const CString& sha256);

// The whole of a file of at most 16 MiB.
bool ReadSmallFile(const char* path, std::string& bytes);

// Whether `bytes` (the change log as fetched) are the change log the accepted
// list names.
bool IsSignedChangeLog(const SignedList& list, const std::string& bytes);
