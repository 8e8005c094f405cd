// The completion messages an update attempt still awaits. Each download worker
// of the attempt, and the version check for its failure, gets a token of its
// own to carry in lParam of WM_DOWNLOAD_DONE. A message counts only when it
// carries a token still awaited, and then only once; every other one (posted by
// another program, repeated, or left over from an earlier attempt) changes
// nothing. Tokens are random 64-bit values, so no other program can make one up.
//
// Not locked itself: the engine keeps it under its own lock.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

enum class CompletionKind {
    VersionCheck, // the digest list could not be had: the attempt failed as a whole
    Download,     // one module's transfer ended
};

class CompletionTokens {
public:
    // Forgets every awaited token (a new attempt begins).
    void Clear() { awaited.clear(); }
    // A new token, awaited from now on.
    LPARAM Issue(CompletionKind kind);
    // Takes `token` off the awaited ones; its kind, or nothing when it was not awaited.
    std::optional<CompletionKind> Redeem(LPARAM token);
    // The tokens still awaited, in the order they were issued.
    std::vector<LPARAM> Awaited() const;

private:
    struct Entry {
        LPARAM token;
        CompletionKind kind;
    };
    std::vector<Entry> awaited;
};
