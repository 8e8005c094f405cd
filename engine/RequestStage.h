// How far a request has come, as WinINet's status notifications tell it, and
// which time-out bounds the wait at each stage. WinINet holds a request back
// while the server already has as many connections as allowed; that wait is
// no sign of a dead server, so it is not measured by the time-outs: the
// connect time-out starts when the connection is being made, the answer's
// when the request goes out on it. Pure decisions, tested directly.
#pragma once

#include "DownloadTimeouts.h"

#include <windows.h>

enum class RequestStage {
    Waiting,    // sent to WinINet: queued for a connection, or resolving the name
    Connecting, // a connection to the server is being made (TLS handshake included)
    Connected,  // the connection is ready: the request goes out, the answer is awaited
};

// The stage after WinINet's status notification `status`; a stage never goes back.
RequestStage StageAfter(RequestStage stage, DWORD status);

// How long a request may stay in `stage` (from when it entered it).
DWORD StageLimitMs(RequestStage stage, const DownloadTimeouts& timeouts);

// The bound on the Waiting stage: not a time-out of the server, only a
// backstop against waiting for ever on WinINet.
constexpr DWORD kConnectionWaitMs = 10 * 60 * 1000;
