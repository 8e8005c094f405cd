// What a download makes of the server's answer: the length headers, what a
// status means for the local file, and which DownloadResult a WinINet error
// becomes. Pure decisions, no WinINet calls, so they are tested directly.
#pragma once

#include <windows.h>

#include <cstdint>

// A Content-Range value: "bytes FIRST-LAST/TOTAL", "bytes */TOTAL" (the answer
// to an unsatisfiable range) or "bytes FIRST-LAST/*" (total unknown).
struct ContentRange {
    bool hasRange = false; // FIRST-LAST was given
    uint64_t first = 0;
    uint64_t last = 0;
    bool hasTotal = false; // TOTAL was a number, not "*"
    uint64_t total = 0;
};

// False for anything that is not exactly one of the three forms above (extra
// text, LAST before FIRST, LAST not below TOTAL, numbers above 2^64 - 1).
bool ParseContentRange(const char* text, ContentRange* range);

// A Content-Length value: decimal digits with optional surrounding blanks.
// False when empty, not a number, or above 2^64 - 1.
bool ParseByteCount(const char* text, uint64_t* count);

bool IsRedirectStatus(unsigned status);

// Whether a redirect from the address `from` to the absolute address `to` may
// be followed: an https address never leads to one that is not https.
bool RedirectAllowed(const char* from, const char* to);

enum class AnswerAction {
    WriteWhole,      // 200 with the whole file: create or truncate the local file
    Append,          // 206 continuing at the resume offset to the file's known end: append
    AlreadyComplete, // 416 whose total equals the local size: nothing to fetch
    RestartWhole,    // the resume attempt cannot be used: ask again without a range
    Redirect,        // follow Location
    Fail,            // DownloadHttpError; the local file is left as it was
};

// What was asked and what came back.
struct AnswerFacts {
    unsigned status = 0;
    bool rangeSent = false;
    uint64_t rangeStart = 0;            // n of "Range: bytes=n-"
    bool hasLength = false;             // Content-Length present and valid
    uint64_t length = 0;                // body length
    const char* contentRange = nullptr; // Content-Range, null when absent
    bool hasLocation = false;
};

struct AnswerPlan {
    AnswerAction action = AnswerAction::Fail;
    bool totalKnown = false;
    uint64_t total = 0; // size of the whole file once the transfer is done
};

AnswerPlan PlanAnswer(const AnswerFacts& facts);

// Where a WinINet call failed.
enum class TransferPhase {
    Request, // before the status line arrived: resolving, connecting, TLS, sending
    Body,    // while the body was arriving
};

// The DownloadResult for a WinINet (or Winsock, which Wine's WinINet passes
// through) error code.
unsigned ResultForInternetError(DWORD error, TransferPhase phase);
